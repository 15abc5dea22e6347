#pragma once
// The profile keys as the main dialog reads them at start, shared
// with the terminal front end so both start a run from the same settings.
class CHarvestApp;
class CHarvestEngine;

// Reads the keys in their order into the application object and the
// engine's output options; missing keys take their defaults.
void LoadProfileSettings(CHarvestApp& app, CHarvestEngine& engine);

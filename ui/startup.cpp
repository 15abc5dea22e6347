#include "settings/harvest_app.h"

// The start hook as it stands before the main window exists; start-up is built on top of it.
platform::BOOL CHarvestApp::InitInstance() { return platform::FALSE; }

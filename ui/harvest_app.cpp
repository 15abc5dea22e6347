#include "ui/harvest_app.h"

// The profile is named after the program, as the application is.
CHarvestApp::CHarvestApp()
    : platform::CWinApp(platform::kProgramName), CHarvestSettings(m_pszAppName) {}

CHarvestApp::~CHarvestApp() = default;

CHarvestApp& GetHarvestApp() { return *static_cast<CHarvestApp*>(platform::AfxGetApp()); }

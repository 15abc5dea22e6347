#pragma once
// The application object: the desktop framework's application with the
// program's settings record, and the start hook that runs the main dialog.
#include "platform/win_app.h"
#include "settings/harvest_settings.h"

class CHarvestApp : public platform::CWinApp, public CHarvestSettings {
 public:
  CHarvestApp();
  ~CHarvestApp() override;

  // Start-up: single instance, then the main dialog modally. Always FALSE.
  platform::BOOL InitInstance() override;
};

// The process's application object (AfxGetApp() as a CHarvestApp).
CHarvestApp& GetHarvestApp();

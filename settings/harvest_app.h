#pragma once
// The application object: the extraction settings for the whole process,
// the credentials of the last prompt (memory only), and the single-instance
// handle.
#include <string>

#include "platform/instance_lock.h"
#include "platform/win_app.h"

class CHarvestApp : public platform::CWinApp {
 public:
  CHarvestApp();
  ~CHarvestApp() override;

  // Start-up: single instance, then the main dialog modally. Always FALSE.
  platform::BOOL InitInstance() override;

  int m_nTimes;                // re-read limit for short downloads
  std::string m_strUserId;     // from the credentials prompt; never stored
  std::string m_strPassword;   // from the credentials prompt; never stored
  std::string m_strExtent;     // custom extension with its leading dot
  int m_bImage;
  int m_bArchive;
  int m_bWave;
  int m_bMovie;
  int m_bExtra;
  int m_bExe;
  int m_bClip;                 // clipboard watch
  platform::InstanceLock* m_hMutex;
};

// The process's application object (AfxGetApp() as a CHarvestApp).
CHarvestApp& GetHarvestApp();

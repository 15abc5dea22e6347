#include "platform/instance_lock.h"
#include "ui/harvest_app.h"
#include "ui/harvest_dlg.h"

// One instance at a time: a second start ends here silently, and the first
// is neither told nor disturbed. The lock is held until the process ends.
platform::BOOL CHarvestApp::InitInstance() {
  bool alreadyExists = false;
  m_hMutex = platform::CreateInstanceLock(m_pszAppName, &alreadyExists);
  if (alreadyExists) {
    platform::CloseInstanceLock(m_hMutex);
    m_hMutex = nullptr;
    return platform::FALSE;
  }

  CHarvestDlg dlg;
  m_pMainWnd = &dlg;
  dlg.DoModal();
  m_pMainWnd = nullptr;
  return platform::FALSE;
}

#include <string>

#include "platform/instance_lock.h"
#include "platform/win_types.h"
#include "platform/window_backend.h"
#include "resources/texts.h"
#include "ui/harvest_app.h"
#include "ui/harvest_dlg.h"

// One instance at a time: a second start ends here silently, and the first
// is neither told nor disturbed. The lock is held until the process ends.
platform::BOOL CHarvestApp::InitInstance() {
  bool alreadyExists = false;
  std::string why;
  m_hMutex = platform::CreateInstanceLock(m_pszAppName, &alreadyExists, &why);
  if (alreadyExists) {
    platform::CloseInstanceLock(m_hMutex);
    m_hMutex = nullptr;
    return platform::FALSE;
  }
  // Unlocked, two runs could share the fixed scratch file names: the
  // program does not start rather than run unprotected.
  if (!m_hMutex) {
    const std::string text = std::string(texts::kCannotCreateFile) + "\n" + why;
    platform::WindowBackend().MessageBox(nullptr, text, texts::kCaptionError,
                                         platform::MB_ICONERROR);
    return platform::FALSE;
  }

  CHarvestDlg dlg;
  m_pMainWnd = &dlg;
  dlg.DoModal();
  m_pMainWnd = nullptr;
  return platform::FALSE;
}

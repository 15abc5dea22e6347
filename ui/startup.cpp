#include <memory>
#include <string>

#include "platform/instance_handover.h"
#include "platform/instance_lock.h"
#include "platform/win_types.h"
#include "platform/window_backend.h"
#include "resources/texts.h"
#include "ui/harvest_app.h"
#include "ui/harvest_dlg.h"

// One instance at a time: a second start ends here silently. A file it was
// given goes to the first one's window, which opens it as a dropped file;
// nothing else disturbs the first. The lock is held until the process ends.
platform::BOOL CHarvestApp::InitInstance() {
  bool alreadyExists = false;
  std::string why;
  m_hMutex = platform::CreateInstanceLock(m_pszAppName, &alreadyExists, &why);
  if (alreadyExists) {
    platform::CloseInstanceLock(m_hMutex);
    m_hMutex = nullptr;
    // Whether the window took it or not, this start has nothing more to do.
    if (!CommandLineArgs().empty()) platform::HandOverFile(m_pszAppName, CommandLineArgs().front());
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

  // Only the holder of the lock may replace the socket of the one before.
  const std::unique_ptr<platform::HandoverListener> handover =
      m_hMutex ? platform::HandoverListener::Listen(m_pszAppName) : nullptr;
  CHarvestDlg dlg;
  dlg.m_pHandover = handover.get();
  m_pMainWnd = &dlg;
  dlg.DoModal();
  m_pMainWnd = nullptr;
  return platform::FALSE;
}

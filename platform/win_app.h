#pragma once
// The application object: one per process, reachable from anywhere through
// AfxGetApp(). It carries the program's name, its command line and the main
// window. The profile operations live with the settings (platform/profile.h).
#include <string>
#include <vector>

#include "platform/program_version.h"
#include "platform/win_types.h"

namespace platform {

class CDialog;

class CWinApp {
 public:
  // `appName` names untitled message boxes and the single-instance lock.
  explicit CWinApp(const char* appName = kProgramName);
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // The start hook. Returning false ends the process instead of running a
  // message loop.
  virtual BOOL InitInstance() { return FALSE; }

  // Arguments after the program's own name, as the C runtime splits them.
  void SetCommandLine(std::vector<std::string> args) { m_args = std::move(args); }
  const std::vector<std::string>& CommandLineArgs() const { return m_args; }

  const std::string m_pszAppName;
  CDialog* m_pMainWnd = nullptr;

 private:
  std::vector<std::string> m_args;
};

// The one application object, or nullptr before it is constructed.
CWinApp* AfxGetApp();

}  // namespace platform

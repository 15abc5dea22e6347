#pragma once
// The application object: one per process, reachable from anywhere through
// AfxGetApp(). It carries the program's name, its command line, the main
// window, and the profile operations on the program's private profile.
#include <string>
#include <vector>

#include "platform/program_version.h"
#include "platform/win_types.h"

namespace platform {

class CDialog;

class CWinApp {
 public:
  // `appName` names the profile file (<appName>.INI) and untitled message
  // boxes. The profile lives in the user's configuration folder.
  explicit CWinApp(const char* appName = kProgramName);
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // The start hook. Returning false ends the process instead of running a
  // message loop.
  virtual BOOL InitInstance() { return FALSE; }

  // Private-profile operations, addressed by section and key.
  int GetProfileInt(const char* section, const char* key, int nDefault) const;
  std::string GetProfileString(const char* section, const char* key,
                               const char* defaultValue) const;
  BOOL WriteProfileInt(const char* section, const char* key, int nValue);
  BOOL WriteProfileString(const char* section, const char* key,
                          const std::string& value);

  // The profile file's full path: $XDG_CONFIG_HOME/<name>/<name>.INI, by
  // default ~/.config/vimbel/vimbel.INI. Tests point it elsewhere.
  const std::string& ProfilePath() const { return m_profilePath; }
  void SetProfilePath(std::string path) { m_profilePath = std::move(path); }

  // Arguments after the program's own name, as the C runtime splits them.
  void SetCommandLine(std::vector<std::string> args) { m_args = std::move(args); }
  const std::vector<std::string>& CommandLineArgs() const { return m_args; }

  const std::string m_pszAppName;
  CDialog* m_pMainWnd = nullptr;

 private:
  std::string m_profilePath;
  std::vector<std::string> m_args;
};

// The one application object, or nullptr before it is constructed.
CWinApp* AfxGetApp();

// The default location of the profile for `appName`.
std::string DefaultProfilePath(const std::string& appName);

}  // namespace platform

#include "platform/win_app.h"

#include "platform/file_system.h"
#include "platform/private_profile.h"

namespace platform {

namespace {

CWinApp* g_pApp = nullptr;

}  // namespace

CWinApp::CWinApp(const char* appName)
    : m_pszAppName(appName), m_profilePath(DefaultProfilePath(appName)) {
  g_pApp = this;
}

CWinApp::~CWinApp() {
  if (g_pApp == this) g_pApp = nullptr;
}

int CWinApp::GetProfileInt(const char* section, const char* key, int nDefault) const {
  return GetPrivateProfileInt(section, key, nDefault, m_profilePath);
}

std::string CWinApp::GetProfileString(const char* section, const char* key,
                                      const char* defaultValue) const {
  return GetPrivateProfileString(section, key, defaultValue ? defaultValue : "", m_profilePath);
}

BOOL CWinApp::WriteProfileInt(const char* section, const char* key, int nValue) {
  return WriteProfileString(section, key, std::to_string(nValue));
}

BOOL CWinApp::WriteProfileString(const char* section, const char* key,
                                 const std::string& value) {
  if (!MakeParentFolders(m_profilePath)) return FALSE;
  return WritePrivateProfileString(section, key, value, m_profilePath) ? TRUE : FALSE;
}

CWinApp* AfxGetApp() { return g_pApp; }

}  // namespace platform

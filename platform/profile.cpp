#include "platform/profile.h"

#include "platform/file_system.h"
#include "platform/private_profile.h"

namespace platform {

CProfile::CProfile(const std::string& appName) : m_profilePath(DefaultProfilePath(appName)) {}

int CProfile::GetProfileInt(const char* section, const char* key, int nDefault) const {
  return GetPrivateProfileInt(section, key, nDefault, m_profilePath);
}

std::string CProfile::GetProfileString(const char* section, const char* key,
                                       const char* defaultValue) const {
  return GetPrivateProfileString(section, key, defaultValue ? defaultValue : "", m_profilePath);
}

BOOL CProfile::WriteProfileInt(const char* section, const char* key, int nValue) {
  return WriteProfileString(section, key, std::to_string(nValue));
}

BOOL CProfile::WriteProfileString(const char* section, const char* key, const std::string& value) {
  if (!MakeParentFolders(m_profilePath)) return FALSE;
  return WritePrivateProfileString(section, key, value, m_profilePath) ? TRUE : FALSE;
}

}  // namespace platform

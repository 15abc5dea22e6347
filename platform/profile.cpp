#include "platform/profile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

#include "platform/file_system.h"
#include "platform/private_profile.h"

namespace platform {

namespace {

// Creates every missing folder on the way to `path`'s folder.
bool MakeParentFolders(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return true;
  std::string folder = path.substr(0, slash);
  for (size_t pos = 1; pos != std::string::npos;) {
    pos = folder.find('/', pos + 1);
    std::string part = folder.substr(0, pos);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return IsDirectory(folder);
}

}  // namespace

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

BOOL CProfile::WriteProfileString(const char* section, const char* key,
                                  const std::string& value) {
  if (!MakeParentFolders(m_profilePath)) return FALSE;
  return WritePrivateProfileString(section, key, value, m_profilePath) ? TRUE : FALSE;
}

std::string DefaultProfilePath(const std::string& appName) {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  std::string config;
  // Only an absolute setting counts; a relative one is to be ignored.
  if (xdg && xdg[0] == '/') {
    config = xdg;
    if (config.back() != '/') config += '/';
  } else {
    config = HomeFolder() + ".config/";
  }
  return config + appName + "/" + appName + ".INI";
}

}  // namespace platform

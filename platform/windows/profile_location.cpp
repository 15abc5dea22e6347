#include "platform/profile.h"
#include "platform/windows/system_folders.h"

namespace platform {

// %APPDATA%\<name>\<name>.INI: the Windows folder, where such profiles used
// to live, cannot be written without administrator rights.
std::string DefaultProfilePath(const std::string& appName) {
  std::string folder = win32::RoamingAppDataFolder();
  if (!folder.empty() && folder.back() != '\\') folder += '\\';
  return folder + appName + "\\" + appName + ".INI";
}

}  // namespace platform

#include <cstdlib>

#include "platform/file_system.h"
#include "platform/profile.h"

namespace platform {

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

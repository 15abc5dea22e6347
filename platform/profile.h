#pragma once
// The program's private profile: the profile operations of the desktop
// framework's application object, on one INI file. The settings record
// carries them, so that whoever holds the settings can store them.
#include <string>

#include "platform/win_types.h"

namespace platform {

class CProfile {
 public:
  // The profile of `appName` in the user's configuration folder.
  explicit CProfile(const std::string& appName);

  // Private-profile operations, addressed by section and key.
  int GetProfileInt(const char* section, const char* key, int nDefault) const;
  std::string GetProfileString(const char* section, const char* key,
                               const char* defaultValue) const;
  BOOL WriteProfileInt(const char* section, const char* key, int nValue);
  BOOL WriteProfileString(const char* section, const char* key, const std::string& value);

  // The profile file's full path: $XDG_CONFIG_HOME/<name>/<name>.INI, by
  // default ~/.config/vimbel/vimbel.INI. Tests point it elsewhere.
  const std::string& ProfilePath() const { return m_profilePath; }
  void SetProfilePath(std::string path) { m_profilePath = std::move(path); }

 private:
  std::string m_profilePath;
};

// The default location of the profile for `appName`.
std::string DefaultProfilePath(const std::string& appName);

}  // namespace platform

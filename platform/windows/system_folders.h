#pragma once
// The user's own folders. The environment's value wins, as it does for the
// system's own programs (and lets a test move them); the shell's known
// folder stands in when the variable is missing. UTF-8, no trailing
// separator; empty when neither is known.
#include <string>

namespace platform::win32 {

std::string UserProfileFolder();     // USERPROFILE
std::string RoamingAppDataFolder();  // APPDATA

}  // namespace platform::win32

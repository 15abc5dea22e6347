#include "settings/profile_keys.h"

#include "platform/file_system.h"

namespace profile {

std::string DefaultSaveFolder() { return platform::HomeFolder(); }

}  // namespace profile

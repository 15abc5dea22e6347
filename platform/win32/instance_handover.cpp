#include "platform/instance_handover.h"

namespace platform {

// Windows has no handover yet: the window does not listen, and a second
// start finds nobody to hand its file to, so it ends as it always did.

std::unique_ptr<HandoverListener> HandoverListener::Listen(const std::string&) { return nullptr; }

HandoverListener::~HandoverListener() = default;

std::optional<std::string> HandoverListener::Accept() { return std::nullopt; }

bool HandOverFile(const std::string&, const std::string&, int) { return false; }

}  // namespace platform

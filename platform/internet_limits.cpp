#include "platform/internet_limits.h"

#include <cstdlib>

namespace platform {

InternetTimeouts CurrentInternetTimeouts() {
  if (const char* text = std::getenv("VIMBEL_TEST_TIMEOUT_MS")) {
    char* end = nullptr;
    const long ms = std::strtol(text, &end, 10);
    if (end != text && *end == '\0' && ms > 0) return {ms, ms};
  }
  return {};
}

}  // namespace platform

#include "platform/thread_priority.h"

#include "platform/windows/windows_api.h"

namespace platform {

void LowerThisThreadsPriority() {
  ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_LOWEST);
}

}  // namespace platform

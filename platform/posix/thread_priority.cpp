#include "platform/thread_priority.h"

#include <sys/resource.h>
#include <unistd.h>

namespace platform {

void LowerThisThreadsPriority() {
#ifdef __linux__
  // Linux gives each thread a nice value of its own.
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 19);
#endif
}

}  // namespace platform

#include "platform/thread_start.h"

#include <atomic>
#include <system_error>
#include <utility>

#include "platform/thread_priority.h"

namespace platform {

namespace {

std::atomic<bool> g_refuse{false};

}  // namespace

bool StartThread(std::thread& thread, const std::function<void()>& body, ThreadWeight weight) {
  try {
    // The thread gets a copy: std::thread has already moved what it was
    // given when it finds it cannot start.
    std::function<void()> copy(body);
    if (g_refuse)
      throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
    if (weight == ThreadWeight::kBackground) {
      copy = [work = std::move(copy)] {
        LowerThisThreadsPriority();
        work();
      };
    }
    thread = std::thread(std::move(copy));
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

void RefuseThreadStartsForTest(bool refuse) { g_refuse = refuse; }

}  // namespace platform

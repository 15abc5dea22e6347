#pragma once
// Helper threads start here. The system may refuse one (an address-space or
// thread limit); each caller then does the work on its own thread, slower
// but to the same end, and a test can make every start refused to see it.
#include <functional>
#include <thread>

namespace platform {

// How much a helper thread's work weighs against the run's own.
enum class ThreadWeight {
  kEqual,
  // Work nobody waits for while it runs (a copy kept in case): it yields
  // the processor to the run's other threads.
  kBackground,
};

// Starts a copy of `body` on `thread`; false where no thread can be had,
// with `thread` and `body` as they were, so the caller can still run it.
bool StartThread(std::thread& thread, const std::function<void()>& body,
                 ThreadWeight weight = ThreadWeight::kEqual);

// While set, StartThread refuses every start as the system would.
void RefuseThreadStartsForTest(bool refuse);

}  // namespace platform

#pragma once
// Helper threads start here. The system may refuse one (an address-space or
// thread limit); each caller then does the work on its own thread, slower
// but to the same end, and a test can make every start refused to see it.
#include <functional>
#include <thread>

namespace platform {

// Starts a copy of `body` on `thread`; false where no thread can be had,
// with `thread` and `body` as they were, so the caller can still run it.
bool StartThread(std::thread& thread, const std::function<void()>& body);

// While set, StartThread refuses every start as the system would.
void RefuseThreadStartsForTest(bool refuse);

}  // namespace platform

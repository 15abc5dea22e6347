#include "platform/windows/internet_wait.h"

#include <chrono>
#include <future>
#include <memory>
#include <thread>

#include "platform/thread_start.h"

namespace platform::wininet {

namespace {

// How long one wait for the server lasts at most while a stop check is set,
// so that a stop is noticed at once.
constexpr auto kStopCheckInterval = std::chrono::milliseconds(50);

}  // namespace

CallResult CallResultOf(BOOL ok) {
  CallResult result;
  result.ok = ok;
  if (!ok) result.error = ::GetLastError();
  return result;
}

WaitEnd WaitForCall(const std::function<bool()>& stopCheck, DWORD limitMs, InternetHandle& handle,
                    WaitingCall call, CallResult& out) {
  if (stopCheck && stopCheck()) return WaitEnd::kStopped;
  // The task is shared, so that it outlives a wait given up and is still
  // there to run here when no thread can be had.
  auto task = std::make_shared<std::packaged_task<CallResult()>>(std::move(call));
  std::future<CallResult> result = task->get_future();
  std::thread worker;
  if (!StartThread(worker, [task] { (*task)(); })) {
    // Then the call waits on this thread, without the stop check or the
    // time limit: slower to stop, but the run still ends.
    (*task)();
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  while (result.wait_for(kStopCheckInterval) != std::future_status::ready) {
    WaitEnd end = WaitEnd::kDone;
    if (stopCheck && stopCheck())
      end = WaitEnd::kStopped;
    else if (std::chrono::steady_clock::now() >= deadline)
      end = WaitEnd::kTimedOut;
    if (end != WaitEnd::kDone) {
      handle.Reset();
      worker.detach();
      return end;
    }
  }
  if (worker.joinable()) worker.join();
  out = result.get();
  if (!out.ok) {
    ::SetLastError(out.error);
    return WaitEnd::kFailed;
  }
  return WaitEnd::kDone;
}

}  // namespace platform::wininet

#pragma once
// The WinINet session's waits for the server. The library's blocking calls
// keep to no time limit under Wine and do not end when their handle is
// closed, so each runs on a thread of its own while the caller watches the
// clock and the stop check.
#include <functional>
#include <utility>

#include "platform/windows/windows_api.h"
// After windows.h, which it needs.
#include <wininet.h>

namespace platform::wininet {

// A library handle, closed when it goes.
class InternetHandle {
 public:
  InternetHandle() = default;
  explicit InternetHandle(HINTERNET handle) : m_handle(handle) {}
  ~InternetHandle() { Reset(); }
  InternetHandle(InternetHandle&& other) noexcept
      : m_handle(std::exchange(other.m_handle, nullptr)) {}
  InternetHandle& operator=(InternetHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      m_handle = std::exchange(other.m_handle, nullptr);
    }
    return *this;
  }

  HINTERNET get() const { return m_handle; }
  void Reset() {
    if (m_handle) ::InternetCloseHandle(m_handle);
    m_handle = nullptr;
  }

 private:
  HINTERNET m_handle = nullptr;
};

// How a call that waits for the server ended.
enum class WaitEnd { kDone, kFailed, kStopped, kTimedOut };

// What a library call gave: success, else its error code, and a handle or
// a count it made.
struct CallResult {
  BOOL ok = FALSE;
  DWORD error = 0;
  HINTERNET handle = nullptr;
  DWORD count = 0;
};

// The result of a call that returned `ok`, with the error code of the
// thread that made it: the waiting thread has its own.
CallResult CallResultOf(BOOL ok);

// A library call that may wait long for the server. It owns all it uses,
// since it may outlive the wait for it.
using WaitingCall = std::function<CallResult()>;

// Runs `call` on a thread of its own and meanwhile asks `stopCheck` (when
// set) on this thread. A stop, or `limitMs` passing without an end, closes
// `handle`, which makes the library give up the call, and the call is left
// to end by itself: under Wine a closed handle does not end a wait for the
// server, and the user's stop should not wait for it either. After kFailed
// the call's error code is this thread's last error.
WaitEnd WaitForCall(const std::function<bool()>& stopCheck, DWORD limitMs, InternetHandle& handle,
                    WaitingCall call, CallResult& out);

}  // namespace platform::wininet

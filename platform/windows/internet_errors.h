#pragma once
// WinINet's error codes as the Internet session hands them on: the
// system's words for them, and the kind of failure each stands for.
#include <string>

#include "platform/internet_session.h"
#include "platform/windows/windows_api.h"

namespace platform::wininet {

// A failure to hand back: the cause and its words.
struct Failure {
  InternetFailure cause = InternetFailure::kOther;
  std::string text;
};

// The system's words for a WinINet or system error code.
std::string ErrorText(DWORD error);
std::string LastErrorText();

// The kind of failure a WinINet or system error code stands for.
InternetFailure CauseOf(DWORD error);

// This thread's last error as a failure.
Failure LastFailure();

}  // namespace platform::wininet

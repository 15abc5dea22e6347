#pragma once
// The page download's texts: the status line's progress while the page is
// read, and the message for a request that got no answer.
#include <cstdint>
#include <string>

#include "platform/internet_session.h"

// "<received> ﾊﾞｲﾄ", followed by "(<percent>%)" when a positive length was
// declared. The percentage is received / declared * 100 in double precision,
// truncated toward zero: 29 of 100 shows 28%.
std::string FormatProgressText(int64_t received, bool hasDeclared, int64_t declared);

// The one place where a request that got no answer becomes the user's
// message: kCannotConnect, a line feed, and the cause in the program's words;
// a rare cause in the library's words (`libraryText`).
std::string ConnectFailureText(platform::InternetFailure cause, const std::string& libraryText);

#pragma once
// The one place where a request that got no answer becomes the user's
// message.
#include <string>

#include "platform/internet_session.h"

// kCannotConnect, a line feed, and the cause in the program's words; a rare
// cause in the library's words (`libraryText`).
std::string ConnectFailureText(platform::InternetFailure cause, const std::string& libraryText);

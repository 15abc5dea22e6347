#pragma once
// The program keeps UTF-8 byte strings; Win32 takes UTF-16. These convert
// at each call into the system.
#include <string>
#include <string_view>

namespace platform::win32 {

// UTF-8 to UTF-16. Invalid bytes become U+FFFD, as the system converts them.
std::wstring Widen(std::string_view text);

// UTF-16 to UTF-8. An unpaired surrogate becomes U+FFFD.
std::string Narrow(std::wstring_view text);

}  // namespace platform::win32

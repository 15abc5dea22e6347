#pragma once
// The program keeps UTF-8 byte strings; Win32 takes UTF-16. These convert
// at each call into the system, by the program's one UTF-8 rule
// (platform/utf8.h) rather than the system's, so that a text reads alike
// on both systems.
#include <string>
#include <string_view>

namespace platform::win32 {

// UTF-8 to UTF-16. Each byte that starts no well-formed character becomes
// one U+FFFD.
std::wstring Widen(std::string_view text);

// UTF-16 to UTF-8. An unpaired surrogate becomes U+FFFD.
std::string Narrow(std::wstring_view text);

}  // namespace platform::win32

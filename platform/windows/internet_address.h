#pragma once
// Addresses as the WinINet session takes them apart: which server a
// request goes to, with what credentials, for which path.
#include <string>

#include "platform/windows/windows_api.h"
// After windows.h, which it needs.
#include <wininet.h>

namespace platform::wininet {

// The parts of an address that decide where a request goes.
struct AddressParts {
  std::wstring scheme;  // lower case
  std::wstring host;
  INTERNET_PORT port = 0;
  std::wstring user;  // decoded
  std::wstring password;
  bool hasCredentials = false;  // "user:password@", even both empty
  std::wstring pathAndQuery;
  bool secure = false;
};

// The parts of `url`; false when it is no address or its host can name no
// server.
bool CrackAddress(const std::wstring& url, AddressParts& out);

// The scheme an address starts with, in lower case; empty when it has none.
std::wstring SchemeOf(const std::wstring& address);

// Whether the session fetches addresses of `scheme` (lower case): http,
// https and ftp.
bool IsFetchedScheme(const std::wstring& scheme);

std::wstring LowerCase(std::wstring text);

}  // namespace platform::wininet

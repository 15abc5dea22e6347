#include "platform/windows/internet_address.h"

#include <cwctype>

#include "platform/windows/wide_text.h"

namespace platform::wininet {

namespace {

// The address's user information is percent-encoded UTF-8; the library
// takes it decoded.
std::wstring PercentDecoded(const std::wstring& text) {
  auto hex = [](int c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string bytes = win32::Narrow(text);
  std::string decoded;
  for (size_t i = 0; i < bytes.size(); ++i) {
    int high = -1, low = -1;
    if (bytes[i] == '%' && i + 2 < bytes.size()) {
      high = hex(static_cast<unsigned char>(bytes[i + 1]));
      low = hex(static_cast<unsigned char>(bytes[i + 2]));
    }
    if (high >= 0 && low >= 0) {
      decoded.push_back(static_cast<char>(high * 16 + low));
      i += 2;
    } else {
      decoded.push_back(bytes[i]);
    }
  }
  return win32::Widen(decoded);
}

// Whether `host` may name a server: a name (international letters too) or
// an IPv4 address, or an IPv6 address in brackets. The library itself takes
// "[bad" for a name and looks it up.
bool ValidHost(const std::wstring& host) {
  if (host.empty()) return false;
  if (host.front() == L'[') {
    if (host.size() < 3 || host.back() != L']') return false;
    return host.find_first_not_of(L"0123456789abcdefABCDEF:.", 1) == host.size() - 1;
  }
  for (const wchar_t c : host) {
    const bool ascii = c < 0x80;
    const bool letterOrDigit =
        (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9');
    if (ascii && !letterOrDigit && c != L'-' && c != L'.' && c != L'_' && c != L'~' && c != L'%')
      return false;
  }
  return true;
}

}  // namespace

std::wstring LowerCase(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

std::wstring SchemeOf(const std::wstring& address) {
  const size_t colon = address.find(L':');
  if (colon == 0 || colon == std::wstring::npos) return {};
  for (size_t i = 0; i < colon; ++i) {
    const wchar_t c = address[i];
    const bool letter = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z');
    const bool other = (c >= L'0' && c <= L'9') || c == L'+' || c == L'-' || c == L'.';
    if (!letter && !(i > 0 && other)) return {};
  }
  std::wstring scheme = address.substr(0, colon);
  for (wchar_t& c : scheme)
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  return scheme;
}

bool IsFetchedScheme(const std::wstring& scheme) {
  return scheme == L"http" || scheme == L"https" || scheme == L"ftp";
}

bool CrackAddress(const std::wstring& url, AddressParts& out) {
  URL_COMPONENTSW parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUserNameLength = 1;
  parts.dwPasswordLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = 1;
  if (!::InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) return false;
  auto piece = [](const wchar_t* p, DWORD n) { return p ? std::wstring(p, n) : std::wstring(); };
  out.scheme = LowerCase(piece(parts.lpszScheme, parts.dwSchemeLength));
  out.host = piece(parts.lpszHostName, parts.dwHostNameLength);
  out.port = parts.nPort;
  out.user = PercentDecoded(piece(parts.lpszUserName, parts.dwUserNameLength));
  out.password = PercentDecoded(piece(parts.lpszPassword, parts.dwPasswordLength));
  const size_t authority = url.find(L"//");
  const size_t end =
      authority == std::wstring::npos ? authority : url.find_first_of(L"/?#", authority + 2);
  out.hasCredentials =
      authority != std::wstring::npos &&
      url.substr(authority + 2, end == std::wstring::npos ? end : end - authority - 2).find(L'@') !=
          std::wstring::npos;
  out.pathAndQuery = piece(parts.lpszUrlPath, parts.dwUrlPathLength) +
                     piece(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (out.pathAndQuery.empty()) out.pathAndQuery = L"/";
  out.secure = out.scheme == L"https";
  return ValidHost(out.host);
}

}  // namespace platform::wininet

#include "platform/internet_session.h"

#include <algorithm>
#include <cstdlib>
#include <cwctype>
#include <utility>

#include "platform/win32/wide_text.h"
#include "platform/win32/windows_api.h"
// After windows.h, which it needs.
#include <wininet.h>

namespace platform {

namespace {

using win32::Narrow;
using win32::Widen;

constexpr DWORD kDefaultConnectMs = 30'000;
constexpr DWORD kDefaultStallMs = 60'000;
constexpr int kMaxRedirects = 20;

// Every request goes to the server: nothing is taken from or put into the
// system's cache.
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE |
                                INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_UI |
                                INTERNET_FLAG_NO_COOKIES;

// The library's own authentication keeps credentials for the rest of the
// process and offers them to later requests of the same server, which may
// carry none. Credentials are sent here instead, to the address's own host,
// on its request only.
constexpr DWORD kHttpFlags = kRequestFlags | INTERNET_FLAG_NO_AUTO_REDIRECT |
                             INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_NO_AUTH;

std::string Base64(std::string_view bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    unsigned n = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) n |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) n |= static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[(n >> 18) & 63];
    out += kAlphabet[(n >> 12) & 63];
    out += i + 1 < bytes.size() ? kAlphabet[(n >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? kAlphabet[n & 63] : '=';
  }
  return out;
}

// Whether a 401 answer offers Basic authentication.
bool OffersBasic(HINTERNET request) {
  for (DWORD index = 0;;) {
    wchar_t value[512];
    DWORD size = sizeof value;
    if (!::HttpQueryInfoW(request, HTTP_QUERY_WWW_AUTHENTICATE, value, &size, &index)) return false;
    std::wstring_view scheme(value, size / sizeof(wchar_t));
    if (scheme.size() >= 5 && ::CompareStringOrdinal(scheme.data(), 5, L"basic", 5, TRUE) == CSTR_EQUAL)
      return true;
  }
}

// Both timeouts, or the test override for both.
std::pair<DWORD, DWORD> Timeouts() {
  if (const char* text = std::getenv("VIMBEL_TEST_TIMEOUT_MS")) {
    char* end = nullptr;
    long ms = std::strtol(text, &end, 10);
    if (end != text && *end == '\0' && ms > 0) return {static_cast<DWORD>(ms), static_cast<DWORD>(ms)};
  }
  return {kDefaultConnectMs, kDefaultStallMs};
}

// The system's words for a WinINet or system error code.
std::string ErrorMessage(DWORD error) {
  wchar_t* text = nullptr;
  DWORD n = 0;
  if (error >= INTERNET_ERROR_BASE && error <= INTERNET_ERROR_LAST)
    n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE |
                             FORMAT_MESSAGE_IGNORE_INSERTS,
                         ::GetModuleHandleW(L"wininet.dll"), error, 0,
                         reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  if (n == 0)
    n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                             FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string message = n ? Narrow(std::wstring_view(text, n)) : std::string();
  if (text) ::LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.'))
    message.pop_back();
  if (message.empty()) message = "Internet error " + std::to_string(error);
  return message;
}

std::string LastError() { return ErrorMessage(::GetLastError()); }

struct Handle {
  HINTERNET h = nullptr;
  Handle() = default;
  explicit Handle(HINTERNET handle) : h(handle) {}
  ~Handle() { Reset(); }
  Handle(Handle&& other) noexcept : h(std::exchange(other.h, nullptr)) {}
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) {
      Reset();
      h = std::exchange(other.h, nullptr);
    }
    return *this;
  }
  void Reset() {
    if (h) ::InternetCloseHandle(h);
    h = nullptr;
  }
};

// The parts of an address that decide where a request goes.
struct Address {
  std::wstring scheme;  // lower case
  std::wstring host;
  INTERNET_PORT port = 0;
  std::wstring user;
  std::wstring password;
  bool hasCredentials = false;  // "user:password@", even both empty
  std::wstring pathAndQuery;
  bool secure = false;
};

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

// The address's user information is percent-encoded UTF-8; the library
// takes it decoded.
std::wstring PercentDecoded(const std::wstring& text) {
  auto hex = [](int c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string bytes = Narrow(text);
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
  return Widen(decoded);
}

bool Crack(const std::wstring& url, Address& out) {
  URL_COMPONENTSW parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUserNameLength = 1;
  parts.dwPasswordLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = 1;
  if (!::InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) return false;
  auto piece = [](const wchar_t* p, DWORD n) { return p ? std::wstring(p, n) : std::wstring(); };
  out.scheme = Lower(piece(parts.lpszScheme, parts.dwSchemeLength));
  out.host = piece(parts.lpszHostName, parts.dwHostNameLength);
  out.port = parts.nPort;
  out.user = PercentDecoded(piece(parts.lpszUserName, parts.dwUserNameLength));
  out.password = PercentDecoded(piece(parts.lpszPassword, parts.dwPasswordLength));
  const size_t authority = url.find(L"//");
  const size_t end = authority == std::wstring::npos ? authority : url.find_first_of(L"/?#", authority + 2);
  out.hasCredentials = authority != std::wstring::npos &&
                       url.substr(authority + 2, end == std::wstring::npos ? end : end - authority - 2).find(L'@') != std::wstring::npos;
  out.pathAndQuery = piece(parts.lpszUrlPath, parts.dwUrlPathLength) +
                     piece(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (out.pathAndQuery.empty()) out.pathAndQuery = L"/";
  out.secure = out.scheme == L"https";
  return !out.host.empty();
}

bool Served(const std::wstring& scheme) {
  return scheme == L"http" || scheme == L"https" || scheme == L"ftp";
}

// Where a redirect answer points, resolved against the address it answers.
std::wstring RedirectTarget(HINTERNET request, const std::wstring& base) {
  DWORD size = 0;
  ::HttpQueryInfoW(request, HTTP_QUERY_LOCATION, nullptr, &size, nullptr);
  if (size == 0) return {};
  std::wstring location(size / sizeof(wchar_t) + 1, L'\0');
  if (!::HttpQueryInfoW(request, HTTP_QUERY_LOCATION, location.data(), &size, nullptr)) return {};
  location.resize(size / sizeof(wchar_t));
  DWORD length = 0;
  ::InternetCombineUrlW(base.c_str(), location.c_str(), nullptr, &length, ICU_NO_ENCODE);
  if (length == 0) return {};
  std::wstring combined(length + 1, L'\0');
  if (!::InternetCombineUrlW(base.c_str(), location.c_str(), combined.data(), &length,
                             ICU_NO_ENCODE))
    return {};
  combined.resize(length);
  return combined;
}

DWORD StatusOf(HINTERNET request) {
  DWORD status = 0, size = sizeof status;
  if (!::HttpQueryInfoW(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                        nullptr))
    return 0;
  return status;
}

bool IsRedirect(DWORD status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

struct InternetSession::Impl {
  Handle internet;
  DWORD connectMs = kDefaultConnectMs;
  DWORD stallMs = kDefaultStallMs;
};

struct InternetRequest::Impl {
  Handle connection;  // the request's server (http) or none (ftp)
  Handle request;
  bool isHttp = true;
  std::string statusText;
  bool hasLength = false;
  std::string lengthText;
  unsigned long long declared = 0;
  unsigned long long received = 0;
  bool ended = false;
  bool failed = false;
  std::string errorText;

  void Close() {
    request.Reset();
    connection.Reset();
  }

  void Fail(std::string text) {
    failed = true;
    errorText = std::move(text);
  }
};

InternetSession::InternetSession() = default;
InternetSession::~InternetSession() { Close(); }

bool InternetSession::Open(const std::string& agent, std::string* why) {
  Close();
  auto impl = std::make_unique<Impl>();
  // The system's proxy settings, as the user made them.
  impl->internet = Handle(
      ::InternetOpenW(Widen(agent).c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  if (!impl->internet.h) {
    if (why) *why = LastError();
    return false;
  }
  std::tie(impl->connectMs, impl->stallMs) = Timeouts();
  ::InternetSetOptionW(impl->internet.h, INTERNET_OPTION_CONNECT_TIMEOUT, &impl->connectMs,
                       sizeof impl->connectMs);
  ::InternetSetOptionW(impl->internet.h, INTERNET_OPTION_SEND_TIMEOUT, &impl->stallMs,
                       sizeof impl->stallMs);
  ::InternetSetOptionW(impl->internet.h, INTERNET_OPTION_RECEIVE_TIMEOUT, &impl->stallMs,
                       sizeof impl->stallMs);
  m_impl = std::move(impl);
  return true;
}

bool InternetSession::IsOpen() const { return m_impl != nullptr; }

void InternetSession::Close() { m_impl.reset(); }

std::unique_ptr<InternetRequest> InternetSession::OpenUrl(const std::string& url,
                                                          std::string* why) {
  auto fail = [why](std::string text) {
    if (why) *why = std::move(text);
    return nullptr;
  };
  if (!m_impl) return fail("No Internet session");

  std::wstring address = Widen(url);
  Address first;
  if (!Crack(address, first)) return fail("The address is not valid");
  if (!Served(first.scheme)) return fail("Protocol not supported: " + Narrow(first.scheme));

  auto r = std::make_unique<InternetRequest::Impl>();
  if (first.scheme == L"ftp") {
    r->isHttp = false;
    r->request = Handle(::InternetOpenUrlW(m_impl->internet.h, address.c_str(), nullptr, 0,
                                           kRequestFlags | INTERNET_FLAG_PASSIVE, 0));
    if (!r->request.h) return fail(LastError());
    DWORD high = 0;
    const DWORD low = ::FtpGetFileSize(r->request.h, &high);
    if (low != INVALID_FILE_SIZE || ::GetLastError() == NO_ERROR) {
      r->hasLength = true;
      r->declared = (static_cast<unsigned long long>(high) << 32) | low;
      r->lengthText = std::to_string(r->declared);
    }
    return std::unique_ptr<InternetRequest>(new InternetRequest(std::move(r)));
  }

  // Redirects are followed here rather than by the library, so that each
  // target is checked: http, https and ftp only, and the address's
  // credentials go to its own host alone.
  Address target = first;
  for (int hop = 0;; ++hop) {
    const bool sameHost = Lower(target.host) == Lower(first.host) && target.port == first.port;
    const bool sendCredentials = sameHost && first.hasCredentials;
    r->request.Reset();
    r->connection = Handle(::InternetConnectW(m_impl->internet.h, target.host.c_str(), target.port,
                                              nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!r->connection.h) return fail(LastError());
    auto send = [&](const std::wstring& extraHeaders) {
      DWORD flags = kHttpFlags;
      if (target.secure) flags |= INTERNET_FLAG_SECURE;
      r->request = Handle(::HttpOpenRequestW(r->connection.h, L"GET", target.pathAndQuery.c_str(),
                                             nullptr, nullptr, nullptr, flags, 0));
      if (!r->request.h) return false;
      const std::wstring headers = L"Cache-Control: no-cache\r\n" + extraHeaders;
      return ::HttpSendRequestW(r->request.h, headers.c_str(), static_cast<DWORD>(headers.size()),
                                nullptr, 0) != 0;
    };
    if (!send({})) return fail(LastError());
    if (sendCredentials && StatusOf(r->request.h) == 401 && OffersBasic(r->request.h)) {
      const std::string pair = Narrow(first.user) + ":" + Narrow(first.password);
      if (!send(L"Authorization: Basic " + Widen(Base64(pair)) + L"\r\n")) return fail(LastError());
    }
    const DWORD status = StatusOf(r->request.h);
    if (!IsRedirect(status)) {
      r->statusText = std::to_string(status);
      break;
    }
    const std::wstring next = RedirectTarget(r->request.h, address);
    if (next.empty()) {  // a redirect without a place to go is the answer
      r->statusText = std::to_string(status);
      break;
    }
    if (hop + 1 > kMaxRedirects) return fail("Too many redirects");
    Address following;
    if (!Crack(next, following)) return fail("A redirect named an address that is not valid");
    if (!Served(following.scheme))
      return fail("A redirect named an unsupported protocol: " + Narrow(following.scheme));
    if (following.scheme == L"ftp") {
      r->request.Reset();
      r->connection.Reset();
      return OpenUrl(Narrow(next), why);
    }
    address = next;
    target = following;
  }

  wchar_t length[32];
  DWORD size = sizeof length;
  if (::HttpQueryInfoW(r->request.h, HTTP_QUERY_CONTENT_LENGTH, length, &size, nullptr)) {
    r->hasLength = true;
    r->lengthText = Narrow(std::wstring_view(length, size / sizeof(wchar_t)));
    r->declared = std::strtoull(r->lengthText.c_str(), nullptr, 10);
  }
  return std::unique_ptr<InternetRequest>(new InternetRequest(std::move(r)));
}

InternetRequest::InternetRequest(std::unique_ptr<Impl> impl) : m_impl(std::move(impl)) {}
InternetRequest::~InternetRequest() = default;

bool InternetRequest::QueryStatusCode(std::string& text) const {
  if (!m_impl->isHttp) return false;
  text = m_impl->statusText;
  return true;
}

bool InternetRequest::QueryContentLength(std::string& text) const {
  if (!m_impl->hasLength) return false;
  text = m_impl->lengthText;
  return true;
}

size_t InternetRequest::Read(char* buffer, size_t size) {
  Impl& r = *m_impl;
  if (r.failed || r.ended || size == 0 || !r.request.h) return 0;
  // A read waits until the buffer is full; asking for no more than has
  // arrived hands over what came before a broken connection.
  DWORD available = 0;
  if (!::InternetQueryDataAvailable(r.request.h, &available, 0, 0)) {
    r.Fail(LastError());
    return 0;
  }
  DWORD n = 0;
  const DWORD want = static_cast<DWORD>(std::min<size_t>(size, std::max<DWORD>(available, 1)));
  if (!::InternetReadFile(r.request.h, buffer, want, &n)) {
    r.Fail(LastError());
    return 0;
  }
  if (n == 0) {
    r.ended = true;
    // The library ends a body quietly when the server closes early; a
    // declared length tells the short body from a whole one.
    if (r.hasLength && r.received < r.declared)
      r.Fail("The connection closed after " + std::to_string(r.received) + " of " +
             std::to_string(r.declared) + " bytes");
    return 0;
  }
  r.received += n;
  return n;
}

bool InternetRequest::Failed() const { return m_impl->failed; }

const std::string& InternetRequest::ErrorText() const { return m_impl->errorText; }

void InternetRequest::Close() { m_impl->Close(); }

}  // namespace platform

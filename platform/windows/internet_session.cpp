#include "platform/internet_session.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cctype>
#include <cwctype>
#include <optional>
#include <vector>
#include <functional>
#include <future>
#include <thread>
#include <utility>

#include "platform/file_io.h"
#include "platform/http_digest.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/windows_api.h"
// After windows.h, which it needs.
#include <wininet.h>
#include <zlib.h>

namespace platform {

namespace {

using win32::Narrow;
using win32::Widen;

constexpr DWORD kDefaultConnectMs = 30'000;
constexpr DWORD kDefaultStallMs = 60'000;
constexpr int kMaxRedirects = 20;
// How long one wait for the server lasts at most while a stop check is set,
// so that a stop is noticed at once.
constexpr auto kStopCheckInterval = std::chrono::milliseconds(50);

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

// The challenges of a 401 answer's WWW-Authenticate headers, in their
// order.
std::vector<AuthChallenge> ChallengesOf(HINTERNET request) {
  std::vector<AuthChallenge> challenges;
  for (DWORD index = 0;;) {
    DWORD size = 0, probe = index;
    if (::HttpQueryInfoW(request, HTTP_QUERY_WWW_AUTHENTICATE, nullptr, &size, &probe) ||
        ::GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0)
      break;
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (!::HttpQueryInfoW(request, HTTP_QUERY_WWW_AUTHENTICATE, value.data(), &size, &index)) break;
    value.resize(size / sizeof(wchar_t));
    for (AuthChallenge& challenge : ParseAuthChallenges(Narrow(value)))
      challenges.push_back(std::move(challenge));
  }
  return challenges;
}

// Both timeouts, or the test override for both.
std::pair<DWORD, DWORD> Timeouts() {
  if (const char* text = std::getenv("VIMBEL_TEST_TIMEOUT_MS")) {
    char* end = nullptr;
    long ms = std::strtol(text, &end, 10);
    if (end != text && *end == '\0' && ms > 0)
      return {static_cast<DWORD>(ms), static_cast<DWORD>(ms)};
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
    n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
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

// The kind of failure a WinINet or system error code stands for. The
// library tells a refused connection from an unreachable server by neither
// code nor text: both are "cannot connect", taken as refused.
InternetFailure CauseOf(DWORD error) {
  switch (error) {
    case ERROR_INTERNET_INVALID_URL:
      return InternetFailure::kBadAddress;
    case ERROR_INTERNET_UNRECOGNIZED_SCHEME:
      return InternetFailure::kUnsupportedAddress;
    case ERROR_INTERNET_NAME_NOT_RESOLVED:
      return InternetFailure::kHostNotFound;
    case ERROR_INTERNET_CANNOT_CONNECT:
      return InternetFailure::kRefused;
    case ERROR_INTERNET_TIMEOUT:
      return InternetFailure::kTimedOut;
    case ERROR_INTERNET_INVALID_CA:
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
    case ERROR_INTERNET_SEC_CERT_ERRORS:
    case ERROR_INTERNET_SEC_CERT_NO_REV:
    case ERROR_INTERNET_SEC_CERT_REV_FAILED:
    case ERROR_INTERNET_SEC_CERT_REVOKED:
    case ERROR_INTERNET_SEC_INVALID_CERT:
      return InternetFailure::kCertificate;
    case ERROR_INTERNET_SECURITY_CHANNEL_ERROR:
      return InternetFailure::kTls;
    case ERROR_INTERNET_PROXY_SERVER_UNREACHABLE:
    case ERROR_INTERNET_BAD_AUTO_PROXY_SCRIPT:
    case ERROR_INTERNET_UNABLE_TO_DOWNLOAD_SCRIPT:
      return InternetFailure::kProxy;
    case ERROR_INTERNET_CONNECTION_ABORTED:
    case ERROR_HTTP_INVALID_SERVER_RESPONSE:
      return InternetFailure::kNoAnswer;
    case ERROR_INTERNET_OPERATION_CANCELLED:
      return InternetFailure::kStopped;
    default:
      return InternetFailure::kOther;
  }
}

// A failure to hand back: the cause and its words.
struct Failure {
  InternetFailure cause = InternetFailure::kOther;
  std::string text;
};

Failure LastFailure() {
  const DWORD error = ::GetLastError();
  return {CauseOf(error), ErrorMessage(error)};
}

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

// The library's own limits for a handle and those it makes. Windows itself
// keeps to them; Wine does not, hence the waits below.
void SetTimeouts(HINTERNET handle, DWORD connectMs, DWORD stallMs) {
  ::InternetSetOptionW(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &connectMs, sizeof connectMs);
  ::InternetSetOptionW(handle, INTERNET_OPTION_SEND_TIMEOUT, &stallMs, sizeof stallMs);
  ::InternetSetOptionW(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &stallMs, sizeof stallMs);
}

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

// A library call that may wait long for the server. It owns all it uses,
// since it may outlive the wait for it.
using WaitingCall = std::function<CallResult()>;

// Runs `call` on a thread of its own and meanwhile asks the stop check
// (when one is set) on this thread. A stop, or `limitMs` passing without an
// end, closes `handle`, which makes the library give up the call, and the
// call is left to end by itself: under Wine a closed handle does not end a
// wait for the server, and the user's stop should not wait for it either.
// After kFailed the call's error code is this thread's last error.
WaitEnd Waited(const std::function<bool()>& stopCheck, DWORD limitMs, Handle& handle,
               WaitingCall call, CallResult& out) {
  if (stopCheck && stopCheck()) return WaitEnd::kStopped;
  std::packaged_task<CallResult()> task(std::move(call));
  std::future<CallResult> result = task.get_future();
  std::thread worker(std::move(task));
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
  worker.join();
  out = result.get();
  if (!out.ok) {
    ::SetLastError(out.error);
    return WaitEnd::kFailed;
  }
  return WaitEnd::kDone;
}

// The call's result, with the error code of the thread that made it.
CallResult Result(BOOL ok) {
  CallResult result;
  result.ok = ok;
  if (!ok) result.error = ::GetLastError();
  return result;
}

// The scheme an address starts with, in lower case; empty when it has none.
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

// Set by UseNetrcFile: whether to read a netrc file, and which.
bool g_useNetrc = false;
std::string g_netrcFile;

// The login and password a netrc file gives `host` ("machine HOST login L
// password P", else the "default" entry), as curl reads the file.
std::optional<std::pair<std::string, std::string>> NetrcCredentials(const std::string& host) {
  std::string path = g_netrcFile;
  if (path.empty()) {
    const char* home = std::getenv("USERPROFILE");
    if (!home) return std::nullopt;
    path = std::string(home) + "\\_netrc";
  }
  std::string text;
  if (file_io::LoadWholeFile(path, 1 << 20, text) != file_io::LoadResult::kLoaded)
    return std::nullopt;
  std::vector<std::string> words;
  for (size_t i = 0; i < text.size();) {
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    size_t end = i;
    while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end]))) ++end;
    if (end > i) words.push_back(text.substr(i, end - i));
    i = end;
  }
  std::optional<std::pair<std::string, std::string>> found, fallback;
  bool ours = false, isDefault = false;
  std::pair<std::string, std::string> entry;
  auto close = [&] {
    if (ours && !found) found = entry;
    if (isDefault && !fallback) fallback = entry;
  };
  for (size_t i = 0; i < words.size(); ++i) {
    if (words[i] == "machine" || words[i] == "default") {
      close();
      entry = {};
      isDefault = words[i] == "default";
      ours = !isDefault && i + 1 < words.size() && Lower(Widen(words[i + 1])) == Lower(Widen(host));
      if (!isDefault) ++i;
    } else if (words[i] == "login" && i + 1 < words.size()) {
      entry.first = words[++i];
    } else if (words[i] == "password" && i + 1 < words.size()) {
      entry.second = words[++i];
    }
  }
  close();
  return found ? found : fallback;
}

}  // namespace

void UseNetrcFile(const std::string& file) {
  g_useNetrc = true;
  g_netrcFile = file;
}

struct InternetSession::Impl {
  Handle internet;
  DWORD connectMs = kDefaultConnectMs;
  DWORD stallMs = kDefaultStallMs;
  std::function<bool()> stopCheck;
  std::wstring agent;

  // The library's session with the system's proxy settings, as the user
  // made them, and the timeouts.
  bool Start() {
    internet =
        Handle(::InternetOpenW(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!internet.h) return false;
    SetTimeouts(internet.h, connectMs, stallMs);
    return true;
  }
};

struct InternetRequest::Impl {
  std::string finalUrl;
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
  std::function<bool()> stopCheck;
  DWORD stallMs = kDefaultStallMs;

  // A compressed answer (gzip or deflate), decoded as it is read.
  std::unique_ptr<z_stream> decoder;
  char wire[1024];
  bool wireEnded = false;
  bool streamEnded = false;

  ~Impl() {
    if (decoder) inflateEnd(decoder.get());
  }

  // Starts decoding when the answer says it is compressed.
  bool StartDecoding(const std::wstring& coding) {
    const std::wstring lower = Lower(coding);
    if (lower != L"gzip" && lower != L"x-gzip" && lower != L"deflate") return true;
    decoder = std::make_unique<z_stream>();
    // 32: a zlib or a gzip stream, whichever it is.
    if (inflateInit2(decoder.get(), 15 + 32) != Z_OK) {
      decoder.reset();
      return false;
    }
    return true;
  }

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
  impl->agent = Widen(agent);
  std::tie(impl->connectMs, impl->stallMs) = Timeouts();
  if (!impl->Start()) {
    if (why) *why = LastError();
    return false;
  }
  m_impl = std::move(impl);
  return true;
}

bool InternetSession::IsOpen() const { return m_impl != nullptr; }

void InternetSession::Close() { m_impl.reset(); }

void InternetSession::SetStopCheck(std::function<bool()> check) {
  if (m_impl) m_impl->stopCheck = std::move(check);
}

std::unique_ptr<InternetRequest> InternetSession::OpenUrl(const std::string& url, std::string* why,
                                                          InternetFailure* cause) {
  auto fail = [why, cause](Failure failure) {
    if (why) *why = std::move(failure.text);
    if (cause) *cause = failure.cause;
    return nullptr;
  };
  if (cause) *cause = InternetFailure::kNone;
  if (!m_impl) return fail({InternetFailure::kOther, "No Internet session"});
  const std::function<bool()>& stopCheck = m_impl->stopCheck;

  std::wstring address = Widen(url);
  // The scheme first: "file:///x" has no host to crack, yet its fault is
  // being no address this session fetches.
  const std::wstring scheme = SchemeOf(address);
  if (!scheme.empty() && !Served(scheme))
    return fail(
        {InternetFailure::kUnsupportedAddress, "Protocol not supported: " + Narrow(scheme)});
  Address first;
  if (!Crack(address, first))
    return fail({InternetFailure::kBadAddress, "The address is not valid"});
  // Credentials in the address win over the netrc file's.
  if (!first.hasCredentials && g_useNetrc)
    if (const auto netrc = NetrcCredentials(Narrow(first.host))) {
      first.user = Widen(netrc->first);
      first.password = Widen(netrc->second);
      first.hasCredentials = true;
    }
  if (!Served(first.scheme))
    return fail(
        {InternetFailure::kUnsupportedAddress, "Protocol not supported: " + Narrow(first.scheme)});

  auto r = std::make_unique<InternetRequest::Impl>();
  r->stopCheck = stopCheck;
  r->stallMs = m_impl->stallMs;
  // Connecting and then the answer's wait, each within its own limit.
  const DWORD answerMs = m_impl->connectMs + m_impl->stallMs;
  const DWORD stallMs = m_impl->stallMs;
  auto waitFailure = [answerMs, stallMs](
                         WaitEnd end, std::chrono::steady_clock::duration waited = {}) -> Failure {
    if (end == WaitEnd::kStopped) return {InternetFailure::kStopped, "Stopped"};
    if (end == WaitEnd::kTimedOut)
      return {InternetFailure::kTimedOut, "No answer within " + std::to_string(answerMs) + " ms"};
    Failure failure = LastFailure();
    // Wine ends the wait for a silent server with "no answer" rather than
    // a timeout; a server that closed without a word would have done so at
    // once.
    if (failure.cause == InternetFailure::kNoAnswer && waited >= std::chrono::milliseconds(stallMs))
      failure.cause = InternetFailure::kTimedOut;
    return failure;
  };
  if (first.scheme == L"ftp") {
    r->isHttp = false;
    const HINTERNET internet = m_impl->internet.h;
    // Giving up closes the session's handle, which ends the open; the
    // session makes a new one for the requests after it.
    CallResult opened;
    const WaitEnd end = Waited(
        stopCheck, answerMs, m_impl->internet,
        [internet, address] {
          const HINTERNET handle = ::InternetOpenUrlW(internet, address.c_str(), nullptr, 0,
                                                      kRequestFlags | INTERNET_FLAG_PASSIVE, 0);
          CallResult result = Result(handle != nullptr);
          result.handle = handle;
          return result;
        },
        opened);
    if (end == WaitEnd::kStopped || end == WaitEnd::kTimedOut) m_impl->Start();
    if (end != WaitEnd::kDone) return fail(waitFailure(end));
    r->request = Handle(opened.handle);
    DWORD high = 0;
    const DWORD low = ::FtpGetFileSize(r->request.h, &high);
    if (low != INVALID_FILE_SIZE || ::GetLastError() == NO_ERROR) {
      r->hasLength = true;
      r->declared = (static_cast<unsigned long long>(high) << 32) | low;
      r->lengthText = std::to_string(r->declared);
    }
    r->finalUrl = url;
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
    if (!r->connection.h) return fail(LastFailure());
    auto send = [&](const std::wstring& extraHeaders) {
      DWORD flags = kHttpFlags;
      if (target.secure) flags |= INTERNET_FLAG_SECURE;
      r->request = Handle(::HttpOpenRequestW(r->connection.h, L"GET", target.pathAndQuery.c_str(),
                                             nullptr, nullptr, nullptr, flags, 0));
      if (!r->request.h) return WaitEnd::kFailed;
      // Compressed answers are asked for and decoded here, since the
      // library's own decoding hides how many bytes came.
      const std::wstring headers =
          L"Cache-Control: no-cache\r\nAccept-Encoding: gzip, deflate\r\n" + extraHeaders;
      SetTimeouts(r->request.h, m_impl->connectMs, m_impl->stallMs);
      const HINTERNET request = r->request.h;
      CallResult sent;
      return Waited(
          stopCheck, answerMs, r->request,
          [request, headers] {
            return Result(::HttpSendRequestW(request, headers.c_str(),
                                             static_cast<DWORD>(headers.size()), nullptr, 0));
          },
          sent);
    };
    const auto sendStart = std::chrono::steady_clock::now();
    if (const WaitEnd end = send({}); end != WaitEnd::kDone)
      return fail(waitFailure(end, std::chrono::steady_clock::now() - sendStart));
    if (sendCredentials && StatusOf(r->request.h) == 401) {
      // Digest when the server offers it, since Basic shows the password
      // to anyone on the way.
      const std::string user = Narrow(first.user), password = Narrow(first.password);
      const std::string uri = Narrow(target.pathAndQuery);
      auto digestAnswer = [&](const DigestChallenge& challenge) {
        return DigestAuthorization(challenge, {"GET", uri, user, password, NewClientNonce(), 1});
      };
      const std::vector<AuthChallenge> challenges = ChallengesOf(r->request.h);
      const std::optional<DigestChallenge> digest = UsableDigest(challenges);
      std::optional<std::string> authorization;
      if (digest)
        authorization = digestAnswer(*digest);
      else if (OffersBasic(challenges))
        authorization = "Basic " + Base64(user + ":" + password);
      for (bool renewed = false; authorization; renewed = true) {
        const auto resendStart = std::chrono::steady_clock::now();
        const WaitEnd end = send(L"Authorization: " + Widen(*authorization) + L"\r\n");
        if (end != WaitEnd::kDone)
          return fail(waitFailure(end, std::chrono::steady_clock::now() - resendStart));
        authorization.reset();
        // An expired nonce is no refusal: the same credentials once more,
        // with the new one.
        if (digest && !renewed && StatusOf(r->request.h) == 401)
          if (const auto fresh = UsableDigest(ChallengesOf(r->request.h)); fresh && fresh->stale)
            authorization = digestAnswer(*fresh);
      }
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
    if (hop + 1 > kMaxRedirects)
      return fail({InternetFailure::kTooManyRedirects, "Too many redirects"});
    Address following;
    if (!Crack(next, following) || !Served(following.scheme))
      return fail({InternetFailure::kRedirectNotFetched,
                   "A redirect named an address that is not fetched"});
    if (following.scheme == L"ftp") {
      r->request.Reset();
      r->connection.Reset();
      return OpenUrl(Narrow(next), why, cause);
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
  wchar_t coding[64];
  size = sizeof coding;
  if (::HttpQueryInfoW(r->request.h, HTTP_QUERY_CONTENT_ENCODING, coding, &size, nullptr) &&
      !r->StartDecoding(std::wstring(coding, size / sizeof(wchar_t))))
    return fail({InternetFailure::kOther, "Cannot decode the compressed answer"});
  // Where the answer came from: the address as typed when nothing was
  // followed, else where the redirects led, without a fragment.
  r->finalUrl = Narrow(address) == url ? url : Narrow(address.substr(0, address.find(L'#')));
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

namespace {

// Up to `size` body bytes as the server sent them; 0 at their end
// (`wireEnded`) or on a failure (`failed`).
size_t ReadWire(InternetRequest::Impl& r, char* buffer, size_t size) {
  // A read waits until the buffer is full; asking for no more than has
  // arrived hands over what came before a broken connection.
  const HINTERNET request = r.request.h;
  CallResult queried;
  const WaitEnd end = Waited(
      r.stopCheck, r.stallMs, r.request,
      [request] {
        DWORD available = 0;
        CallResult result = Result(::InternetQueryDataAvailable(request, &available, 0, 0));
        result.count = available;
        return result;
      },
      queried);
  const DWORD available = queried.count;
  if (end != WaitEnd::kDone) {
    r.Fail(end == WaitEnd::kStopped    ? std::string("Stopped")
           : end == WaitEnd::kTimedOut ? "No data received for " + std::to_string(r.stallMs) + " ms"
                                       : LastError());
    return 0;
  }
  DWORD n = 0;
  const DWORD want = static_cast<DWORD>(std::min<size_t>(size, std::max<DWORD>(available, 1)));
  if (!::InternetReadFile(r.request.h, buffer, want, &n)) {
    r.Fail(LastError());
    return 0;
  }
  if (n == 0) r.wireEnded = true;
  r.received += n;
  return n;
}

// Up to `size` bytes of the decoded page; 0 at its end or on a failure.
size_t ReadDecoded(InternetRequest::Impl& r, char* buffer, size_t size) {
  z_stream& z = *r.decoder;
  while (!r.streamEnded) {
    if (z.avail_in == 0 && !r.wireEnded) {
      const size_t got = ReadWire(r, r.wire, sizeof r.wire);
      if (r.failed) return 0;
      z.next_in = reinterpret_cast<Bytef*>(r.wire);
      z.avail_in = static_cast<uInt>(got);
    }
    z.next_out = reinterpret_cast<Bytef*>(buffer);
    z.avail_out = static_cast<uInt>(std::min<size_t>(size, 1u << 30));
    const int rc = inflate(&z, Z_NO_FLUSH);
    const size_t produced = std::min<size_t>(size, 1u << 30) - z.avail_out;
    if (rc == Z_STREAM_END) {
      r.streamEnded = true;
    } else if (rc != Z_OK && rc != Z_BUF_ERROR) {
      r.Fail("The compressed page is damaged");
      return 0;
    }
    if (produced > 0) return produced;
    if (r.wireEnded && z.avail_in == 0 && !r.streamEnded) {
      r.Fail("The compressed page ended early");
      return 0;
    }
  }
  // Whatever follows the stream is counted, not shown.
  char rest[1024];
  while (!r.wireEnded && !r.failed) ReadWire(r, rest, sizeof rest);
  return 0;
}

}  // namespace

size_t InternetRequest::Read(char* buffer, size_t size) {
  Impl& r = *m_impl;
  if (r.failed || r.ended || size == 0 || !r.request.h) return 0;
  const size_t n = r.decoder ? ReadDecoded(r, buffer, size) : ReadWire(r, buffer, size);
  if (n > 0 || r.failed) return n;
  r.ended = true;
  // The library ends a body quietly when the server closes early; a
  // declared length, of the bytes as sent, tells the short body from a
  // whole one.
  if (r.hasLength && r.received < r.declared)
    r.Fail("The connection closed after " + std::to_string(r.received) + " of " +
           std::to_string(r.declared) + " bytes");
  return 0;
}

bool InternetRequest::Failed() const { return m_impl->failed; }

const std::string& InternetRequest::FinalUrl() const { return m_impl->finalUrl; }

int64_t InternetRequest::BodyBytesOnWire() const { return static_cast<int64_t>(m_impl->received); }

const std::string& InternetRequest::ErrorText() const { return m_impl->errorText; }

void InternetRequest::Close() { m_impl->Close(); }

}  // namespace platform

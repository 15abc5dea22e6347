#include "platform/internet_session.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "platform/http_digest.h"
#include "platform/internet_limits.h"
#include "platform/netrc.h"
#include "platform/windows/internet_address.h"
#include "platform/windows/internet_errors.h"
#include "platform/windows/internet_wait.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/windows_api.h"
// After windows.h, which it needs.
#include <wininet.h>
#include <zlib.h>

namespace platform {

namespace {

using win32::Narrow;
using win32::Widen;
using wininet::AddressParts;
using wininet::CallResult;
using wininet::CallResultOf;
using wininet::Failure;
using wininet::InternetHandle;
using wininet::LastErrorText;
using wininet::LastFailure;
using wininet::LowerCase;
using wininet::WaitEnd;
using wininet::WaitForCall;

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

// The library's own limits for a handle and those it makes. Windows itself
// keeps to them; Wine does not, hence the waits on threads of their own.
void SetTimeouts(HINTERNET handle, DWORD connectMs, DWORD stallMs) {
  ::InternetSetOptionW(handle, INTERNET_OPTION_CONNECT_TIMEOUT, &connectMs, sizeof connectMs);
  ::InternetSetOptionW(handle, INTERNET_OPTION_SEND_TIMEOUT, &stallMs, sizeof stallMs);
  ::InternetSetOptionW(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &stallMs, sizeof stallMs);
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

// The netrc file when none is named: _netrc in the user's profile folder,
// the name Windows ports of the Unix tools give it.
std::string DefaultNetrcFile() {
  const char* home = std::getenv("USERPROFILE");
  return home ? std::string(home) + "\\_netrc" : std::string();
}

}  // namespace

struct InternetRequest::Impl {
  std::string finalUrl;
  InternetHandle connection;  // the request's server (http) or none (ftp)
  InternetHandle request;
  bool isHttp = true;
  std::string statusText;
  bool hasLength = false;
  std::string lengthText;
  std::string contentType;  // the final answer's, as sent
  unsigned long long declared = 0;
  unsigned long long received = 0;
  bool ended = false;
  bool failed = false;
  std::string errorText;
  std::function<bool()> stopCheck;
  DWORD stallMs = 0;

  // A compressed answer (gzip or deflate), decoded as it is read.
  std::unique_ptr<z_stream> decoder;
  char wireBuffer[1024];
  bool wireEnded = false;
  bool streamEnded = false;

  ~Impl() {
    if (decoder) inflateEnd(decoder.get());
  }

  // Starts decoding when the answer says it is compressed.
  bool StartDecoding(const std::wstring& coding) {
    const std::wstring lower = LowerCase(coding);
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

namespace {

// What opening an address gave: the request, else why there is none.
struct Opened {
  std::unique_ptr<InternetRequest::Impl> request;
  Failure failure;
};

Opened Refused(Failure failure) { return {nullptr, std::move(failure)}; }

}  // namespace

struct InternetSession::Impl {
  InternetHandle internet;
  DWORD connectMs = 0;
  DWORD stallMs = 0;
  std::function<bool()> stopCheck;
  std::wstring agent;

  // The library's session with the system's proxy settings, as the user
  // made them, and the timeouts.
  bool Start() {
    internet = InternetHandle(
        ::InternetOpenW(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!internet.get()) return false;
    SetTimeouts(internet.get(), connectMs, stallMs);
    return true;
  }

  // Connecting and then the answer's wait, each within its own limit.
  DWORD AnswerMs() const { return connectMs + stallMs; }

  Failure WaitFailure(WaitEnd end, std::chrono::steady_clock::duration waited = {}) const {
    if (end == WaitEnd::kStopped) return {InternetFailure::kStopped, "Stopped"};
    if (end == WaitEnd::kTimedOut)
      return {InternetFailure::kTimedOut, "No answer within " + std::to_string(AnswerMs()) + " ms"};
    Failure failure = LastFailure();
    // Wine ends the wait for a silent server with "no answer" rather than
    // a timeout; a server that closed without a word would have done so at
    // once.
    if (failure.cause == InternetFailure::kNoAnswer && waited >= std::chrono::milliseconds(stallMs))
      failure.cause = InternetFailure::kTimedOut;
    return failure;
  }

  Opened Open(const std::string& url);
  Opened OpenFtp(const std::string& url);
  Opened OpenHttp(const std::string& url, const AddressParts& typed);
  std::optional<Failure> Send(InternetRequest::Impl& r, const AddressParts& target,
                              const std::wstring& extraHeaders);
  std::optional<Failure> AnswerLogin(InternetRequest::Impl& r, const AddressParts& target,
                                     const AddressParts& typed);
};

InternetSession::InternetSession() = default;
InternetSession::~InternetSession() { Close(); }

bool InternetSession::Open(const std::string& agent, std::string* why) {
  Close();
  auto impl = std::make_unique<Impl>();
  impl->agent = Widen(agent);
  const InternetTimeouts timeouts = CurrentInternetTimeouts();
  impl->connectMs = static_cast<DWORD>(timeouts.connectMs);
  impl->stallMs = static_cast<DWORD>(timeouts.stallMs);
  if (!impl->Start()) {
    if (why) *why = LastErrorText();
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
  if (cause) *cause = InternetFailure::kNone;
  Opened opened =
      m_impl ? m_impl->Open(url) : Refused({InternetFailure::kOther, "No Internet session"});
  if (!opened.request) {
    if (why) *why = std::move(opened.failure.text);
    if (cause) *cause = opened.failure.cause;
    return nullptr;
  }
  return std::unique_ptr<InternetRequest>(new InternetRequest(std::move(opened.request)));
}

Opened InternetSession::Impl::Open(const std::string& url) {
  const std::wstring address = Widen(url);
  // The scheme first: "file:///x" has no host to crack, yet its fault is
  // being no address this session fetches.
  const std::wstring scheme = wininet::SchemeOf(address);
  if (!scheme.empty() && !wininet::IsFetchedScheme(scheme))
    return Refused(
        {InternetFailure::kUnsupportedAddress, "Protocol not supported: " + Narrow(scheme)});
  AddressParts typed;
  if (!wininet::CrackAddress(address, typed))
    return Refused({InternetFailure::kBadAddress, "The address is not valid"});
  // Credentials in the address win over the netrc file's.
  if (!typed.hasCredentials)
    if (const auto netrc = ChosenNetrcLogin(Narrow(typed.host), DefaultNetrcFile())) {
      typed.user = Widen(netrc->login);
      typed.password = Widen(netrc->password);
      typed.hasCredentials = true;
    }
  if (!wininet::IsFetchedScheme(typed.scheme))
    return Refused(
        {InternetFailure::kUnsupportedAddress, "Protocol not supported: " + Narrow(typed.scheme)});
  return typed.scheme == L"ftp" ? OpenFtp(url) : OpenHttp(url, typed);
}

// The library fetches an ftp address whole; the file's size is its length.
Opened InternetSession::Impl::OpenFtp(const std::string& url) {
  auto r = std::make_unique<InternetRequest::Impl>();
  r->stopCheck = stopCheck;
  r->stallMs = stallMs;
  r->isHttp = false;
  const HINTERNET session = internet.get();
  const std::wstring address = Widen(url);
  // Giving up closes the session's handle, which ends the open; the
  // session makes a new one for the requests after it.
  CallResult opened;
  const WaitEnd end = WaitForCall(
      stopCheck, AnswerMs(), internet,
      [session, address] {
        const HINTERNET handle = ::InternetOpenUrlW(session, address.c_str(), nullptr, 0,
                                                    kRequestFlags | INTERNET_FLAG_PASSIVE, 0);
        CallResult result = CallResultOf(handle != nullptr);
        result.handle = handle;
        return result;
      },
      opened);
  if (end == WaitEnd::kStopped || end == WaitEnd::kTimedOut) Start();
  if (end != WaitEnd::kDone) return Refused(WaitFailure(end));
  r->request = InternetHandle(opened.handle);
  DWORD high = 0;
  const DWORD low = ::FtpGetFileSize(r->request.get(), &high);
  if (low != INVALID_FILE_SIZE || ::GetLastError() == NO_ERROR) {
    r->hasLength = true;
    r->declared = (static_cast<unsigned long long>(high) << 32) | low;
    r->lengthText = std::to_string(r->declared);
  }
  r->finalUrl = url;
  return {std::move(r), {}};
}

// Redirects are followed here rather than by the library, so that each
// target is checked: http, https and ftp only, and the address's
// credentials go to its own host alone.
Opened InternetSession::Impl::OpenHttp(const std::string& url, const AddressParts& typed) {
  auto r = std::make_unique<InternetRequest::Impl>();
  r->stopCheck = stopCheck;
  r->stallMs = stallMs;
  std::wstring address = Widen(url);
  AddressParts target = typed;
  for (int hop = 0;; ++hop) {
    r->request.Reset();
    r->connection =
        InternetHandle(::InternetConnectW(internet.get(), target.host.c_str(), target.port, nullptr,
                                          nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!r->connection.get()) return Refused(LastFailure());
    if (std::optional<Failure> failure = Send(*r, target, {})) return Refused(std::move(*failure));
    const bool sameHost =
        LowerCase(target.host) == LowerCase(typed.host) && target.port == typed.port;
    if (sameHost && typed.hasCredentials && StatusOf(r->request.get()) == 401)
      if (std::optional<Failure> failure = AnswerLogin(*r, target, typed))
        return Refused(std::move(*failure));
    const DWORD status = StatusOf(r->request.get());
    if (!IsRedirect(status)) {
      r->statusText = std::to_string(status);
      break;
    }
    const std::wstring next = RedirectTarget(r->request.get(), address);
    if (next.empty()) {  // a redirect without a place to go is the answer
      r->statusText = std::to_string(status);
      break;
    }
    if (hop + 1 > kMaxRedirects)
      return Refused({InternetFailure::kTooManyRedirects, "Too many redirects"});
    AddressParts following;
    if (!wininet::CrackAddress(next, following) || !wininet::IsFetchedScheme(following.scheme))
      return Refused({InternetFailure::kRedirectNotFetched,
                      "A redirect named an address that is not fetched"});
    if (following.scheme == L"ftp") {
      r->Close();
      return Open(Narrow(next));
    }
    address = next;
    target = following;
  }

  wchar_t length[32];
  DWORD size = sizeof length;
  if (::HttpQueryInfoW(r->request.get(), HTTP_QUERY_CONTENT_LENGTH, length, &size, nullptr)) {
    r->hasLength = true;
    r->lengthText = Narrow(std::wstring_view(length, size / sizeof(wchar_t)));
    r->declared = std::strtoull(r->lengthText.c_str(), nullptr, 10);
  }
  wchar_t type[256];
  size = sizeof type;
  if (::HttpQueryInfoW(r->request.get(), HTTP_QUERY_CONTENT_TYPE, type, &size, nullptr))
    r->contentType = Narrow(std::wstring_view(type, size / sizeof(wchar_t)));
  wchar_t coding[64];
  size = sizeof coding;
  if (::HttpQueryInfoW(r->request.get(), HTTP_QUERY_CONTENT_ENCODING, coding, &size, nullptr) &&
      !r->StartDecoding(std::wstring(coding, size / sizeof(wchar_t))))
    return Refused({InternetFailure::kOther, "Cannot decode the compressed answer"});
  // Where the answer came from: the address as typed when nothing was
  // followed, else where the redirects led, without a fragment.
  r->finalUrl = Narrow(address) == url ? url : Narrow(address.substr(0, address.find(L'#')));
  return {std::move(r), {}};
}

// Sends a GET for `target` on the request's connection, with
// `extraHeaders` (each ending in CR LF), and waits for the answer's
// headers. nullopt when they came.
std::optional<Failure> InternetSession::Impl::Send(InternetRequest::Impl& r,
                                                   const AddressParts& target,
                                                   const std::wstring& extraHeaders) {
  const auto start = std::chrono::steady_clock::now();
  DWORD flags = kHttpFlags;
  if (target.secure) flags |= INTERNET_FLAG_SECURE;
  r.request =
      InternetHandle(::HttpOpenRequestW(r.connection.get(), L"GET", target.pathAndQuery.c_str(),
                                        nullptr, nullptr, nullptr, flags, 0));
  if (!r.request.get())
    return WaitFailure(WaitEnd::kFailed, std::chrono::steady_clock::now() - start);
  // Compressed answers are asked for and decoded here, since the library's
  // own decoding hides how many bytes came.
  const std::wstring headers =
      L"Cache-Control: no-cache\r\nAccept-Encoding: gzip, deflate\r\n" + extraHeaders;
  SetTimeouts(r.request.get(), connectMs, stallMs);
  const HINTERNET request = r.request.get();
  CallResult sent;
  const WaitEnd end = WaitForCall(
      stopCheck, AnswerMs(), r.request,
      [request, headers] {
        return CallResultOf(::HttpSendRequestW(request, headers.c_str(),
                                               static_cast<DWORD>(headers.size()), nullptr, 0));
      },
      sent);
  if (end == WaitEnd::kDone) return std::nullopt;
  return WaitFailure(end, std::chrono::steady_clock::now() - start);
}

// Answers the 401 the request got with the credentials of the address as
// typed (or of the netrc file), once: the answer after it is the request's.
// Digest when the server offers it, since Basic shows the password to
// anyone on the way. nullopt when the answer came, whatever it says.
std::optional<Failure> InternetSession::Impl::AnswerLogin(InternetRequest::Impl& r,
                                                          const AddressParts& target,
                                                          const AddressParts& typed) {
  const std::string user = Narrow(typed.user), password = Narrow(typed.password);
  const std::string uri = Narrow(target.pathAndQuery);
  auto digestAnswer = [&](const DigestChallenge& challenge) {
    return DigestAuthorization(challenge, {"GET", uri, user, password, NewClientNonce(), 1});
  };
  const std::vector<AuthChallenge> challenges = ChallengesOf(r.request.get());
  const std::optional<DigestChallenge> digest = UsableDigest(challenges);
  std::optional<std::string> authorization;
  if (digest)
    authorization = digestAnswer(*digest);
  else if (OffersBasic(challenges))
    authorization = BasicAuthorization(user, password);
  for (bool renewed = false; authorization; renewed = true) {
    if (std::optional<Failure> failure =
            Send(r, target, L"Authorization: " + Widen(*authorization) + L"\r\n"))
      return failure;
    authorization.reset();
    // An expired nonce is no refusal: the same credentials once more, with
    // the new one.
    if (digest && !renewed && StatusOf(r.request.get()) == 401)
      if (const auto fresh = UsableDigest(ChallengesOf(r.request.get())); fresh && fresh->stale)
        authorization = digestAnswer(*fresh);
  }
  return std::nullopt;
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

const std::string& InternetRequest::ContentType() const { return m_impl->contentType; }

namespace {

// Up to `size` body bytes as the server sent them; 0 at their end
// (`wireEnded`) or on a failure (`failed`).
size_t ReadWire(InternetRequest::Impl& r, char* buffer, size_t size) {
  // A read waits until the buffer is full; asking for no more than has
  // arrived hands over what came before a broken connection.
  const HINTERNET request = r.request.get();
  CallResult queried;
  const WaitEnd end = WaitForCall(
      r.stopCheck, r.stallMs, r.request,
      [request] {
        DWORD available = 0;
        CallResult result = CallResultOf(::InternetQueryDataAvailable(request, &available, 0, 0));
        result.count = available;
        return result;
      },
      queried);
  const DWORD available = queried.count;
  if (end != WaitEnd::kDone) {
    r.Fail(end == WaitEnd::kStopped    ? std::string("Stopped")
           : end == WaitEnd::kTimedOut ? "No data received for " + std::to_string(r.stallMs) + " ms"
                                       : LastErrorText());
    return 0;
  }
  DWORD n = 0;
  const DWORD want = static_cast<DWORD>(std::min<size_t>(size, std::max<DWORD>(available, 1)));
  if (!::InternetReadFile(r.request.get(), buffer, want, &n)) {
    r.Fail(LastErrorText());
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
      const size_t got = ReadWire(r, r.wireBuffer, sizeof r.wireBuffer);
      if (r.failed) return 0;
      z.next_in = reinterpret_cast<Bytef*>(r.wireBuffer);
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
  if (r.failed || r.ended || size == 0 || !r.request.get()) return 0;
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

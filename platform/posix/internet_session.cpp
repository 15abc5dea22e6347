#include "platform/internet_session.h"

// Only the library's types and constants: its functions are looked up when
// the first session opens (see LibraryReady), and the type-checking macros
// would stand in the way of calling them through pointers.
#define CURL_DISABLE_TYPECHECK
#include <curl/curl.h>
#include <dlfcn.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <optional>
#include <utility>

#include "platform/file_system.h"
#include "platform/internet_limits.h"
#include "platform/netrc.h"

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

// What the library reads from the connection at a time: the 16 KB it
// takes by default cost a pass through the transfer loop, and a pause, for
// every 16 KB of a large page.
constexpr long kReceiveBytes = 128 * 1024;
// Body bytes held while nobody reads; the transfer pauses beyond this.
constexpr size_t kHeldBytes = 2 * kReceiveBytes;
// How long one wait for the server lasts at most while a stop check is set,
// so that a stop is noticed at once.
constexpr int kStopCheckMs = 50;

// libcurl and the many libraries it needs (TLS, Kerberos, LDAP, ...) cost a
// few milliseconds to load and bind, a tenth of a local harvest that never
// goes near the network. They are loaded when the first session opens.
#define VIMBEL_CURL_FUNCTIONS(X) \
  X(curl_easy_cleanup)           \
  X(curl_easy_getinfo)           \
  X(curl_easy_init)              \
  X(curl_easy_pause)             \
  X(curl_easy_setopt)            \
  X(curl_easy_strerror)          \
  X(curl_free)                   \
  X(curl_global_init)            \
  X(curl_multi_add_handle)       \
  X(curl_multi_cleanup)          \
  X(curl_multi_info_read)        \
  X(curl_multi_init)             \
  X(curl_multi_perform)          \
  X(curl_multi_poll)             \
  X(curl_multi_remove_handle)    \
  X(curl_multi_strerror)         \
  X(curl_slist_append)           \
  X(curl_slist_free_all)         \
  X(curl_url)                    \
  X(curl_url_cleanup)            \
  X(curl_url_get)                \
  X(curl_url_set)

struct CurlLibrary {
#define VIMBEL_CURL_POINTER(name) decltype(&::name) name = nullptr;
  VIMBEL_CURL_FUNCTIONS(VIMBEL_CURL_POINTER)
#undef VIMBEL_CURL_POINTER
};
CurlLibrary g_curl;

// The library's name as its runtime package installs it.
constexpr const char* kCurlLibrary = "libcurl.so.4";

// Loads the library and finds each function; false with the loader's reason.
bool LoadCurl(std::string& why) {
  void* handle = ::dlopen(kCurlLibrary, RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* error = ::dlerror();
    why = error ? error : kCurlLibrary;
    return false;
  }
  bool found = true;
#define VIMBEL_CURL_LOOKUP(name)                                                 \
  g_curl.name = reinterpret_cast<decltype(g_curl.name)>(::dlsym(handle, #name)); \
  if (!g_curl.name && found) {                                                   \
    found = false;                                                               \
    why = std::string(kCurlLibrary) + ": no " #name;                             \
  }
  VIMBEL_CURL_FUNCTIONS(VIMBEL_CURL_LOOKUP)
#undef VIMBEL_CURL_LOOKUP
  return found;
}

bool LibraryReady(std::string* why) {
  static std::once_flag once;
  static bool ready = false;
  static std::string failure;
  std::call_once(once, [] {
    if (!LoadCurl(failure)) return;
    const CURLcode result = g_curl.curl_global_init(CURL_GLOBAL_DEFAULT);
    ready = result == CURLE_OK;
    if (!ready) failure = g_curl.curl_easy_strerror(result);
  });
  if (!ready && why) *why = failure;
  return ready;
}

bool StartsWithNoCase(const char* text, size_t len, const char* prefix) {
  size_t n = std::strlen(prefix);
  if (len < n) return false;
  for (size_t i = 0; i < n; ++i) {
    char a = text[i], b = prefix[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (a != b) return false;
  }
  return true;
}

std::string Trimmed(const char* text, size_t len) {
  size_t begin = 0, end = len;
  while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
  while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t' || text[end - 1] == '\r' ||
                         text[end - 1] == '\n'))
    --end;
  return std::string(text + begin, end - begin);
}

// The multi handle, shared by the session and its requests so that neither
// can outlive it.
struct MultiHandle {
  CURLM* multi = nullptr;
  MultiHandle() : multi(g_curl.curl_multi_init()) {}
  ~MultiHandle() {
    if (multi) g_curl.curl_multi_cleanup(multi);
  }
};

// One answer's header block, as the header callback sees it.
struct HeaderBlock {
  int status = 0;
  bool hasLength = false;
  std::string length;
  bool encoded = false;  // a Content-Encoding other than identity
};

// The netrc file's login for the host of `url` when the address carries no
// credentials of its own, which win. The address is taken apart as the
// library will take it when it fetches it.
std::optional<NetrcLogin> NetrcLoginWanted(const std::string& url) {
  CURLU* parts = g_curl.curl_url();
  if (!parts) return std::nullopt;
  std::optional<NetrcLogin> login;
  char* host = nullptr;
  char* user = nullptr;
  char* password = nullptr;
  if (g_curl.curl_url_set(parts, CURLUPART_URL, url.c_str(),
                          CURLU_GUESS_SCHEME | CURLU_NON_SUPPORT_SCHEME) == CURLUE_OK &&
      g_curl.curl_url_get(parts, CURLUPART_HOST, &host, 0) == CURLUE_OK &&
      g_curl.curl_url_get(parts, CURLUPART_USER, &user, 0) == CURLUE_NO_USER &&
      g_curl.curl_url_get(parts, CURLUPART_PASSWORD, &password, 0) == CURLUE_NO_PASSWORD)
    login = ChosenNetrcLogin(host, HomeFolder() + ".netrc");
  g_curl.curl_free(password);
  g_curl.curl_free(user);
  g_curl.curl_free(host);
  g_curl.curl_url_cleanup(parts);
  return login;
}

}  // namespace

struct InternetSession::Impl {
  std::shared_ptr<MultiHandle> multi;
  std::string agent;
  std::function<bool()> stopCheck;
};

struct InternetRequest::Impl {
  std::shared_ptr<MultiHandle> multi;
  CURL* easy = nullptr;
  curl_slist* headers = nullptr;
  bool added = false;
  char errorBuffer[CURL_ERROR_SIZE] = {};
  long stallMs = InternetTimeouts{}.stallMs;
  std::function<bool()> stopCheck;

  // Body bytes delivered by the library and not yet read.
  std::string held;
  size_t readPos = 0;
  bool paused = false;
  bool bodyStarted = false;
  Clock::time_point lastActivity;

  // Headers of the answer being received, and of the last complete one.
  HeaderBlock current;
  HeaderBlock complete;
  bool inBlock = false;
  bool sawBlock = false;

  bool done = false;
  CURLcode result = CURLE_OK;
  std::string ownFailure;  // a failure the library did not report (stall, stop)

  bool failed = false;
  std::string errorText;

  bool isHttp = true;
  std::string statusText;
  bool hasLength = false;
  std::string lengthText;
  std::string contentType;  // the final answer's, as sent; empty without one

  std::string requestedUrl;
  std::string finalUrl;
  bool encoded = false;
  int64_t handedOut = 0;
  int64_t onWire = 0;

  ~Impl() { Close(); }

  void Close() {
    if (easy) {
      if (added && multi && multi->multi) g_curl.curl_multi_remove_handle(multi->multi, easy);
      g_curl.curl_easy_cleanup(easy);
      easy = nullptr;
    }
    added = false;
    if (headers) {
      g_curl.curl_slist_free_all(headers);
      headers = nullptr;
    }
    multi.reset();
  }

  size_t Held() const { return held.size() - readPos; }

  static size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto* self = static_cast<Impl*>(user);
    size_t len = size * count;
    self->lastActivity = Clock::now();
    self->bodyStarted = true;
    if (self->Held() > 0 && self->Held() + len > kHeldBytes) {
      // The library keeps this piece and offers it again after unpausing.
      self->paused = true;
      return CURL_WRITEFUNC_PAUSE;
    }
    if (self->readPos > 0) {
      self->held.erase(0, self->readPos);
      self->readPos = 0;
    }
    self->held.append(data, len);
    return len;
  }

  static size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    auto* self = static_cast<Impl*>(user);
    size_t len = size * count;
    self->lastActivity = Clock::now();
    if (StartsWithNoCase(data, len, "http/")) {
      self->current = HeaderBlock{};
      self->inBlock = true;
      size_t i = 5;
      while (i < len && data[i] != ' ') ++i;
      while (i < len && data[i] == ' ') ++i;
      int status = 0;
      for (; i < len && data[i] >= '0' && data[i] <= '9'; ++i)
        status = std::min(status * 10 + (data[i] - '0'), 999);
      self->current.status = status;
    } else if (self->inBlock) {
      std::string line = Trimmed(data, len);
      if (line.empty()) {
        self->complete = self->current;
        self->sawBlock = true;
        self->inBlock = false;
      } else if (StartsWithNoCase(line.data(), line.size(), "content-length:")) {
        self->current.hasLength = true;
        self->current.length = Trimmed(line.data() + 15, line.size() - 15);
      } else if (StartsWithNoCase(line.data(), line.size(), "content-encoding:")) {
        std::string coding = Trimmed(line.data() + 17, line.size() - 17);
        self->current.encoded =
            !coding.empty() &&
            !(coding.size() == 8 && StartsWithNoCase(coding.data(), coding.size(), "identity"));
      }
    }
    return len;
  }

  void CollectDone() {
    int queued = 0;
    while (CURLMsg* msg = g_curl.curl_multi_info_read(multi->multi, &queued)) {
      if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy) {
        done = true;
        result = msg->data.result;
      }
    }
  }

  // Runs the transfer until body bytes are held or it has ended. A stall
  // (no byte, header or body, for stallMs) ends it as a failure. Time spent
  // paused outside this call does not count.
  void Pump() {
    lastActivity = Clock::now();
    while (Held() == 0 && !done) {
      if (paused) {
        paused = false;
        g_curl.curl_easy_pause(easy, CURLPAUSE_CONT);  // may deliver at once
        continue;
      }
      int running = 0;
      CURLMcode mc = g_curl.curl_multi_perform(multi->multi, &running);
      if (mc != CURLM_OK) {
        done = true;
        result = CURLE_FAILED_INIT;
        ownFailure = g_curl.curl_multi_strerror(mc);
        return;
      }
      CollectDone();
      if (Held() > 0 || done) return;
      auto idle =
          std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - lastActivity);
      if (idle.count() >= stallMs) {
        done = true;
        result = CURLE_OPERATION_TIMEDOUT;
        ownFailure = "No data received for " + std::to_string(stallMs) + " ms";
        return;
      }
      if (stopCheck && stopCheck()) {
        done = true;
        result = CURLE_ABORTED_BY_CALLBACK;
        ownFailure = "Stopped";
        return;
      }
      int waitMs = static_cast<int>(std::min<long>(stallMs - idle.count(), 1000));
      if (stopCheck) waitMs = std::min(waitMs, kStopCheckMs);
      g_curl.curl_multi_poll(multi->multi, nullptr, 0, std::max(waitMs, 1), nullptr);
    }
  }

  InternetFailure FailureCause() const {
    switch (result) {
      case CURLE_OK:
        return InternetFailure::kNone;
      case CURLE_ABORTED_BY_CALLBACK:
        return InternetFailure::kStopped;
      case CURLE_URL_MALFORMAT:
        return InternetFailure::kBadAddress;
      case CURLE_UNSUPPORTED_PROTOCOL:
        // After a redirect the address the user gave was fine; the one the
        // server sent is not fetched.
        return sawBlock && complete.status >= 300 && complete.status <= 399
                   ? InternetFailure::kRedirectNotFetched
                   : InternetFailure::kUnsupportedAddress;
      case CURLE_COULDNT_RESOLVE_HOST:
        return InternetFailure::kHostNotFound;
      case CURLE_COULDNT_CONNECT: {
        long osErrno = 0;
        g_curl.curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &osErrno);
        return osErrno == ECONNREFUSED ? InternetFailure::kRefused : InternetFailure::kUnreachable;
      }
      case CURLE_OPERATION_TIMEDOUT:
        return InternetFailure::kTimedOut;
      case CURLE_PEER_FAILED_VERIFICATION:
        return InternetFailure::kCertificate;
      case CURLE_SSL_CONNECT_ERROR:
      case CURLE_SSL_ENGINE_NOTFOUND:
      case CURLE_SSL_ENGINE_SETFAILED:
      case CURLE_SSL_CERTPROBLEM:
      case CURLE_SSL_CIPHER:
      case CURLE_SSL_ENGINE_INITFAILED:
      case CURLE_SSL_CACERT_BADFILE:
      case CURLE_SSL_SHUTDOWN_FAILED:
      case CURLE_SSL_CRL_BADFILE:
      case CURLE_SSL_ISSUER_ERROR:
      case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
      case CURLE_SSL_INVALIDCERTSTATUS:
      case CURLE_SSL_CLIENTCERT:
      case CURLE_USE_SSL_FAILED:
        return InternetFailure::kTls;
      case CURLE_TOO_MANY_REDIRECTS:
        return InternetFailure::kTooManyRedirects;
      case CURLE_COULDNT_RESOLVE_PROXY:
      case CURLE_PROXY:
        return InternetFailure::kProxy;
      case CURLE_GOT_NOTHING:
        return InternetFailure::kNoAnswer;
      default:
        return InternetFailure::kOther;
    }
  }

  std::string FailureText() const {
    if (!ownFailure.empty()) return ownFailure;
    if (errorBuffer[0] != '\0') return Trimmed(errorBuffer, std::strlen(errorBuffer));
    return g_curl.curl_easy_strerror(result);
  }

  // Where the answer came from, with the address as requested kept as it
  // was typed when nothing was followed.
  void SettleFinalUrl() {
    long redirects = 0;
    const char* effective = nullptr;
    g_curl.curl_easy_getinfo(easy, CURLINFO_REDIRECT_COUNT, &redirects);
    g_curl.curl_easy_getinfo(easy, CURLINFO_EFFECTIVE_URL, &effective);
    if (redirects > 0 && effective && *effective) {
      finalUrl = effective;
      finalUrl.erase(std::min(finalUrl.find('#'), finalUrl.size()));
    } else {
      finalUrl = requestedUrl;
    }
  }

  // Keeps the wire count in step with what Read has handed out.
  void CountWireBytes() {
    if (!encoded) {
      onWire = handedOut;
      return;
    }
    curl_off_t size = 0;
    if (easy && g_curl.curl_easy_getinfo(easy, CURLINFO_SIZE_DOWNLOAD_T, &size) == CURLE_OK)
      onWire = static_cast<int64_t>(size);
  }

  // What the request shows once the answer is known.
  void SettleAnswer() {
    SettleFinalUrl();
    const char* scheme = nullptr;
    g_curl.curl_easy_getinfo(easy, CURLINFO_SCHEME, &scheme);
    isHttp = scheme == nullptr || StartsWithNoCase(scheme, std::strlen(scheme), "http");
    if (isHttp) {
      int status = sawBlock ? complete.status : 0;
      if (status == 0) {
        long code = 0;
        g_curl.curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &code);
        status = static_cast<int>(code);
      }
      statusText = std::to_string(status);
      hasLength = sawBlock && complete.hasLength;
      lengthText = hasLength ? complete.length : std::string();
      encoded = sawBlock && complete.encoded;
    } else {
      curl_off_t size = -1;
      g_curl.curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &size);
      hasLength = size >= 0;
      lengthText = hasLength ? std::to_string(static_cast<long long>(size)) : std::string();
    }
    char* type = nullptr;
    if (g_curl.curl_easy_getinfo(easy, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type)
      contentType = type;
  }
};

InternetSession::InternetSession() = default;
InternetSession::~InternetSession() { Close(); }

bool InternetSession::Open(const std::string& agent, std::string* why) {
  Close();
  if (!LibraryReady(why)) return false;
  auto impl = std::make_unique<Impl>();
  impl->multi = std::make_shared<MultiHandle>();
  if (!impl->multi->multi) {
    if (why) *why = "Cannot start an Internet session";
    return false;
  }
  impl->agent = agent;
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
  auto fail = [why, cause](std::string text, InternetFailure kind = InternetFailure::kOther) {
    if (why) *why = std::move(text);
    if (cause) *cause = kind;
    return nullptr;
  };
  if (cause) *cause = InternetFailure::kNone;
  if (!m_impl) return fail("No Internet session");

  auto r = std::make_unique<InternetRequest::Impl>();
  r->multi = m_impl->multi;
  r->easy = g_curl.curl_easy_init();
  if (!r->easy) return fail("Cannot start a request");
  const InternetTimeouts timeouts = CurrentInternetTimeouts();
  r->stallMs = timeouts.stallMs;
  r->stopCheck = m_impl->stopCheck;

  r->headers = g_curl.curl_slist_append(r->headers, "Cache-Control: no-cache");
  r->headers = g_curl.curl_slist_append(r->headers, "Pragma: no-cache");

  CURL* e = r->easy;
  r->requestedUrl = url;
  CURLcode rc = g_curl.curl_easy_setopt(e, CURLOPT_URL, url.c_str());
  if (rc != CURLE_OK)
    return fail(g_curl.curl_easy_strerror(rc),
                rc == CURLE_URL_MALFORMAT ? InternetFailure::kBadAddress : InternetFailure::kOther);
  g_curl.curl_easy_setopt(e, CURLOPT_ERRORBUFFER, r->errorBuffer);
  g_curl.curl_easy_setopt(e, CURLOPT_USERAGENT, m_impl->agent.c_str());
  g_curl.curl_easy_setopt(e, CURLOPT_HTTPHEADER, r->headers);
  // Set at all, this also decodes an answer compressed without being asked.
  g_curl.curl_easy_setopt(e, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
  g_curl.curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https,ftp");
  g_curl.curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https,ftp");
  g_curl.curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
  g_curl.curl_easy_setopt(e, CURLOPT_MAXREDIRS, static_cast<long>(kMaxRedirects));
  g_curl.curl_easy_setopt(e, CURLOPT_HTTPAUTH, static_cast<long>(CURLAUTH_BASIC | CURLAUTH_DIGEST));
  // Credentials from the address, or from the netrc file, go to its own
  // host only, never to the host a redirect names.
  g_curl.curl_easy_setopt(e, CURLOPT_UNRESTRICTED_AUTH, 0L);
  // The netrc file is read here rather than by the library, so that both
  // systems read it alike; the library's own reader would also hand a
  // redirect's host the file's entry for it.
  if (const std::optional<NetrcLogin> netrc = NetrcLoginWanted(url)) {
    g_curl.curl_easy_setopt(e, CURLOPT_USERNAME, netrc->login.c_str());
    g_curl.curl_easy_setopt(e, CURLOPT_PASSWORD, netrc->password.c_str());
  }
  g_curl.curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, timeouts.connectMs);
  g_curl.curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  // A proxy's own answer to CONNECT is not the page's answer.
  g_curl.curl_easy_setopt(e, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  g_curl.curl_easy_setopt(e, CURLOPT_BUFFERSIZE, kReceiveBytes);
  g_curl.curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &InternetRequest::Impl::OnBody);
  g_curl.curl_easy_setopt(e, CURLOPT_WRITEDATA, r.get());
  g_curl.curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &InternetRequest::Impl::OnHeader);
  g_curl.curl_easy_setopt(e, CURLOPT_HEADERDATA, r.get());

  if (g_curl.curl_multi_add_handle(r->multi->multi, e) != CURLM_OK)
    return fail("Cannot start a request");
  r->added = true;

  r->Pump();
  if (r->done && r->result != CURLE_OK && r->Held() == 0) {
    // A 2xx answer whose body broke off before its first byte is still an
    // answer: the read reports the failure. Anything else never answered.
    bool answered =
        !r->bodyStarted && r->sawBlock && r->complete.status >= 200 && r->complete.status <= 299;
    if (!answered) return fail(r->FailureText(), r->FailureCause());
  }
  r->SettleAnswer();
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

const std::string& InternetRequest::ContentType() const { return m_impl->contentType; }

size_t InternetRequest::Read(char* buffer, size_t size) {
  Impl& r = *m_impl;
  if (r.failed || size == 0) return 0;
  if (r.Held() == 0 && !r.done && r.easy) r.Pump();
  if (r.Held() > 0) {
    size_t n = std::min(size, r.Held());
    std::memcpy(buffer, r.held.data() + r.readPos, n);
    r.readPos += n;
    r.handedOut += static_cast<int64_t>(n);
    r.CountWireBytes();
    return n;
  }
  r.CountWireBytes();
  if (r.done && r.result != CURLE_OK) {
    r.failed = true;
    r.errorText = r.FailureText();
  }
  return 0;
}

const std::string& InternetRequest::FinalUrl() const { return m_impl->finalUrl; }

int64_t InternetRequest::BodyBytesOnWire() const { return m_impl->onWire; }

bool InternetRequest::Failed() const { return m_impl->failed; }

const std::string& InternetRequest::ErrorText() const { return m_impl->errorText; }

void InternetRequest::Close() { m_impl->Close(); }

}  // namespace platform

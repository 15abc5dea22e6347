#include "tests/support/http_server.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/hashes.h"
#include "platform/http_digest.h"
#include "tests/support/loopback_socket.h"

namespace test {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr size_t kMaxRequestHead = 64 * 1024;
constexpr auto kRequestTimeout = 5s;
constexpr auto kServerLifetime = 10min;

const char* Reason(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 203:
      return "Non-Authoritative Information";
    case 206:
      return "Partial Content";
    case 301:
      return "Moved Permanently";
    case 302:
      return "Found";
    case 303:
      return "See Other";
    case 307:
      return "Temporary Redirect";
    case 401:
      return "Unauthorized";
    case 403:
      return "Forbidden";
    case 404:
      return "Not Found";
    case 500:
      return "Internal Server Error";
    default:
      return "Status";
  }
}

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

std::string Base64(const std::string& in) {
  static const char kTable[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < in.size(); i += 3) {
    unsigned v = (static_cast<unsigned char>(in[i]) << 16) |
                 (static_cast<unsigned char>(in[i + 1]) << 8) |
                 static_cast<unsigned char>(in[i + 2]);
    out += kTable[(v >> 18) & 63];
    out += kTable[(v >> 12) & 63];
    out += kTable[(v >> 6) & 63];
    out += kTable[v & 63];
  }
  if (i + 1 == in.size()) {
    unsigned v = static_cast<unsigned char>(in[i]) << 16;
    out += kTable[(v >> 18) & 63];
    out += kTable[(v >> 12) & 63];
    out += "==";
  } else if (i + 2 == in.size()) {
    unsigned v =
        (static_cast<unsigned char>(in[i]) << 16) | (static_cast<unsigned char>(in[i + 1]) << 8);
    out += kTable[(v >> 18) & 63];
    out += kTable[(v >> 12) & 63];
    out += kTable[(v >> 6) & 63];
    out += '=';
  }
  return out;
}

// Reads the request head (up to the blank line), bounded in size and time.
bool ReadHead(int fd, const std::atomic<bool>& stopping, std::string& head) {
  auto deadline = Clock::now() + kRequestTimeout;
  char buf[4096];
  while (head.find("\r\n\r\n") == std::string::npos) {
    if (stopping || Clock::now() > deadline || head.size() > kMaxRequestHead) return false;
    pollfd p{fd, POLLIN, 0};
    int ready = poll(&p, 1, 50);
    if (ready < 0 && errno != EINTR) return false;
    if (ready <= 0) continue;
    ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n <= 0) return false;
    head.append(buf, static_cast<size_t>(n));
  }
  return true;
}

// `body` compressed in the zlib format, or in gzip's.
std::string Compressed(const std::string& body, bool gzip) {
  z_stream z{};
  if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, gzip ? 31 : 15, 8, Z_DEFAULT_STRATEGY) !=
      Z_OK)
    return std::string();
  std::string out(deflateBound(&z, static_cast<uLong>(body.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.data()));
  z.avail_in = static_cast<uInt>(body.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const bool done = deflate(&z, Z_FINISH) == Z_STREAM_END;
  out.resize(z.total_out);
  deflateEnd(&z);
  return done ? out : std::string();
}

HttpRequestRecord ParseHead(const std::string& head) {
  HttpRequestRecord rec;
  size_t lineEnd = head.find("\r\n");
  std::string first = head.substr(0, lineEnd);
  size_t sp1 = first.find(' ');
  size_t sp2 = first.find(' ', sp1 == std::string::npos ? 0 : sp1 + 1);
  if (sp1 != std::string::npos) {
    rec.method = first.substr(0, sp1);
    rec.target =
        first.substr(sp1 + 1, sp2 == std::string::npos ? std::string::npos : sp2 - sp1 - 1);
  }
  rec.path = rec.target.substr(0, rec.target.find('?'));
  size_t pos = lineEnd + 2;
  while (pos < head.size()) {
    size_t end = head.find("\r\n", pos);
    if (end == std::string::npos || end == pos) break;
    std::string line = head.substr(pos, end - pos);
    size_t colon = line.find(':');
    if (colon != std::string::npos) {
      size_t v = colon + 1;
      while (v < line.size() && line[v] == ' ') ++v;
      rec.headers[Lower(line.substr(0, colon))] = line.substr(v);
    }
    pos = end + 2;
  }
  return rec;
}

constexpr const char* kDigestRealm = "vimbel test";
constexpr const char* kDigestOpaque = "opaque/value";
// Quoted values with commas and spaces, as real nonces may be.
constexpr const char* kStaleNonce = "old, spent";
constexpr const char* kFreshNonce = "fresh, 2";

enum class DigestCheck { kRefused, kStale, kAccepted };

// The user a Digest answer names: "username", or "username*" as
// UTF-8''<percent-encoded>.
std::optional<std::string> UserOf(const platform::AuthChallenge& answer) {
  if (const std::string* plain = answer.Param("username")) return *plain;
  const std::string* extended = answer.Param("username*");
  const std::string prefix = "UTF-8''";
  if (!extended || Lower(extended->substr(0, prefix.size())) != Lower(prefix)) return std::nullopt;
  std::string user;
  for (size_t i = prefix.size(); i < extended->size(); ++i) {
    const std::string hex = extended->substr(i + 1, 2);
    char* end = nullptr;
    const long byte = std::strtol(hex.c_str(), &end, 16);
    if ((*extended)[i] == '%' && hex.size() == 2 && end == hex.c_str() + 2) {
      user += static_cast<char>(byte);
      i += 2;
    } else {
      user += (*extended)[i];
    }
  }
  return user;
}

// Checks a Digest answer the way a server computes it, from the demand's
// own credentials.
DigestCheck CheckDigest(const HttpRoute::DigestDemand& demand, const HttpRequestRecord& request) {
  const auto header = request.headers.find("authorization");
  if (header == request.headers.end()) return DigestCheck::kRefused;
  const auto parsed = platform::ParseAuthChallenges(header->second);
  if (parsed.size() != 1 || parsed[0].scheme != "digest") return DigestCheck::kRefused;
  const auto param = [&](const char* name) {
    const std::string* value = parsed[0].Param(name);
    return value ? *value : std::string();
  };
  const std::string nonce = param("nonce");
  const bool sha256 = Lower(demand.algorithm).starts_with("sha-256");
  const auto hash = [&](const std::string& text) {
    return sha256 ? platform::Sha256Hex(text) : platform::Md5Hex(text);
  };
  std::string key = hash(demand.user + ":" + kDigestRealm + ":" + demand.password);
  if (Lower(demand.algorithm).ends_with("-sess"))
    key = hash(key + ":" + nonce + ":" + param("cnonce"));
  const std::string target = hash(request.method + ":" + request.target);
  const std::string expected = demand.qop
                                   ? hash(key + ":" + nonce + ":" + param("nc") + ":" +
                                          param("cnonce") + ":" + param("qop") + ":" + target)
                                   : hash(key + ":" + nonce + ":" + target);
  const bool right =
      UserOf(parsed[0]) == demand.user && param("realm") == kDigestRealm &&
      param("uri") == request.target && param("opaque") == kDigestOpaque &&
      Lower(param("algorithm")) == Lower(demand.algorithm) &&
      (demand.qop ? param("qop") == "auth" && !param("nc").empty() && !param("cnonce").empty()
                  : param("qop").empty()) &&
      param("response") == expected;
  if (!right) return DigestCheck::kRefused;
  if (nonce == kFreshNonce) return DigestCheck::kAccepted;
  return demand.staleFirst && nonce == kStaleNonce ? DigestCheck::kStale : DigestCheck::kRefused;
}

HttpRoute DigestRefusal(const HttpRoute::DigestDemand& demand, bool stale) {
  HttpRoute refused = HttpRoute::Page(401, "unauthorized\n");
  refused.headers.emplace_back("WWW-Authenticate", "Basic realm=\"vimbel test\"");
  std::string challenge = std::string("Digest realm=\"") + kDigestRealm + "\", nonce=\"" +
                          (demand.staleFirst && !stale ? kStaleNonce : kFreshNonce) +
                          "\", opaque=\"" + kDigestOpaque + "\"";
  if (!demand.algorithm.empty()) challenge += ", algorithm=" + demand.algorithm;
  if (demand.qop) challenge += ", qop=\"auth\"";
  if (stale) challenge += ", stale=true";
  refused.headers.emplace_back("WWW-Authenticate", challenge);
  return refused;
}

}  // namespace

HttpRoute HttpRoute::Page(int status, std::string body) {
  HttpRoute route;
  route.status = status;
  route.body = std::make_shared<const std::string>(std::move(body));
  return route;
}

HttpRoute HttpRoute::Redirect(std::string location, int status) {
  HttpRoute route;
  route.status = status;
  route.headers.emplace_back("Location", std::move(location));
  return route;
}

HttpRoute& HttpRoute::Body(std::string text) {
  body = std::make_shared<const std::string>(std::move(text));
  return *this;
}

HttpServer::HttpServer() = default;

HttpServer::~HttpServer() { Stop(); }

bool HttpServer::Start(const std::string& address) {
  m_listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (m_listenFd < 0) return false;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = 0;
  socklen_t len = sizeof addr;
  m_address = address;
  if (inet_pton(AF_INET, address.c_str(), &addr.sin_addr) != 1 ||
      bind(m_listenFd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(m_listenFd, 64) != 0 ||
      getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    close(m_listenFd);
    m_listenFd = -1;
    return false;
  }
  m_port = ntohs(addr.sin_port);
  m_stopping = false;
  m_acceptThread = std::thread([this] { AcceptLoop(); });
  return true;
}

void HttpServer::Stop() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stopping = true;
  }
  m_stopSignal.notify_all();
  if (m_acceptThread.joinable()) m_acceptThread.join();
  std::vector<std::thread> connections;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    connections.swap(m_connections);
  }
  for (auto& t : connections) t.join();
  if (m_listenFd >= 0) {
    close(m_listenFd);
    m_listenFd = -1;
  }
}

std::string HttpServer::Url(const std::string& path) const {
  return "http://" + m_address + ":" + std::to_string(m_port) + path;
}

void HttpServer::Route(const std::string& path, HttpRoute route) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_routes[path] = std::make_shared<const HttpRoute>(std::move(route));
}

size_t HttpServer::RequestCount() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_requests.size();
}

size_t HttpServer::RequestCount(const std::string& path) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return static_cast<size_t>(std::count_if(m_requests.begin(), m_requests.end(),
                                           [&](const auto& r) { return r.path == path; }));
}

std::vector<HttpRequestRecord> HttpServer::Requests() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_requests;
}

HttpRequestRecord HttpServer::LastRequest() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_requests.empty() ? HttpRequestRecord{} : m_requests.back();
}

void HttpServer::AcceptLoop() {
  auto deadline = Clock::now() + kServerLifetime;
  while (!m_stopping && Clock::now() < deadline) {
    pollfd p{m_listenFd, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    int fd = accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_connections.emplace_back([this, fd] { Serve(fd); });
  }
}

bool HttpServer::WaitUntilStopped(std::chrono::milliseconds limit) {
  std::unique_lock<std::mutex> lock(m_mutex);
  return m_stopSignal.wait_for(lock, limit, [this] { return m_stopping.load(); });
}

bool HttpServer::SendAll(int fd, const char* data, size_t size) {
  auto deadline = Clock::now() + m_stallLimit;
  while (size > 0) {
    if (m_stopping || Clock::now() > deadline) return false;
    pollfd p{fd, POLLOUT, 0};
    int ready = poll(&p, 1, 50);
    if (ready < 0 && errno != EINTR) return false;
    if (ready <= 0) continue;
    ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
    deadline = Clock::now() + m_stallLimit;
  }
  return true;
}

void HttpServer::Serve(int fd) {
  std::string head;
  if (!ReadHead(fd, m_stopping, head)) {
    close(fd);
    return;
  }
  HttpRequestRecord request = ParseHead(head);
  std::shared_ptr<const HttpRoute> route;
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.push_back(request);
    auto it = m_routes.find(request.path);
    if (it != m_routes.end()) route = it->second;
  }
  if (!route) route = std::make_shared<const HttpRoute>(HttpRoute::Page(404, "not found\n"));

  if (route->answerDelay.count() > 0) WaitUntilStopped(route->answerDelay);
  const HttpRoute* answer = route.get();
  HttpRoute refused;
  if (route->basicAuth) {
    auto it = request.headers.find("authorization");
    std::string expected =
        "Basic " + BasicAuthorization(route->basicAuth->first, route->basicAuth->second);
    if (it == request.headers.end() || it->second != expected) {
      refused = HttpRoute::Page(401, "unauthorized\n");
      refused.headers.emplace_back("WWW-Authenticate", "Basic realm=\"vimbel test\"");
      answer = &refused;
    }
  }
  if (route->digestAuth) {
    const DigestCheck check = CheckDigest(*route->digestAuth, request);
    if (check != DigestCheck::kAccepted) {
      refused = DigestRefusal(*route->digestAuth, check == DigestCheck::kStale);
      answer = &refused;
    }
  }

  std::string compressed;
  if (answer->coding != HttpRoute::Coding::kIdentity)
    compressed = Compressed(*answer->body, answer->coding == HttpRoute::Coding::kGzip);
  const std::string& body =
      answer->coding == HttpRoute::Coding::kIdentity ? *answer->body : compressed;
  std::string out =
      "HTTP/1.1 " + std::to_string(answer->status) + " " + Reason(answer->status) + "\r\n";
  for (const auto& [name, value] : answer->headers) out += name + ": " + value + "\r\n";
  if (answer->coding != HttpRoute::Coding::kIdentity)
    out += std::string("Content-Encoding: ") +
           (answer->coding == HttpRoute::Coding::kGzip ? "gzip" : "deflate") + "\r\n";
  switch (answer->framing) {
    case HttpRoute::Framing::kLength:
      out += "Content-Length: " + std::to_string(answer->declaredLength.value_or(body.size())) +
             "\r\n";
      break;
    case HttpRoute::Framing::kChunked:
      out += "Transfer-Encoding: chunked\r\n";
      break;
    case HttpRoute::Framing::kClose:
      break;
  }
  out += "Connection: close\r\n\r\n";

  size_t limit =
      answer->cut == HttpRoute::Cut::kNone ? body.size() : std::min(answer->cutAfter, body.size());
  bool ok = SendAll(fd, out.data(), out.size());
  if (answer->framing == HttpRoute::Framing::kChunked) {
    size_t piece = std::max<size_t>(answer->chunkSize, 1);
    for (size_t pos = 0; ok && pos < limit; pos += piece) {
      size_t n = std::min(piece, limit - pos);
      char size[32];
      std::snprintf(size, sizeof size, "%zx\r\n", n);
      std::string chunk = size + body.substr(pos, n) + "\r\n";
      ok = SendAll(fd, chunk.data(), chunk.size());
    }
    if (ok && answer->cut == HttpRoute::Cut::kNone) ok = SendAll(fd, "0\r\n\r\n", 5);
  } else if (ok) {
    const size_t early = limit - std::min(answer->lateBytes, limit);
    ok = SendAll(fd, body.data(), early);
    if (ok && early < limit) {
      WaitUntilStopped(std::chrono::milliseconds(200));
      ok = SendAll(fd, body.data() + early, limit - early);
    }
  }

  if (ok && answer->cut == HttpRoute::Cut::kStall) {
    WaitUntilStopped(m_stallLimit);
  } else if (ok && answer->cut == HttpRoute::Cut::kReset) {
    // Give the client time to take what was sent, so the reset cuts the
    // body where the route says rather than somewhere before.
    WaitUntilStopped(std::chrono::milliseconds(100));
    linger hard{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  } else if (ok) {
    shutdown(fd, SHUT_WR);
    // Let the client close first, so the answer is not cut by a reset
    // when unread request bytes remain.
    char sink[512];
    auto deadline = Clock::now() + 2s;
    while (!m_stopping && Clock::now() < deadline) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      if (recv(fd, sink, sizeof sink, 0) <= 0) break;
    }
  }
  close(fd);
}

int UnusedLoopbackPort() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  int port = 1;
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
    port = ntohs(addr.sin_port);
  close(fd);
  return port;
}

SilentLoopbackServer::SilentLoopbackServer() {
  m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (m_fd < 0) return;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  // The kernel completes connections into the backlog; nobody accepts them.
  if (bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 && listen(m_fd, 8) == 0 &&
      getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
    m_port = ntohs(addr.sin_port);
}

SilentLoopbackServer::~SilentLoopbackServer() {
  if (m_fd >= 0) close(m_fd);
}

std::string SilentLoopbackServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

std::string BasicAuthorization(const std::string& user, const std::string& password) {
  return Base64(user + ":" + password);
}

}  // namespace test

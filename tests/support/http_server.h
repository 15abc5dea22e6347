#pragma once
// A real HTTP/1.1 server on loopback for the tests: an ephemeral port, a
// background thread, one thread per connection, scripted answers. Every
// connection gets one answer and is closed. All waiting is bounded, and the
// server stops when it goes out of scope.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace test {

struct HttpRoute {
  enum class Framing {
    kLength,   // Content-Length (declaredLength, else the body's size)
    kChunked,  // Transfer-Encoding: chunked, pieces of chunkSize bytes
    kClose,    // no length at all: the body ends when the connection closes
  };
  enum class Coding {
    kIdentity,
    kGzip,     // Content-Encoding: gzip
    kDeflate,  // Content-Encoding: deflate (the zlib format)
  };
  enum class Cut {
    kNone,
    kReset,  // after cutAfter body bytes, the connection is reset (RST)
    kStall,  // after cutAfter body bytes, nothing more until the server stops
  };

  int status = 200;
  std::vector<std::pair<std::string, std::string>> headers;
  // Shared so that a large page is not copied per request.
  std::shared_ptr<const std::string> body = std::make_shared<const std::string>();
  Framing framing = Framing::kLength;
  // Sent compressed whatever the request accepts; lengths and cuts count
  // the compressed bytes.
  Coding coding = Coding::kIdentity;
  std::optional<size_t> declaredLength;
  size_t chunkSize = 16;
  Cut cut = Cut::kNone;
  size_t cutAfter = 0;
  // The body's last `lateBytes` (framing kLength or kClose) go out a while
  // after the rest, as a slow network's last segment would.
  size_t lateBytes = 0;
  // How long the server thinks before it answers, as a busy or distant
  // one would.
  std::chrono::milliseconds answerDelay{0};
  // When set, a request without these Basic credentials gets 401.
  std::optional<std::pair<std::string, std::string>> basicAuth;
  // When set, a request without a right Digest answer for these
  // credentials gets 401. Basic is offered too, first, and refused: a
  // client must prefer Digest.
  struct DigestDemand {
    std::string user;
    std::string password;
    std::string algorithm = "MD5";  // as the challenge names it; empty: not named
    bool qop = true;                // false: the oldest form, without qop
    bool staleFirst = false;        // the first right answer hears its nonce expired
  };
  std::optional<DigestDemand> digestAuth;

  static HttpRoute Page(int status, std::string body);
  static HttpRoute Redirect(std::string location, int status = 302);
  HttpRoute& Body(std::string text);
};

struct HttpRequestRecord {
  std::string method;
  std::string target;                          // as sent: path and query
  std::string path;                            // without the query
  std::map<std::string, std::string> headers;  // names in lower case
};

class HttpServer {
 public:
  HttpServer();
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Listens on `address` (a loopback IPv4 address: another one than
  // 127.0.0.1 is another host) at an ephemeral port. False when it cannot.
  bool Start(const std::string& address = "127.0.0.1");
  // Ends every connection (stalled ones too) and joins all threads.
  void Stop();

  int Port() const { return m_port; }
  // "http://<address>:<port>" followed by `path`.
  std::string Url(const std::string& path) const;

  // Answers requests for `path` (query ignored). Unknown paths get 404.
  void Route(const std::string& path, HttpRoute route);

  size_t RequestCount() const;
  size_t RequestCount(const std::string& path) const;
  std::vector<HttpRequestRecord> Requests() const;
  // The last request received; empty when there was none.
  HttpRequestRecord LastRequest() const;

  // A stalled answer waits at most this long before giving up by itself.
  std::chrono::milliseconds m_stallLimit{10'000};

 private:
  void AcceptLoop();
  void Serve(int fd);
  bool SendAll(int fd, const char* data, size_t size);
  bool WaitUntilStopped(std::chrono::milliseconds limit);

  int m_listenFd = -1;
  std::string m_address;
  int m_port = 0;
  std::atomic<bool> m_stopping{false};
  std::thread m_acceptThread;

  mutable std::mutex m_mutex;
  std::condition_variable m_stopSignal;
  std::map<std::string, std::shared_ptr<const HttpRoute>> m_routes;
  std::vector<HttpRequestRecord> m_requests;
  std::vector<std::thread> m_connections;
};

// A loopback port on which nothing listens (bound, then released).
int UnusedLoopbackPort();

// A loopback port that takes connections and never says a word, for as long
// as the object lives: a server that hangs before its answer.
class SilentLoopbackServer {
 public:
  SilentLoopbackServer();
  ~SilentLoopbackServer();
  SilentLoopbackServer(const SilentLoopbackServer&) = delete;
  SilentLoopbackServer& operator=(const SilentLoopbackServer&) = delete;
  std::string Url(const std::string& path) const;

 private:
  int m_fd = -1;
  int m_port = 0;
};

// Basic credentials as sent in an Authorization header's value.
std::string BasicAuthorization(const std::string& user, const std::string& password);

}  // namespace test

#pragma once
// The Internet session as the page download uses it: pull-shaped. Open a
// session, open an address (the answer's status and headers are known when
// that returns), read the body a small piece at a time, close. Memory does
// not grow with the page: the transfer waits while nobody reads.
//
// Redirects are followed and the final answer is what the request shows.
// Compressed answers (gzip, deflate) are asked for and decoded, and so is
// one that comes compressed unasked: the body reads as the page itself.
// Proxies come from the usual *_proxy variables. Requests bypass caches.
// User information in the address is sent as credentials (Basic, or Digest
// when the server asks for it) and never to another host after a redirect.
// http, https and ftp are served; nothing else is.
//
// Timeouts: a connect timeout and a stall timeout (no byte for a while),
// 30 s and 60 s, or both VIMBEL_TEST_TIMEOUT_MS milliseconds when that
// variable is set.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace platform {

// Why a request got no answer, in the kinds a user can tell apart and act
// on. kOther: a rarer cause, told only by the library's own text.
enum class InternetFailure {
  kNone,
  kOther,
  kBadAddress,          // the address is malformed
  kUnsupportedAddress,  // not http, https or ftp
  kHostNotFound,
  kRefused,
  kUnreachable,  // no route to the server
  kTimedOut,
  kCertificate,  // the server's certificate is not trusted
  kTls,          // the secure connection could not be made
  kTooManyRedirects,
  kRedirectNotFetched,  // a redirect to an address that is not fetched
  kProxy,
  kNoAnswer,  // the server closed the connection without a word
  kStopped,   // the stop check asked to give up
};

class InternetRequest;

// From now on, every request of the process also takes credentials for its
// host from a netrc file (`file`, or ~/.netrc when it is empty); credentials
// in the address win over the file's. The terminal's --netrc.
void UseNetrcFile(const std::string& file);

class InternetSession {
 public:
  InternetSession();
  ~InternetSession();
  InternetSession(const InternetSession&) = delete;
  InternetSession& operator=(const InternetSession&) = delete;

  // Prepares a session whose requests carry `agent` as their User-Agent.
  // False (with the cause in `why`) when the library cannot be set up.
  bool Open(const std::string& agent, std::string* why = nullptr);
  bool IsOpen() const;

  // Asked again and again while a request of this session waits for the
  // server (connecting, awaiting the answer, a stalled body); true gives up
  // the wait: the open fails with kStopped, or the read ends as failed.
  void SetStopCheck(std::function<bool()> check);

  // Requests `url` and waits until the final answer's status and headers
  // have arrived (or the body has ended). nullptr when no answer came: the
  // cause goes to `cause` and, in the library's words, to `why`. The
  // address's credentials never appear in `why`.
  std::unique_ptr<InternetRequest> OpenUrl(const std::string& url, std::string* why = nullptr,
                                           InternetFailure* cause = nullptr);

  // Ends the session. Requests opened through it must be closed first.
  void Close();

  struct Impl;

 private:
  std::unique_ptr<Impl> m_impl;
};

class InternetRequest {
 public:
  ~InternetRequest();
  InternetRequest(const InternetRequest&) = delete;
  InternetRequest& operator=(const InternetRequest&) = delete;

  // The status code as decimal text. False when the answer has none (ftp).
  bool QueryStatusCode(std::string& text) const;
  // The declared length as decimal text. False when none was declared.
  bool QueryContentLength(std::string& text) const;
  // The answer's Content-Type as sent; empty when it has none (ftp).
  const std::string& ContentType() const;
  // The address the answer came from: the address as requested when no
  // redirect was followed, else where the last redirect led (then it may
  // carry the request's user information, and never a fragment).
  const std::string& FinalUrl() const;
  // The body bytes received as the server sent them, before any decoding:
  // what a declared length counts. For an answer that is not encoded, the
  // bytes Read has handed out so far.
  int64_t BodyBytesOnWire() const;

  // Up to `size` bytes of the body. 0 at the end of the body, or when the
  // transfer failed: then Failed() is true and ErrorText() says why.
  size_t Read(char* buffer, size_t size);
  bool Failed() const;
  const std::string& ErrorText() const;

  // Ends the transfer; a destroyed request is closed too.
  void Close();

  struct Impl;
  explicit InternetRequest(std::unique_ptr<Impl> impl);

 private:
  std::unique_ptr<Impl> m_impl;
};

}  // namespace platform

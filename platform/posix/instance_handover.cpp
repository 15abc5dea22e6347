#include "platform/instance_handover.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

#include "platform/file_system.h"

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kAcknowledged = 'A';
// A path longer than the system's limit names no file the window can open.
constexpr size_t kMaxPath = PATH_MAX;

// The socket's address in the private folder; false when the folder is
// refused or the path does not fit an address.
bool SocketAddress(const std::string& name, sockaddr_un& address, std::string& path) {
  const std::optional<std::string> folder = TempFolder();
  if (!folder) return false;
  path = *folder + name + ".sock";
  address = sockaddr_un{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

bool PeerIsThisUser(int fd) {
  ucred peer{};
  socklen_t size = sizeof peer;
  return ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == ::geteuid();
}

int MillisecondsLeft(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// Waits until `fd` is ready for `events`; false when the deadline passes.
bool WaitFor(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    pollfd p{fd, events, 0};
    const int n = ::poll(&p, 1, MillisecondsLeft(deadline));
    if (n > 0) return true;
    if (n == 0 || errno != EINTR) return false;
  }
}

class OwnedFd {
 public:
  explicit OwnedFd(int fd) : m_fd(fd) {}
  ~OwnedFd() {
    if (m_fd >= 0) ::close(m_fd);
  }
  OwnedFd(const OwnedFd&) = delete;
  OwnedFd& operator=(const OwnedFd&) = delete;
  int get() const { return m_fd; }

 private:
  int m_fd;
};

}  // namespace

struct HandoverListener::Endpoint {
  int fd;
  std::string path;
};

HandoverListener::HandoverListener(std::unique_ptr<Endpoint> endpoint, WatchHandle handle)
    : m_endpoint(std::move(endpoint)), m_handle(handle) {}

std::unique_ptr<HandoverListener> HandoverListener::Listen(const std::string& name) {
  sockaddr_un address;
  std::string path;
  if (!SocketAddress(name, address, path)) return nullptr;
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return nullptr;
  ::unlink(path.c_str());
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::chmod(path.c_str(), 0600) != 0 || ::listen(fd, 8) != 0) {
    ::close(fd);
    ::unlink(path.c_str());
    return nullptr;
  }
  return std::unique_ptr<HandoverListener>(
      new HandoverListener(std::make_unique<Endpoint>(Endpoint{fd, path}), fd));
}

HandoverListener::~HandoverListener() {
  ::close(m_endpoint->fd);
  ::unlink(m_endpoint->path.c_str());
}

std::optional<std::string> HandoverListener::Accept() {
  int raw;
  do {
    raw = ::accept4(m_endpoint->fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
  } while (raw < 0 && errno == EINTR);
  if (raw < 0) return std::nullopt;
  const OwnedFd connection(raw);
  if (!PeerIsThisUser(raw)) return std::nullopt;

  // The whole path up to the sender's end of writing, within the wait.
  const auto deadline = Clock::now() + std::chrono::milliseconds(kHandoverWaitMs);
  std::string path;
  for (;;) {
    char buffer[1024];
    const ssize_t n = ::recv(raw, buffer, sizeof buffer, 0);
    if (n > 0) {
      path.append(buffer, static_cast<size_t>(n));
      if (path.size() > kMaxPath) return std::nullopt;
    } else if (n == 0) {
      break;
    } else if (errno == EINTR) {
      continue;
    } else if (errno != EAGAIN || !WaitFor(raw, POLLIN, deadline)) {
      return std::nullopt;
    }
  }
  if (path.empty() || path.find('\0') != std::string::npos) return std::nullopt;
  // A sender that gave up has closed its end: the acknowledgement fails and
  // its file is not opened long after the user asked for it.
  if (::send(raw, &kAcknowledged, 1, MSG_NOSIGNAL) != 1) return std::nullopt;
  return path;
}

bool HandOverFile(const std::string& name, const std::string& file, int waitMs) {
  if (file.empty()) return false;
  std::string path = file;
  if (path.front() != '/') {
    char here[PATH_MAX];
    if (!::getcwd(here, sizeof here)) return false;
    path = std::string(here) + "/" + path;
  }
  sockaddr_un address;
  std::string socketPath;
  if (!SocketAddress(name, address, socketPath)) return false;
  const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);

  const OwnedFd connection(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  const int fd = connection.get();
  if (fd < 0) return false;
  // A full backlog (the instance is busy) refuses a connection for now.
  while (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    if (errno != EAGAIN && errno != EINTR) return false;
    if (MillisecondsLeft(deadline) == 0) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (!PeerIsThisUser(fd)) return false;

  size_t sent = 0;
  while (sent < path.size()) {
    const ssize_t n = ::send(fd, path.data() + sent, path.size() - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else if (n < 0 && errno == EAGAIN) {
      if (!WaitFor(fd, POLLOUT, deadline)) return false;
    } else {
      return false;
    }
  }
  ::shutdown(fd, SHUT_WR);

  for (;;) {
    char answer = 0;
    const ssize_t n = ::recv(fd, &answer, 1, 0);
    if (n == 1) return answer == kAcknowledged;
    if (n == 0) return false;
    if (errno == EINTR) continue;
    if (errno != EAGAIN || !WaitFor(fd, POLLIN, deadline)) return false;
  }
}

}  // namespace platform

#include "platform/instance_handover.h"

#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/epoll.h>
#include <sys/stat.h>
#include <sys/timerfd.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <list>
#include <thread>
#include <utility>

#include "platform/file_system.h"

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kAcknowledged = 'A';
// A path longer than the system's limit names no file the window can open.
constexpr size_t kMaxPath = PATH_MAX;
// Connections read at once; past that the oldest gives way to the newest,
// so that a flood of silent ones cannot shut a real handover out.
constexpr size_t kMaxReading = 32;

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

// The listener reads its connections as their bytes come, never waiting for
// one: the window calls Accept on its own thread, and a connection that sends
// nothing must not hold it up. One epoll descriptor gathers the socket, the
// connections being read and a timer for the earliest deadline, so the window
// watches one descriptor for all of them.
struct HandoverListener::Endpoint {
  struct Reading {
    int fd;
    Clock::time_point deadline;
    std::string path;
  };

  int fd;
  std::string path;
  int poller = -1;
  int timer = -1;
  std::list<Reading> reading;

  ~Endpoint() {
    for (const Reading& r : reading) ::close(r.fd);
    if (timer >= 0) ::close(timer);
    if (poller >= 0) ::close(poller);
    ::close(fd);
  }

  bool Watch(int watched) const {
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = watched;
    return ::epoll_ctl(poller, EPOLL_CTL_ADD, watched, &event) == 0;
  }
  std::list<Reading>::iterator Drop(std::list<Reading>::iterator r) {
    ::close(r->fd);  // which takes it out of the epoll set too
    return reading.erase(r);
  }
  void TakeConnections() {
    for (;;) {
      const int raw = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
      if (raw < 0) {
        if (errno == EINTR || errno == ECONNABORTED) continue;
        return;
      }
      if (!PeerIsThisUser(raw) || !Watch(raw)) {
        ::close(raw);
        continue;
      }
      if (reading.size() == kMaxReading) Drop(reading.begin());
      reading.push_back({raw, Clock::now() + std::chrono::milliseconds(kHandoverWaitMs), {}});
    }
  }
  void ArmTimer() {
    uint64_t expirations;
    while (::read(timer, &expirations, sizeof expirations) > 0) {
    }
    itimerspec when{};
    if (!reading.empty()) {
      // The list is in the order of arrival, which is that of the deadlines.
      const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(
          reading.front().deadline - Clock::now());
      const auto ns = std::max<int64_t>(left.count(), 1);
      when.it_value.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
      when.it_value.tv_nsec = static_cast<long>(ns % 1'000'000'000);
    }
    ::timerfd_settime(timer, 0, &when, nullptr);
  }
  // Reads what `r` has sent so far: its path once the sender has ended
  // writing, nullopt while more may come or when it is dropped.
  // Moves `r` on to the next connection, past this one or where it was.
  std::optional<std::string> Read(std::list<Reading>::iterator& r) {
    for (;;) {
      char buffer[1024];
      const ssize_t n = ::recv(r->fd, buffer, sizeof buffer, 0);
      if (n > 0) {
        r->path.append(buffer, static_cast<size_t>(n));
        if (r->path.size() > kMaxPath) break;
      } else if (n == 0) {
        std::string path = std::move(r->path);
        if (path.empty() || path.find('\0') != std::string::npos) break;
        // A sender that gave up has closed its end: the acknowledgement
        // fails and its file is not opened long after the user asked for it.
        const bool acknowledged = ::send(r->fd, &kAcknowledged, 1, MSG_NOSIGNAL) == 1;
        r = Drop(r);
        if (!acknowledged) return std::nullopt;
        return path;
      } else if (errno == EINTR) {
        continue;
      } else if (errno == EAGAIN && Clock::now() < r->deadline) {
        ++r;
        return std::nullopt;
      } else {
        break;
      }
    }
    r = Drop(r);
    return std::nullopt;
  }
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
  auto endpoint = std::make_unique<Endpoint>();
  endpoint->fd = fd;
  endpoint->path = path;
  endpoint->poller = ::epoll_create1(EPOLL_CLOEXEC);
  endpoint->timer = ::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
  if (endpoint->poller < 0 || endpoint->timer < 0 || !endpoint->Watch(fd) ||
      !endpoint->Watch(endpoint->timer) ||
      ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::chmod(path.c_str(), 0600) != 0 || ::listen(fd, 8) != 0) {
    ::unlink(path.c_str());
    return nullptr;
  }
  const int poller = endpoint->poller;
  return std::unique_ptr<HandoverListener>(new HandoverListener(std::move(endpoint), poller));
}

HandoverListener::~HandoverListener() {
  const std::string path = m_endpoint->path;
  m_endpoint.reset();
  ::unlink(path.c_str());
}

std::optional<std::string> HandoverListener::Accept() {
  Endpoint& e = *m_endpoint;
  e.TakeConnections();
  std::optional<std::string> path;
  for (auto r = e.reading.begin(); r != e.reading.end() && !path;) {
    path = e.Read(r);
  }
  e.ArmTimer();
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

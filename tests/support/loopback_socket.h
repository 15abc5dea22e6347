#pragma once
// The few socket calls the loopback test server makes, under the names it
// uses, on both systems. Windows sockets are handles; the test server's
// handles fit in an int, as the descriptors do here.
#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstddef>

// Declared in the test server's own namespace, so that they hide the
// system's calls of the same names there.
namespace test {

using ssize_t = long long;
using socklen_t = int;
inline constexpr int SOCK_CLOEXEC = 0;
inline constexpr int MSG_NOSIGNAL = 0;
inline constexpr int SHUT_WR = SD_SEND;

// Winsock wants starting once per process before the first socket.
inline bool Ready() {
  static const bool ready = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return ready;
}

inline int socket(int family, int type, int protocol) {
  if (!Ready()) return -1;
  const SOCKET s = ::socket(family, type, protocol);
  return s == INVALID_SOCKET ? -1 : static_cast<int>(s);
}
inline int accept4(int fd, sockaddr* addr, socklen_t* len, int) {
  const SOCKET s = ::accept(static_cast<SOCKET>(fd), addr, len);
  return s == INVALID_SOCKET ? -1 : static_cast<int>(s);
}
inline int close(int fd) { return ::closesocket(static_cast<SOCKET>(fd)); }
struct pollfd {
  int fd;
  short events;
  short revents;
};
inline int poll(pollfd* fds, unsigned long n, int timeoutMs) {
  WSAPOLLFD polled[8];
  if (n > 8) return -1;
  for (unsigned long i = 0; i < n; ++i)
    polled[i] = {static_cast<SOCKET>(fds[i].fd), fds[i].events, 0};
  const int ready = ::WSAPoll(polled, n, timeoutMs);
  for (unsigned long i = 0; i < n; ++i) fds[i].revents = polled[i].revents;
  return ready;
}
inline int setsockopt(int fd, int level, int name, const void* value, socklen_t size) {
  return ::setsockopt(static_cast<SOCKET>(fd), level, name, static_cast<const char*>(value), size);
}
inline int shutdown(int fd, int how) { return ::shutdown(static_cast<SOCKET>(fd), how); }
inline int bind(int fd, const sockaddr* addr, socklen_t len) {
  return ::bind(static_cast<SOCKET>(fd), addr, len);
}
inline int listen(int fd, int backlog) { return ::listen(static_cast<SOCKET>(fd), backlog); }
inline int getsockname(int fd, sockaddr* addr, socklen_t* len) {
  return ::getsockname(static_cast<SOCKET>(fd), addr, len);
}
inline ssize_t recv(int fd, char* buffer, size_t size, int flags) {
  return ::recv(static_cast<SOCKET>(fd), buffer, static_cast<int>(size), flags);
}
inline ssize_t send(int fd, const char* data, size_t size, int flags) {
  return ::send(static_cast<SOCKET>(fd), data, static_cast<int>(size), flags);
}

}  // namespace test
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

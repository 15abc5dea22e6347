#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/file_system.h"

namespace platform {

class InstanceLock {
 public:
  explicit InstanceLock(int fd) : m_fd(fd) {}
  ~InstanceLock() { ::close(m_fd); }
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

 private:
  int m_fd;
};

InstanceLock* CreateInstanceLock(const std::string& name, bool* alreadyExists, std::string* why) {
  if (alreadyExists) *alreadyExists = false;
  const std::optional<std::string> folder = TempFolder(why);
  if (!folder) return nullptr;
  const std::string path = *folder + name + ".lock";
  auto fail = [&](int error) -> InstanceLock* {
    if (why) *why = path + ": " + (error == ELOOP ? "is a symbolic link" : std::strerror(error));
    return nullptr;
  };
  // The file only carries the lock; it is never read, and it is never
  // removed, because removing it would let two processes lock two files.
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return fail(errno);
  int rc;
  do {
    rc = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    const int error = errno;
    if (error != EWOULDBLOCK) {
      ::close(fd);
      return fail(error);
    }
    if (alreadyExists) *alreadyExists = true;
  }
  return new InstanceLock(fd);
}

void CloseInstanceLock(InstanceLock* lock) { delete lock; }

}  // namespace platform

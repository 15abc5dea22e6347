#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_system.h"

namespace platform {

class InstanceLock {
 public:
  explicit InstanceLock(int fd) : m_fd(fd) {}
  ~InstanceLock() {
    // Closing the descriptor drops the lock with it.
    if (m_fd >= 0) ::close(m_fd);
  }
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

 private:
  int m_fd;
};

InstanceLock* CreateInstanceLock(const std::string& name, bool* alreadyExists) {
  if (alreadyExists) *alreadyExists = false;
  const std::optional<std::string> folder = TempFolder();
  if (!folder) return nullptr;
  const std::string path = *folder + name + ".lock";
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return nullptr;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const bool held = errno == EWOULDBLOCK;
    if (!held) {
      ::close(fd);
      return nullptr;
    }
    if (alreadyExists) *alreadyExists = true;
  }
  return new InstanceLock(fd);
}

void CloseInstanceLock(InstanceLock* lock) { delete lock; }

}  // namespace platform

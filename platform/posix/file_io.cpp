#include "platform/file_io.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace platform::file_io {

int OpenForReading(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    // A folder opens on Linux but cannot be read; refuse it here.
    ::close(fd);
    return -1;
  }
  return fd;
}

int OpenForWriting(const std::string& path, bool append, bool privateFile) {
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC;
  flags |= append ? O_APPEND : O_TRUNC;
  // A private scratch file is never reached through a planted link.
  if (privateFile) flags |= O_NOFOLLOW;
  const int fd = ::open(path.c_str(), flags, privateFile ? 0600 : 0666);
  if (fd < 0) return -1;
  if (privateFile && ::fchmod(fd, 0600) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

long long ReadSome(int fd, char* buffer, size_t size) {
  for (;;) {
    ssize_t n = ::read(fd, buffer, size);
    if (n >= 0 || errno != EINTR) return n;
  }
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

bool Close(int fd) { return ::close(fd) == 0; }

long long ReadAt(int fd, char* buffer, size_t size, long long offset) {
  for (;;) {
    const ssize_t n = ::pread(fd, buffer, size, static_cast<off_t>(offset));
    if (n >= 0 || errno != EINTR) return n;
  }
}

long long CurrentOffset(int fd) { return ::lseek(fd, 0, SEEK_CUR); }

long long RegularFileSize(int fd) {
  struct stat st;
  return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) ? st.st_size : -1;
}

int Duplicate(int fd) { return ::fcntl(fd, F_DUPFD_CLOEXEC, 3); }

bool CutTo(int fd, long long size) { return ::ftruncate(fd, static_cast<off_t>(size)) == 0; }

// flock, not fcntl: an fcntl lock belongs to the process, so threads of one
// process would not exclude each other, and closing any descriptor of the
// file (the copies the cut-back keeps) would let it go mid-append. A flock
// belongs to the open file and outlives those copies.
AppendLock LockForAppend(int fd, const std::function<bool()>& keepWaiting) {
  for (;;) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return AppendLock::kLocked;
    if (errno == EINTR) continue;
    if (errno != EWOULDBLOCK) return AppendLock::kUnavailable;
    // Polled rather than waited for: the wait must end when the user stops.
    if (!keepWaiting()) return AppendLock::kGivenUp;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void UnlockForAppend(int fd) { ::flock(fd, LOCK_UN); }

LoadResult LoadWholeFile(const std::string& path, size_t maxSize, std::string& content) {
  content.clear();
  // Only a regular file is loaded. Anything else (a FIFO, a device, a
  // folder) is not even opened: opening a FIFO waits for a writer, and
  // start-up would hang. O_NONBLOCK covers a swap between look and open.
  struct stat st;
  if (::stat(path.c_str(), &st) != 0)
    return errno == ENOENT || errno == ENOTDIR ? LoadResult::kMissing : LoadResult::kFailed;
  if (!S_ISREG(st.st_mode)) return LoadResult::kFailed;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0)
    return errno == ENOENT || errno == ENOTDIR ? LoadResult::kMissing : LoadResult::kFailed;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      static_cast<unsigned long long>(st.st_size) > maxSize) {
    ::close(fd);
    return LoadResult::kFailed;
  }
  content.resize(static_cast<size_t>(st.st_size));
  size_t done = 0;
  for (;;) {
    if (done == content.size()) content.resize(done + 4096);  // it may have grown
    long long n = ReadSome(fd, content.data() + done, content.size() - done);
    if (n < 0) {
      ::close(fd);
      return LoadResult::kFailed;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
    if (done > maxSize) {
      ::close(fd);
      return LoadResult::kFailed;
    }
  }
  ::close(fd);
  content.resize(done);
  return LoadResult::kLoaded;
}

bool ReplaceWholeFile(const std::string& path, std::string_view content) {
  // Write through a link to the file it names, not over the link.
  std::string target = path;
  struct stat st;
  bool exists = ::lstat(path.c_str(), &st) == 0;
  if (exists && S_ISLNK(st.st_mode)) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real) return false;
    target = real;
    std::free(real);
    exists = ::stat(target.c_str(), &st) == 0;
  }

  std::string temp = target + ".XXXXXX";
  int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  bool ok = WriteAll(fd, content);
  if (ok && exists) ok = ::fchmod(fd, st.st_mode & 07777) == 0;
  if (ok) ok = ::fsync(fd) == 0;
  if (::close(fd) != 0) ok = false;
  if (ok) ok = ::rename(temp.c_str(), target.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

ExclusiveLock::ExclusiveLock(const std::string& path) {
  const int fd = ::open((path + ".lock").c_str(),
                        O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
  if (fd < 0) return;
  // flock, not fcntl: it belongs to this open of the file, so two threads
  // of one process exclude each other too.
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      ::close(fd);
      return;
    }
  }
  m_handle = fd;
}

ExclusiveLock::~ExclusiveLock() {
  if (m_handle >= 0) ::close(static_cast<int>(m_handle));
}

}  // namespace platform::file_io

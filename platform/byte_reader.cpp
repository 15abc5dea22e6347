#include "platform/byte_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

ByteReader::ByteReader() : m_block(new char[kBlock]) {}

ByteReader::~ByteReader() { Close(); }

bool ByteReader::Open(const std::string& path) {
  Close();
  m_failed = false;
  m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st;
  if (m_fd >= 0 && ::fstat(m_fd, &st) == 0 && S_ISDIR(st.st_mode)) Close();
  if (m_fd < 0) m_failed = true;
  return m_fd >= 0;
}

void ByteReader::Close() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
}

std::string_view ByteReader::Next() {
  if (m_fd < 0 || m_failed) return {};
  for (;;) {
    ssize_t n = ::read(m_fd, m_block.get(), kBlock);
    if (n >= 0) return {m_block.get(), static_cast<size_t>(n)};
    if (errno != EINTR) {
      m_failed = true;
      return {};
    }
  }
}

}  // namespace platform

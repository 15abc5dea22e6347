#include "platform/byte_reader.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace platform {

ByteReader::~ByteReader() { Close(); }

bool ByteReader::Open(const std::string& path, bool mapped) {
  Close();
  m_failed = false;
  m_mappedSize = m_offset = 0;
  m_regular = false;
  m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st;
  if (m_fd >= 0 && ::fstat(m_fd, &st) == 0) {
    if (S_ISDIR(st.st_mode))
      Close();  // opens on Linux, but cannot be read
    else if ((m_regular = S_ISREG(st.st_mode)) && mapped)
      m_mappedSize = st.st_size;
  }
  if (m_fd < 0) m_failed = true;
  return m_fd >= 0;
}

void ByteReader::Unmap() {
  if (m_window) ::munmap(m_window, m_windowSize);
  m_window = nullptr;
}

void ByteReader::Close() {
  Unmap();
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
}

std::string_view ByteReader::Next() {
  if (m_fd < 0 || m_failed) return {};
  Unmap();
  if (m_offset < m_mappedSize) {
    const off_t left = m_mappedSize - m_offset;
    const size_t size = left < static_cast<off_t>(kWindow) ? static_cast<size_t>(left) : kWindow;
    void* window = ::mmap(nullptr, size, PROT_READ, MAP_SHARED | MAP_POPULATE, m_fd, m_offset);
    if (window != MAP_FAILED) {
      m_window = window;
      m_windowSize = size;
      m_offset += static_cast<off_t>(size);
      return {static_cast<const char*>(window), size};
    }
    // Not to be mapped after all: read from here on.
    m_mappedSize = m_offset;
  }
  if (!m_block) m_block.reset(new char[kBlock]);
  for (;;) {
    // A regular file's own offset stayed at 0 while it was mapped.
    ssize_t n = m_regular ? ::pread(m_fd, m_block.get(), kBlock, m_offset)
                          : ::read(m_fd, m_block.get(), kBlock);
    if (n > 0) m_offset += n;
    if (n >= 0) return {m_block.get(), static_cast<size_t>(n)};
    if (errno != EINTR) {
      m_failed = true;
      return {};
    }
  }
}

}  // namespace platform

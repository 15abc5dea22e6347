#include "platform/byte_reader.h"

#include "platform/file_io.h"

namespace platform {

// Windows reads the file block by block: no mapping, so no window to keep.

ByteReader::~ByteReader() { Close(); }

bool ByteReader::Open(const std::string& path, bool) {
  Close();
  m_failed = false;
  m_mappedSize = m_offset = 0;
  m_regular = false;
  m_fd = file_io::OpenForReading(path);  // refuses a folder
  if (m_fd < 0) m_failed = true;
  return m_fd >= 0;
}

void ByteReader::Unmap() {}

void ByteReader::Close() {
  if (m_fd >= 0) file_io::Close(m_fd);
  m_fd = -1;
}

std::string_view ByteReader::Next() {
  if (m_fd < 0 || m_failed) return {};
  if (!m_block) m_block.reset(new char[kBlock]);
  const long long n = file_io::ReadSome(m_fd, m_block.get(), kBlock);
  if (n < 0) {
    m_failed = true;
    return {};
  }
  m_offset += n;
  return {m_block.get(), static_cast<size_t>(n)};
}

}  // namespace platform

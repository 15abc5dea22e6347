#include "platform/text_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace platform {

namespace {

constexpr char kCtrlZ = 0x1A;

// read() that does not give up on a signal.
ssize_t ReadSome(int fd, char* buffer, size_t size) {
  for (;;) {
    ssize_t n = ::read(fd, buffer, size);
    if (n >= 0 || errno != EINTR) return n;
  }
}

}  // namespace

// ---------------------------------------------------------------- reader

TextReader::~TextReader() { Close(); }

bool TextReader::Open(const std::string& path) {
  Close();
  m_pos = m_len = 0;
  m_eof = m_failed = m_pendingCr = false;
  m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (m_fd < 0) {
    m_failed = true;
    return false;
  }
  struct stat st;
  if (::fstat(m_fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    // A folder opens on Linux but cannot be read; refuse it here.
    ::close(m_fd);
    m_fd = -1;
    m_failed = true;
    return false;
  }
  return true;
}

void TextReader::Close() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
}

// Refills m_raw with translated input. The translation shrinks the block in
// place: CR LF becomes LF, a Ctrl-Z cuts the input. A CR that is the last
// byte of a block cannot be judged yet; it is held back and put in front of
// the next block.
bool TextReader::Fill() {
  m_pos = m_len = 0;
  while (m_len == 0) {
    if (m_eof || m_fd < 0) return false;
    size_t start = 0;
    if (m_pendingCr) {
      m_raw[0] = '\r';
      start = 1;
      m_pendingCr = false;
    }
    ssize_t n = ReadSome(m_fd, m_raw + start, sizeof m_raw - start);
    if (n < 0) m_failed = true;
    if (n <= 0) {
      m_eof = true;
      m_len = start;  // a CR at the very end stays a CR
      return m_len > 0;
    }
    size_t raw = start + static_cast<size_t>(n);
    if (const void* z = std::memchr(m_raw, kCtrlZ, raw)) {
      raw = static_cast<size_t>(static_cast<const char*>(z) - m_raw);
      m_eof = true;
    }
    // Compact around each CR LF pair.
    size_t in = 0, out = 0;
    for (;;) {
      const void* cr = std::memchr(m_raw + in, '\r', raw - in);
      size_t end = cr ? static_cast<size_t>(static_cast<const char*>(cr) - m_raw) : raw;
      if (out != in) std::memmove(m_raw + out, m_raw + in, end - in);
      out += end - in;
      in = end;
      if (!cr) break;
      if (in + 1 < raw) {
        if (m_raw[in + 1] == '\n') {
          m_raw[out++] = '\n';
          in += 2;
        } else {
          m_raw[out++] = '\r';
          in += 1;
        }
      } else if (m_eof) {
        m_raw[out++] = '\r';  // followed by Ctrl-Z: nothing can pair with it
        in += 1;
      } else {
        m_pendingCr = true;
        in += 1;
      }
    }
    m_len = out;
  }
  return true;
}

size_t TextReader::Read(char* buffer, size_t size) {
  size_t done = 0;
  while (done < size) {
    if (m_pos == m_len && !Fill()) break;
    size_t take = m_len - m_pos;
    if (take > size - done) take = size - done;
    std::memcpy(buffer + done, m_raw + m_pos, take);
    m_pos += take;
    done += take;
  }
  return done;
}

int TextReader::GetChar() {
  if (m_pos == m_len && !Fill()) return EOF;
  return static_cast<unsigned char>(m_raw[m_pos++]);
}

bool TextReader::ReadLine(std::string& line) {
  line.clear();
  for (;;) {
    if (m_pos == m_len && !Fill()) return !line.empty();
    const char* begin = m_raw + m_pos;
    size_t avail = m_len - m_pos;
    if (const void* lf = std::memchr(begin, '\n', avail)) {
      size_t take = static_cast<size_t>(static_cast<const char*>(lf) - begin) + 1;
      line.append(begin, take);
      m_pos += take;
      return true;
    }
    line.append(begin, avail);
    m_pos = m_len;
  }
}

// ---------------------------------------------------------------- writer

TextWriter::~TextWriter() { Close(); }

bool TextWriter::Open(const std::string& path, Mode mode, bool privateFile) {
  Close();
  m_len = 0;
  m_failed = false;
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC;
  flags |= mode == Mode::kAppend ? O_APPEND : O_TRUNC;
  // A private scratch file is never reached through a planted link.
  if (privateFile) flags |= O_NOFOLLOW;
  m_fd = ::open(path.c_str(), flags, privateFile ? 0600 : 0666);
  if (m_fd < 0) {
    m_failed = true;
    return false;
  }
  if (privateFile && ::fchmod(m_fd, 0600) != 0) {
    ::close(m_fd);
    m_fd = -1;
    m_failed = true;
    return false;
  }
  return true;
}

bool TextWriter::Flush() {
  size_t done = 0;
  while (done < m_len && !m_failed) {
    ssize_t n = ::write(m_fd, m_buf + done, m_len - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      m_failed = true;
    } else {
      done += static_cast<size_t>(n);
    }
  }
  m_len = 0;
  return !m_failed;
}

bool TextWriter::Write(const char* data, size_t size) {
  if (m_fd < 0) m_failed = true;
  if (m_failed) return false;
  const char* const end = data + size;
  while (data < end) {
    if (sizeof m_buf - m_len < 64 && !Flush()) return false;
    // Taken in a piece that fits even if every byte is an LF.
    const size_t room = sizeof m_buf - m_len;
    const char* const stop = data + std::min(static_cast<size_t>(end - data), room / 2);
    char* out = m_buf + m_len;
#ifdef __SSE2__
    // Sixteen bytes at a time, stored whole and kept up to the first LF;
    // the room for two bytes per byte taken covers the store.
    const __m128i lf = _mm_set1_epi8('\n');
    while (stop - data >= 16) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out), block);
      const int mask = _mm_movemask_epi8(_mm_cmpeq_epi8(block, lf));
      if (mask == 0) {
        out += 16;
        data += 16;
        continue;
      }
      const int before = __builtin_ctz(mask);
      out += before;
      *out++ = '\r';
      *out++ = '\n';
      data += before + 1;
    }
#endif
    for (; data < stop; ++data) {
      if (*data == '\n') *out++ = '\r';
      *out++ = *data;
    }
    m_len = static_cast<size_t>(out - m_buf);
  }
  return true;
}

bool TextWriter::Put(char c) { return Write(&c, 1); }

bool TextWriter::Close() {
  if (m_fd < 0) return !m_failed;
  Flush();
  if (::close(m_fd) != 0) m_failed = true;
  m_fd = -1;
  return !m_failed;
}

}  // namespace platform

#include "platform/text_file.h"

#include <cstring>

#include "platform/file_io.h"

namespace platform {

namespace {

constexpr char kCtrlZ = 0x1A;

}  // namespace

// ---------------------------------------------------------------- reader

TextReader::~TextReader() { Close(); }

bool TextReader::Open(const std::string& path) {
  Close();
  m_pos = m_len = 0;
  m_eof = m_failed = m_pendingCr = false;
  m_fd = file_io::OpenForReading(path);
  if (m_fd < 0) m_failed = true;
  return m_fd >= 0;
}

void TextReader::Close() {
  if (m_fd >= 0) file_io::Close(m_fd);
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
    long long n = file_io::ReadSome(m_fd, m_raw + start, sizeof m_raw - start);
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
  m_fd = file_io::OpenForWriting(path, mode == Mode::kAppend, privateFile);
  if (m_fd < 0) m_failed = true;
  return m_fd >= 0;
}

bool TextWriter::Flush() {
  if (!m_failed && !file_io::WriteAll(m_fd, std::string_view(m_buf, m_len))) m_failed = true;
  m_len = 0;
  return !m_failed;
}

bool TextWriter::Write(const char* data, size_t size) {
  if (m_fd < 0) m_failed = true;
  if (m_failed) return false;
  while (size > 0) {
    // Copy up to the next LF in one piece, then store it as CR LF.
    const void* lf = std::memchr(data, '\n', size);
    size_t run = lf ? static_cast<size_t>(static_cast<const char*>(lf) - data) : size;
    while (run > 0) {
      if (m_len == sizeof m_buf && !Flush()) return false;
      size_t take = sizeof m_buf - m_len;
      if (take > run) take = run;
      std::memcpy(m_buf + m_len, data, take);
      m_len += take;
      data += take;
      size -= take;
      run -= take;
    }
    if (lf) {
      if (m_len + 2 > sizeof m_buf && !Flush()) return false;
      m_buf[m_len++] = '\r';
      m_buf[m_len++] = '\n';
      ++data;
      --size;
    }
  }
  return true;
}

bool TextWriter::Put(char c) { return Write(&c, 1); }

bool TextWriter::Close() {
  if (m_fd < 0) return !m_failed;
  Flush();
  if (!file_io::Close(m_fd)) m_failed = true;
  m_fd = -1;
  return !m_failed;
}

}  // namespace platform

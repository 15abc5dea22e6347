#include "platform/text_file.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/file_io.h"
#include "platform/file_system.h"
#include "platform/utf8.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__) && !defined(_WIN32)
#include <immintrin.h>
#endif

namespace platform {

namespace {

using file_io::ReadSome;

}  // namespace

// ---------------------------------------------------------------- reader

TextReader::~TextReader() { Close(); }

bool TextReader::Open(const std::string& path) {
  Close();
  m_pos = m_len = 0;
  m_eof = m_failed = m_pendingCr = false;
  m_fd = file_io::OpenForReading(path);
  if (m_fd < 0) {
    m_failed = true;
    return false;
  }
  return true;
}

void TextReader::Close() {
  if (m_fd >= 0) file_io::Close(m_fd);
  m_fd = -1;
}

// Refills m_raw with the next block of input, cut at a Ctrl-Z. A CR that is
// the last byte of a block cannot be judged yet; it is held back and put in
// front of the next block. CR LF pairs are left for the reader to take as
// one LF: ReadLine does so as it finds each line's end, the others through
// Translate.
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
    long long n = ReadSome(m_fd, m_raw + start, sizeof m_raw - start);
    if (n < 0) m_failed = true;
    if (n <= 0) {
      m_eof = true;
      m_len = start;  // a CR at the very end stays a CR
      return m_len > 0;
    }
    size_t raw = start + static_cast<size_t>(n);
    if (const size_t text = TextLength(m_raw, raw); text < raw) {
      raw = text;
      m_eof = true;
    }
    // A CR followed by a Ctrl-Z pairs with nothing and stays.
    if (raw > 0 && m_raw[raw - 1] == '\r' && !m_eof) {
      m_pendingCr = true;
      --raw;
    }
    m_len = raw;
    m_translated = false;
  }
  return true;
}

// Shrinks the rest of the block in place, each CR LF pair to one LF.
void TextReader::Translate() {
  size_t in = m_pos, out = m_pos;
  for (;;) {
    const void* cr = std::memchr(m_raw + in, '\r', m_len - in);
    size_t end = cr ? static_cast<size_t>(static_cast<const char*>(cr) - m_raw) : m_len;
    if (out != in) std::memmove(m_raw + out, m_raw + in, end - in);
    out += end - in;
    in = end;
    if (!cr) break;
    // Fill holds back a CR that ends a block; one left there ended the input.
    const CrReading read = ReadCr(in + 1 < m_len ? m_raw[in + 1] : '\r');
    m_raw[out++] = read.byte;
    in += read.taken;
  }
  m_len = out;
  m_translated = true;
}

size_t TextReader::Read(char* buffer, size_t size) {
  size_t done = 0;
  while (done < size) {
    if (m_pos == m_len && !Fill()) break;
    if (!m_translated) Translate();
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
  if (!m_translated) Translate();
  return static_cast<unsigned char>(m_raw[m_pos++]);
}

bool TextReader::ReadLine(std::string& line) {
  line.clear();
  bool sized = false;
  for (;;) {
    if (m_pos == m_len && !Fill()) return !line.empty();
    const char* begin = m_raw + m_pos;
    size_t avail = m_len - m_pos;
    if (const void* lf = std::memchr(begin, '\n', avail)) {
      const size_t before = static_cast<size_t>(static_cast<const char*>(lf) - begin);
      // A CR LF pair ends the line as one LF. In a block already translated
      // a CR before an LF is one that paired with nothing, and stays.
      const bool pair = !m_translated && before > 0 && begin[before - 1] == '\r';
      line.append(begin, before - (pair ? 1 : 0));
      line.push_back('\n');
      m_pos += before + 1;
      return true;
    }
    line.append(begin, avail);
    m_pos = m_len;
    // A line that runs on for more than a few blocks gets its whole room at
    // once: grown by doubling, it would hold an old and a new copy of itself
    // side by side.
    if (!sized && line.size() >= kSizeAheadFrom) {
      sized = true;
      if (std::optional<size_t> rest = RawBytesToLineEnd())
        line.reserve(line.size() + *rest + (m_pendingCr ? 1 : 0));
    }
  }
}

std::optional<size_t> TextReader::RawBytesToLineEnd() const {
  long long at = file_io::CurrentOffset(m_fd);
  if (at < 0) return std::nullopt;  // a pipe: nothing to look ahead in
  std::vector<char> block(64 * 1024);
  size_t count = 0;
  for (;;) {
    const long long n = file_io::ReadAt(m_fd, block.data(), block.size(), at);
    if (n <= 0) return n == 0 ? std::optional<size_t>(count) : std::nullopt;
    size_t stop = TextLength(block.data(), static_cast<size_t>(n));
    if (const void* lf = std::memchr(block.data(), '\n', stop))
      stop = static_cast<size_t>(static_cast<const char*>(lf) - block.data());
    if (stop < static_cast<size_t>(n)) return count + stop + 1;
    count += static_cast<size_t>(n);
    at += n;
  }
}

// ---------------------------------------------------------------- writer

TextWriter::~TextWriter() { Close(); }

bool TextWriter::Open(const std::string& path, Mode mode, bool privateFile) {
  Close();
  m_len = 0;
  m_failed = false;
  m_escapeControls = false;
  m_openedSize = -1;
  m_endsMidLine = false;
  m_ownFile = mode == Mode::kAppendOwnFile;
  if (m_ownFile) {
    m_fd = OpenOwnFileToAppend(path);
    if (m_fd < 0) {
      m_failed = true;
      return false;
    }
    MeasureAppendStart();
    return true;
  }
  m_fd = file_io::OpenForWriting(path, mode == Mode::kAppend, privateFile);
  if (m_fd < 0) {
    m_failed = true;
    return false;
  }
  if (mode == Mode::kAppend) m_openedSize = file_io::RegularFileSize(m_fd);
  return true;
}

void TextWriter::MeasureAppendStart() {
  m_openedSize = file_io::RegularFileSize(m_fd);
  char last;
  m_endsMidLine =
      m_openedSize > 0 && file_io::ReadAt(m_fd, &last, 1, m_openedSize - 1) == 1 && last != '\n';
}

bool TextWriter::LockAppend(const std::function<bool()>& keepWaiting) {
  if (m_fd < 0 || !m_ownFile || m_lockFd >= 0) return true;
  // Through a copy, which outlives the close of m_fd: the lock is let go of
  // only once a failed append has been cut back.
  m_lockFd = file_io::Duplicate(m_fd);
  if (m_lockFd < 0) return true;
  switch (file_io::LockForAppend(m_lockFd, keepWaiting)) {
    case file_io::AppendLock::kLocked:
      // Nothing is buffered yet; what others appended meanwhile is kept.
      MeasureAppendStart();
      return true;
    case file_io::AppendLock::kGivenUp:
      file_io::Close(m_lockFd);
      m_lockFd = -1;
      return false;
    case file_io::AppendLock::kUnavailable:
      break;
  }
  file_io::Close(m_lockFd);
  m_lockFd = -1;
  return true;
}

void TextWriter::Unlock() {
  if (m_lockFd < 0) return;
  file_io::UnlockForAppend(m_lockFd);
  file_io::Close(m_lockFd);
  m_lockFd = -1;
}

bool TextWriter::OpenDescriptor(int fd, bool escapeControls) {
  Close();
  m_len = 0;
  m_escapeControls = escapeControls;
  m_heldBack.clear();
  // Nothing to cut back to or to end: the descriptor's owner keeps its file.
  m_openedSize = -1;
  m_endsMidLine = false;
  m_ownFile = false;
  // A copy shares the descriptor's file position, and closing it leaves the
  // descriptor to its owner.
  m_fd = file_io::Duplicate(fd);
  m_failed = m_fd < 0;
  return !m_failed;
}

bool TextWriter::Flush() {
  if (m_len > 0 && !m_failed && !file_io::WriteAll(m_fd, std::string_view(m_buf.get(), m_len)))
    m_failed = true;
  m_len = 0;
  return !m_failed;
}

namespace {

// `rest` is the start of a well-formed character that goes on past it.
bool CharacterGoesOnPast(std::string_view rest) {
  const auto [length, low, high] = Utf8LeadOf(static_cast<unsigned char>(rest[0]));
  if (rest.size() >= length) return false;
  for (size_t i = 1; i < rest.size(); ++i) {
    const auto c = static_cast<unsigned char>(rest[i]);
    if (i == 1 ? (c < low || c > high) : (c & 0xC0) != 0x80) return false;
  }
  return true;
}

void AppendEscaped(std::string& out, unsigned char c) {
  static const char kHex[] = "0123456789ABCDEF";
  out += "\\x";
  out += kHex[c >> 4];
  out += kHex[c & 0xF];
}

}  // namespace

bool TextWriter::Write(const char* data, size_t size) {
  if (!m_escapeControls) return WriteText(data, size);
  // A character that a call splits is judged whole: its first bytes wait
  // for the next call, or for the close.
  std::string text = std::move(m_heldBack);
  m_heldBack.clear();
  text.append(data, size);
  std::string shown;
  shown.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      if ((c < 0x20 && c != '\n') || c == 0x7F)
        AppendEscaped(shown, c);
      else
        shown += static_cast<char>(c);
      ++i;
      continue;
    }
    if (CharacterGoesOnPast(std::string_view(text).substr(i))) {
      m_heldBack.assign(text, i);
      break;
    }
    const size_t length = Utf8CharacterLength(text, i);
    // U+0080..U+009F are the C1 controls (U+009B is the 8-bit CSI); a byte
    // that starts no character would be one to a terminal that reads bytes.
    const bool c1 = length == 2 && c == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
    if (length == 1 || c1) {
      for (size_t k = 0; k < length; ++k)
        AppendEscaped(shown, static_cast<unsigned char>(text[i + k]));
    } else {
      shown.append(text, i, length);
    }
    i += length;
  }
  return WriteText(shown.data(), shown.size());
}

void TextWriter::ReleaseHeldBack() {
  if (m_heldBack.empty()) return;
  // Nothing followed: the bytes start no character, and are shown escaped.
  std::string shown;
  for (const char c : m_heldBack) AppendEscaped(shown, static_cast<unsigned char>(c));
  m_heldBack.clear();
  WriteText(shown.data(), shown.size());
}

namespace {

// Copies [data, stop) to `out` with each LF as CR LF; the end of what was
// written. `out` has room for two bytes per byte taken, which also covers
// the whole blocks stored below before the LF in them is found.
char* ExpandLineEndsPlain(const char* data, const char* stop, char* out) {
#ifdef __SSE2__
  // Sixteen bytes at a time, stored whole and kept up to the first LF.
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
  return out;
}

#if defined(__x86_64__) && defined(__GNUC__) && !defined(_WIN32)
#define VIMBEL_WIDE_LINE_ENDS 1
// The same, 32 bytes at a time where the processor has AVX2: the page of a
// download goes through here whole.
__attribute__((target("avx2"))) char* ExpandLineEndsWide(const char* data, const char* stop,
                                                         char* out) {
  const __m256i lf = _mm256_set1_epi8('\n');
  while (stop - data >= 32) {
    const __m256i block = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), block);
    const unsigned mask = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(block, lf)));
    if (mask == 0) {
      out += 32;
      data += 32;
      continue;
    }
    const int before = __builtin_ctz(mask);
    out += before;
    *out++ = '\r';
    *out++ = '\n';
    data += before + 1;
  }
  return ExpandLineEndsPlain(data, stop, out);
}
#endif

char* ExpandLineEnds(const char* data, const char* stop, char* out) {
#ifdef VIMBEL_WIDE_LINE_ENDS
  static const bool wide = __builtin_cpu_supports("avx2");
  if (wide) return ExpandLineEndsWide(data, stop, out);
#endif
  return ExpandLineEndsPlain(data, stop, out);
}

}  // namespace

bool TextWriter::WriteText(const char* data, size_t size) {
  if (m_fd < 0) m_failed = true;
  if (m_failed) return false;
  const char* const end = data + size;
  while (data < end) {
    if (!m_buf) m_buf.reset(new char[kBufferSize]);
    if (kBufferSize - m_len < 64 && !Flush()) return false;
    // Taken in a piece that fits even if every byte is an LF.
    const size_t room = kBufferSize - m_len;
    const char* const stop = data + std::min(static_cast<size_t>(end - data), room / 2);
    m_len = static_cast<size_t>(ExpandLineEnds(data, stop, m_buf.get() + m_len) - m_buf.get());
    data = stop;
  }
  return true;
}

bool TextWriter::Put(char c) { return Write(&c, 1); }

bool TextWriter::WriteStored(const char* data, size_t size) {
  if (m_fd < 0) m_failed = true;
  if (!Flush()) return false;
  if (!file_io::WriteAll(m_fd, std::string_view(data, size))) m_failed = true;
  return !m_failed;
}

bool TextWriter::Close() {
  if (m_fd < 0) return !m_failed;
  ReleaseHeldBack();
  Flush();
  if (!file_io::Close(m_fd)) m_failed = true;
  m_fd = -1;
  Unlock();
  return !m_failed;
}

bool TextWriter::CloseOrCutBack(bool& cutBack) {
  cutBack = false;
  if (m_fd < 0 || m_openedSize < 0) return Close();
  ReleaseHeldBack();
  Flush();
  // A second descriptor outlives the close, whose failure (a quota on a
  // network file system) may be the first one heard of. The lock's own
  // serves, so that the cut comes before another run's append.
  const int keep = m_lockFd >= 0 ? m_lockFd : file_io::Duplicate(m_fd);
  if (!file_io::Close(m_fd)) m_failed = true;
  m_fd = -1;
  if (m_failed && keep >= 0) cutBack = file_io::CutTo(keep, m_openedSize);
  if (keep == m_lockFd)
    Unlock();
  else if (keep >= 0)
    file_io::Close(keep);
  return !m_failed;
}

}  // namespace platform

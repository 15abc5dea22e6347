#pragma once
// Files in the Windows C runtime's text mode, which stored files and peers
// rely on: reading delivers CR LF as LF (a lone CR stays) and stops at a
// Ctrl-Z byte; writing stores each LF as CR LF. Both are buffered in blocks;
// neither makes a system call per byte.
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace platform {

// Text mode's reading rule, for every reader of stored bytes (the text
// reader, and the anchor scan that reads a page as stored): a CR LF pair is
// one LF, a lone CR stays a CR, and the first kTextEnd byte (Ctrl-Z) ends the
// input; nothing after it is read.
inline constexpr char kTextEnd = 0x1A;

// How many of `size` stored bytes text mode reads: those before the first
// kTextEnd, or all of them.
inline size_t TextLength(const char* data, size_t size) {
  const void* end = std::memchr(data, kTextEnd, size);
  return end ? static_cast<size_t>(static_cast<const char*>(end) - data) : size;
}

// What a CR reads as, given the stored byte after it: the LF of a CR LF pair,
// which takes both bytes, or the CR alone, which takes one.
struct CrReading {
  char byte;
  size_t taken;
};
inline constexpr CrReading ReadCr(char next) {
  return next == '\n' ? CrReading{'\n', 2} : CrReading{'\r', 1};
}

class TextReader {
 public:
  TextReader() = default;
  ~TextReader();
  TextReader(const TextReader&) = delete;
  TextReader& operator=(const TextReader&) = delete;

  // Opens `path` for reading ("r"). False when it cannot be opened.
  bool Open(const std::string& path);
  bool IsOpen() const { return m_fd >= 0; }
  void Close();

  // Up to `size` bytes of text-mode input into `buffer`; 0 at the end of the
  // input (end of file, or a Ctrl-Z). Failed() tells a read error apart.
  size_t Read(char* buffer, size_t size);
  // The next byte 0..255, or EOF at the end of the input.
  int GetChar();
  // The next line with its LF (the last line may lack one), whatever its
  // length. False at the end of the input.
  bool ReadLine(std::string& line);

  bool Failed() const { return m_failed; }

 private:
  bool Fill();
  void Translate();
  // How many bytes of the file lie from the read position to the first LF
  // or Ctrl-Z, that one included (or to the end); nullopt when the file
  // cannot be read ahead.
  std::optional<size_t> RawBytesToLineEnd() const;

  static constexpr size_t kSizeAheadFrom = 1024 * 1024;
  int m_fd = -1;
  char m_raw[64 * 1024];
  size_t m_pos = 0;
  size_t m_len = 0;
  bool m_eof = false;  // the file (or a Ctrl-Z) has ended the input
  bool m_failed = false;
  bool m_pendingCr = false;   // a CR at the end of a block waits for its LF
  bool m_translated = false;  // the block's CR LF pairs are already LFs
};

class TextWriter {
 public:
  enum class Mode {
    kCreate,         // "w": created or emptied
    kAppend,         // "a": append only
    kAppendOwnFile,  // "a", to a regular file of the user's own (OpenOwnFileToAppend)
  };

  TextWriter() = default;
  ~TextWriter();  // closes; an error then is lost: call Close() to see it
  TextWriter(const TextWriter&) = delete;
  TextWriter& operator=(const TextWriter&) = delete;

  // Opens `path`; a created file is private to the user (0600) when
  // `privateFile` is set. False when it cannot be opened.
  bool Open(const std::string& path, Mode mode, bool privateFile = false);
  // kAppendOwnFile: takes the append lock (file_io::LockForAppend, asking
  // `keepWaiting` while another run holds it), then measures the file
  // afresh, so that LengthAtOpen and EndsMidLine tell what this append
  // follows, whatever others appended since Open. Held until the close,
  // which cuts a failed append back before letting go of it. False only
  // when `keepWaiting` gave up; nothing else to do for other streams, or
  // where the file system keeps no locks.
  bool LockAppend(const std::function<bool()>& keepWaiting);
  // Writes to the file already open as descriptor `fd` (standard output, as
  // the process was given it), where it stands: never reopened by name, so
  // what others write to the same descriptor before and after stays in
  // order. With `escapeControls`, C0 bytes other than LF and DEL are written
  // as "\xNN", and so are the C1 controls (U+0080..U+009F, each of their two
  // bytes) and every byte that starts no well-formed UTF-8 character, so a
  // text cannot drive a terminal. False when `fd` is not open.
  bool OpenDescriptor(int fd, bool escapeControls = false);
  bool IsOpen() const { return m_fd >= 0; }

  // Writes `size` bytes, each LF as CR LF. False once any write has failed.
  bool Write(const char* data, size_t size);
  bool Write(const std::string& text) { return Write(text.data(), text.size()); }
  bool Put(char c);
  // Writes `size` bytes that are already as the file stores them (each line
  // end CR LF), after what Write has buffered. For a writer that escapes
  // controls, use Write.
  bool WriteStored(const char* data, size_t size);
  bool EscapesControls() const { return m_escapeControls; }
  // Flushes and closes. False when anything since Open failed to reach the
  // file (a full disk shows here at the latest).
  bool Close();
  // Close() for an append that must leave nothing of itself behind when it
  // fails: when anything since Open did not reach the file, the file is cut
  // back to the length it had at Open, and `cutBack` says whether that was
  // done (only a regular file can be cut).
  bool CloseOrCutBack(bool& cutBack);

  bool Failed() const { return m_failed; }

  // The open descriptor, -1 when none.
  int Descriptor() const { return m_fd; }
  // Append modes: the file's length at Open (at LockAppend, when locked);
  // -1 when it is no regular file or was not opened to append.
  long long LengthAtOpen() const { return m_openedSize; }

  // kAppendOwnFile: whether the file was not empty at Open and its last byte
  // is not LF, so that what is appended would continue a line another
  // writer left unfinished. False when the file cannot be read.
  bool EndsMidLine() const { return m_endsMidLine; }

 private:
  bool Flush();
  void ReleaseHeldBack();
  void MeasureAppendStart();
  void Unlock();
  bool WriteText(const char* data, size_t size);

  // What is gathered for one write call. A page is written through here
  // whole, and each call costs the file system its locking and bookkeeping,
  // so the calls are few and large.
  static constexpr size_t kBufferSize = 256 * 1024;

  int m_fd = -1;
  std::unique_ptr<char[]> m_buf;  // on the heap: writers live on the stack
  size_t m_len = 0;
  bool m_failed = false;
  bool m_escapeControls = false;
  std::string m_heldBack;       // escaping: the start of a character split by a call
  long long m_openedSize = -1;  // append modes: the length at Open
  bool m_endsMidLine = false;
  bool m_ownFile = false;  // kAppendOwnFile
  int m_lockFd = -1;       // the copy of m_fd that holds the append lock
};

}  // namespace platform

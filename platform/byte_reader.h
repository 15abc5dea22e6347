#pragma once
// A file read as the bytes it holds, block by block, for a reader that
// applies a view of its own (the anchor scan reads the text-mode view
// straight off the stored bytes).
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace platform {

class ByteReader {
 public:
  ByteReader() = default;
  ~ByteReader();
  ByteReader(const ByteReader&) = delete;
  ByteReader& operator=(const ByteReader&) = delete;

  // Opens `path` for reading; a folder is refused. False when it cannot be
  // opened. `mapped`: whether a regular file may be mapped (see Next); a
  // file someone else may change is only ever read.
  bool Open(const std::string& path, bool mapped = true);
  void Close();

  // The next block of the file, valid until the next call; empty at the end
  // of the file. Failed() tells a read error apart.
  //
  // A regular file is mapped a window at a time, which spares copying it
  // into this process; the caller must own the file, since one cut short by
  // someone else while mapped would end the process (SIGBUS). Whatever lies
  // beyond the length the file had when opened, and any file that cannot be
  // mapped, is read.
  std::string_view Next();

  bool Failed() const { return m_failed; }

 private:
  static constexpr size_t kWindow = 1 << 20;    // what is mapped at a time
  static constexpr size_t kBlock = 128 * 1024;  // what is read at a time

  void Unmap();

  int m_fd = -1;
  off_t m_mappedSize = 0;  // the part of the file that is mapped, window by window
  off_t m_offset = 0;      // where the next window starts
  void* m_window = nullptr;
  size_t m_windowSize = 0;
  std::unique_ptr<char[]> m_block;
  bool m_regular = false;
  bool m_failed = false;
};

}  // namespace platform

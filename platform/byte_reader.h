#pragma once
// A file read as the bytes it holds, block by block, for a reader that
// applies a view of its own (the anchor scan reads the text-mode view
// straight off the stored bytes).
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

class ByteReader {
 public:
  ByteReader();
  ~ByteReader();
  ByteReader(const ByteReader&) = delete;
  ByteReader& operator=(const ByteReader&) = delete;

  // Opens `path` for reading; a folder is refused. False when it cannot be
  // opened.
  bool Open(const std::string& path);
  void Close();

  // The next block of the file, valid until the next call; empty at the end
  // of the file. Failed() tells a read error apart.
  std::string_view Next();

  bool Failed() const { return m_failed; }

 private:
  static constexpr size_t kBlock = 128 * 1024;

  int m_fd = -1;
  std::unique_ptr<char[]> m_block;
  bool m_failed = false;
};

}  // namespace platform

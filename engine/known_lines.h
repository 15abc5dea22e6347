#pragma once
// The lines an output file already holds, for --new-only: each kept as a
// 128-bit hash of its bytes (without its line end), so that a file of
// millions of lines is read once and asked about in constant time.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// The hash of one line, fed in pieces: the same bytes give the same hash
// however they are split.
class LineHash {
 public:
  void Add(std::string_view piece);
  struct Key {
    uint64_t a;
    uint64_t b;
    bool operator==(const Key&) const = default;
  };
  Key Finish() const;

 private:
  void Mix(uint64_t word);

  uint64_t m_a = 0x243F6A8885A308D3u;
  uint64_t m_b = 0x13198A2E03707344u;
  uint64_t m_length = 0;
  unsigned char m_tail[8] = {};
  size_t m_tailSize = 0;
};

class KnownLines {
 public:
  // Takes in the lines of the file open as `fd`, its first `length` bytes
  // (nothing for a negative length: no regular file). A line ends at LF,
  // with a CR before it dropped, as text mode reads it; the last may lack
  // its end. False when the file cannot be read.
  bool ReadFile(int fd, long long length);
  // Adds a line; false when it was there already.
  bool Insert(LineHash::Key key);

 private:
  void Grow();
  static void Place(std::vector<LineHash::Key>& slots, LineHash::Key key);

  std::vector<LineHash::Key> m_slots;  // open addressing; {0, 0} is empty
  size_t m_count = 0;
};

#include "engine/known_lines.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>

#include "platform/file_io.h"

namespace {

constexpr uint64_t kMulA = 0x9E3779B97F4A7C15u;
constexpr uint64_t kMulB = 0xC2B2AE3D27D4EB4Fu;

constexpr uint64_t RotateLeft(uint64_t x, int n) { return (x << n) | (x >> (64 - n)); }

// Spreads every bit of `x` over the whole word.
constexpr uint64_t Settle(uint64_t x) {
  x ^= x >> 31;
  x *= 0xBF58476D1CE4E5B9u;
  x ^= x >> 29;
  x *= 0x94D049BB133111EBu;
  return x ^ (x >> 32);
}

}  // namespace

// Two lanes with their own multipliers and rotations, eight bytes at a
// step: 128 bits that two lines of a file share by chance too seldom to
// matter.
void LineHash::Mix(uint64_t word) {
  m_a = RotateLeft((m_a ^ word) * kMulA, 29);
  m_b = RotateLeft((m_b + word) * kMulB, 31) ^ m_a;
}

void LineHash::Add(std::string_view piece) {
  m_length += piece.size();
  if (m_tailSize > 0) {
    const size_t take = std::min(piece.size(), 8 - m_tailSize);
    std::memcpy(m_tail + m_tailSize, piece.data(), take);
    m_tailSize += take;
    piece.remove_prefix(take);
    if (m_tailSize < 8) return;
    uint64_t word;
    std::memcpy(&word, m_tail, 8);
    Mix(word);
    m_tailSize = 0;
  }
  while (piece.size() >= 8) {
    uint64_t word;
    std::memcpy(&word, piece.data(), 8);
    Mix(word);
    piece.remove_prefix(8);
  }
  std::memcpy(m_tail, piece.data(), piece.size());
  m_tailSize = piece.size();
}

LineHash::Key LineHash::Finish() const {
  uint64_t last = 0;
  std::memcpy(&last, m_tail, m_tailSize);
  LineHash rest = *this;
  rest.Mix(last ^ (m_length << 56));
  Key key{Settle(rest.m_a ^ m_length), Settle(rest.m_b + kMulA * m_length)};
  // {0, 0} marks an empty slot.
  if (key.a == 0 && key.b == 0) key.b = 1;
  return key;
}

bool KnownLines::Insert(LineHash::Key key) {
  if ((m_count + 1) * 4 > m_slots.size() * 3) Grow();
  const size_t mask = m_slots.size() - 1;
  for (size_t at = key.a & mask;; at = (at + 1) & mask) {
    LineHash::Key& slot = m_slots[at];
    if (slot == key) return false;
    if (slot.a == 0 && slot.b == 0) {
      slot = key;
      ++m_count;
      return true;
    }
  }
}

void KnownLines::Place(std::vector<LineHash::Key>& slots, LineHash::Key key) {
  const size_t mask = slots.size() - 1;
  size_t at = key.a & mask;
  while (slots[at].a != 0 || slots[at].b != 0) at = (at + 1) & mask;
  slots[at] = key;
}

void KnownLines::Grow() {
  std::vector<LineHash::Key> old(m_slots.empty() ? 1024 : m_slots.size() * 2, LineHash::Key{0, 0});
  old.swap(m_slots);
  for (const LineHash::Key& key : old)
    if (key.a != 0 || key.b != 0) Place(m_slots, key);
}

bool KnownLines::ReadFile(int fd, long long length) {
  // Room for lines of 64 bytes at once: growing step by step would hash
  // every line again at each step.
  const size_t expected = static_cast<size_t>(std::max<long long>(length, 0) / 64);
  if (m_slots.size() * 3 < expected * 4) {
    size_t size = 1024;
    while (size * 3 < expected * 4) size *= 2;
    std::vector<LineHash::Key> slots(size, LineHash::Key{0, 0});
    for (const LineHash::Key& key : m_slots)
      if (key.a != 0 || key.b != 0) Place(slots, key);
    m_slots.swap(slots);
  }
  std::vector<char> block(1 << 20);
  // The table is far larger than the caches: each line's first probe would
  // wait for memory. The keys are gathered a batch at a time and their
  // slots fetched together before any is probed.
  LineHash::Key batch[32];
  size_t batched = 0;
  auto flush = [&] {
    const size_t mask = m_slots.size() - 1;
    for (size_t i = 0; i < batched; ++i) __builtin_prefetch(&m_slots[batch[i].a & mask]);
    for (size_t i = 0; i < batched; ++i) Insert(batch[i]);
    batched = 0;
  };
  // Grown beforehand, so that no insert of a batch moves the table.
  auto add = [&](LineHash::Key key) {
    if ((m_count + batched + 1) * 4 > m_slots.size() * 3) {
      flush();
      Grow();
    }
    batch[batched++] = key;
    if (batched == std::size(batch)) flush();
  };
  LineHash line;
  bool begun = false;      // bytes of a line not yet ended have been read
  bool pendingCr = false;  // and the last of them, a CR, waits to see an LF
  // A piece of the line, without an LF.
  auto take = [&](std::string_view piece) {
    if (piece.empty()) return;
    if (pendingCr) line.Add("\r");
    pendingCr = piece.back() == '\r';
    if (pendingCr) piece.remove_suffix(1);
    line.Add(piece);
    begun = true;
  };
  for (long long at = 0; at < length;) {
    const size_t want = static_cast<size_t>(std::min<long long>(length - at, block.size()));
    const long long n = platform::file_io::ReadAt(fd, block.data(), want, at);
    if (n <= 0) {
      flush();
      return false;
    }
    at += n;
    std::string_view rest(block.data(), static_cast<size_t>(n));
    while (const void* lf = std::memchr(rest.data(), '\n', rest.size())) {
      const size_t end = static_cast<size_t>(static_cast<const char*>(lf) - rest.data());
      take(rest.substr(0, end));
      add(line.Finish());
      line = LineHash();
      begun = pendingCr = false;
      rest.remove_prefix(end + 1);
    }
    take(rest);
  }
  if (begun) {
    if (pendingCr) line.Add("\r");
    add(line.Finish());
  }
  flush();
  return true;
}

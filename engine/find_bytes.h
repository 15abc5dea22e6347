#pragma once
// Searches for a few bytes at once, for the readers that skip long runs of
// ordinary characters (the tokenizer, the link list's records).
#include <bit>
#include <cstdint>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

// The first byte in [p, end) that is one of kBytes, or end. Sixteen bytes
// at a time with SSE2 (which every x86-64 has), as the anchor scanner does;
// elsewhere eight at a time in a word: a byte of the word equals b where
// (word ^ b...b) has a zero byte, and the lowest byte the zero test flags is
// always a true zero (a false one needs a borrow from a true zero below it).
template <unsigned char... kBytes>
inline const char* FindAny(const char* p, const char* end) {
#ifdef __SSE2__
  const auto hitsAt = [](const char* at) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    __m128i hits = _mm_setzero_si128();
    ((hits = _mm_or_si128(hits, _mm_cmpeq_epi8(block, _mm_set1_epi8(static_cast<char>(kBytes))))),
     ...);
    return static_cast<unsigned>(_mm_movemask_epi8(hits));
  };
  const char* const begin = p;
  for (; end - p >= 16; p += 16)
    if (const unsigned mask = hitsAt(p)) return p + std::countr_zero(mask);
  // The last bytes of a range of sixteen or more: the sixteen that end it,
  // those already looked at left out.
  if (p != end && end - begin >= 16) {
    const unsigned mask = hitsAt(end - 16) >> (16 - (end - p));
    return mask ? p + std::countr_zero(mask) : end;
  }
#else
  if constexpr (std::endian::native == std::endian::little) {
    constexpr uint64_t kOnes = 0x0101010101010101ull, kHigh = 0x8080808080808080ull;
    for (; end - p >= 8; p += 8) {
      uint64_t word;
      std::memcpy(&word, p, 8);
      uint64_t hits = 0;
      ((hits |= ((word ^ (kOnes * kBytes)) - kOnes) & ~(word ^ (kOnes * kBytes)) & kHigh), ...);
      if (hits) return p + (std::countr_zero(hits) >> 3);
    }
  }
#endif
  while (p != end && ((static_cast<unsigned char>(*p) != kBytes) && ...)) ++p;
  return p;
}

// The first byte in [p, end) beyond ASCII, or end.
inline const char* FindNonAscii(const char* p, const char* end) {
#ifdef __SSE2__
  // A page is mostly ASCII: 64 bytes are looked at with one test, and only
  // a run that holds more is looked into.
  const auto load = [](const char* at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  };
  for (; end - p >= 64; p += 64)
    if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(load(p), load(p + 16)),
                                       _mm_or_si128(load(p + 32), load(p + 48)))))
      break;
  for (; end - p >= 16; p += 16)
    if (const int mask = _mm_movemask_epi8(load(p)))
      return p + std::countr_zero(static_cast<unsigned>(mask));
#else
  if constexpr (std::endian::native == std::endian::little) {
    for (; end - p >= 8; p += 8) {
      uint64_t word;
      std::memcpy(&word, p, 8);
      if (const uint64_t high = word & 0x8080808080808080ull)
        return p + (std::countr_zero(high) >> 3);
    }
  }
#endif
  while (p != end && static_cast<unsigned char>(*p) < 0x80) ++p;
  return p;
}

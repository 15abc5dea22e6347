#include "engine/anchor_scanner.h"

#include <cstdint>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "platform/text_file.h"

namespace {

using platform::kTextEnd;
using platform::ReadCr;

#ifdef __SSE2__
inline __m128i Load16(const char* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// Asks for the bytes a page ahead of `p`. The processor's own prefetch stops
// at each 4 KB page, where the scan between anchors would otherwise wait on
// memory. A prefetch never faults, beyond the end of the bytes too.
inline void PrefetchAhead(const char* p) {
  _mm_prefetch(reinterpret_cast<const char*>(reinterpret_cast<uintptr_t>(p) + 4096), _MM_HINT_T0);
}

// One bit per byte of `block` that is one of kBytes.
template <char... kBytes>
inline int Matches(__m128i block) {
  __m128i hits = _mm_setzero_si128();
  ((hits = _mm_or_si128(hits, _mm_cmpeq_epi8(block, _mm_set1_epi8(kBytes)))), ...);
  return _mm_movemask_epi8(hits);
}
#endif

// The first byte in [p, end) that is one of kBytes; end when there is none.
// The states that skip or copy runs of bytes spend their time here.
template <char... kBytes>
inline const char* FindAny(const char* p, const char* end) {
#ifdef __SSE2__
  for (; end - p >= 16; p += 16)
    if (int mask = Matches<kBytes...>(Load16(p))) return p + __builtin_ctz(mask);
#endif
  while (p < end && ((*p != kBytes) && ...)) ++p;
  return p;
}

// Outside: most of a page is text and tags that are not anchors. The first
// place in [p, end - 1) where "<" stands before a or A (or, stored, where a
// Ctrl-Z stands); end - 1 when there is none. `p` < `end`.
template <bool kApplyTextMode>
inline const char* FindAnchorOpen(const char* p, const char* end) {
  const char* const last = end - 1;
#ifdef __SSE2__
  const __m128i lt = _mm_set1_epi8('<'), a = _mm_set1_epi8('a'), caseBit = _mm_set1_epi8(0x20);
  for (; last - p >= 16; p += 16) {
    PrefetchAhead(p);
    const __m128i here = Load16(p);
    const __m128i next = _mm_or_si128(Load16(p + 1), caseBit);
    __m128i hits = _mm_and_si128(_mm_cmpeq_epi8(here, lt), _mm_cmpeq_epi8(next, a));
    if constexpr (kApplyTextMode)
      hits = _mm_or_si128(hits, _mm_cmpeq_epi8(here, _mm_set1_epi8(kTextEnd)));
    if (int mask = _mm_movemask_epi8(hits)) return p + __builtin_ctz(mask);
  }
#endif
  for (; p < last; ++p) {
    if (p[0] == '<' && (p[1] | 0x20) == 'a') return p;
    if (kApplyTextMode && p[0] == kTextEnd) return p;
  }
  return last;
}

// Whether the "<" at `at` opens a tag test, the scan having been Outside at
// `from`: in a run of "<", every second one is the byte after the one
// before it, which sends the scan back Outside without a test.
inline bool OpensTagTest(const char* from, const char* at) {
  const char* run = at;
  while (run > from && run[-1] == '<') --run;
  return (at - run) % 2 == 0;
}

}  // namespace

// The table, run over whole stretches where it can: between anchors it looks
// for "<a" pairs, in an anchor for f, in a value for its end. Stored input
// adds the text-mode view: a Ctrl-Z ends it; a CR counts only where the table
// tells CR and LF apart (after "<a", and in a value, which copies it), and
// there the byte after it decides.
template <bool kApplyTextMode>
void AnchorScanner::Run(const char* p, const char* const end, std::string& out) {
  int state = m_state;
  // A CR in a value: an LF when the next byte is LF (both taken), else a CR.
  // False when the next byte is in the next block.
  auto copyCr = [&] {
    if (p + 1 == end) return false;
    const platform::CrReading read = ReadCr(p[1]);
    out.push_back(read.byte);
    p += read.taken;
    return true;
  };
  while (p < end) {
    if (kApplyTextMode && *p == kTextEnd) {
      m_ended = true;
      break;
    }
    switch (state) {
      case kOutside: {
        const char* at = FindAnchorOpen<kApplyTextMode>(p, end);
        if (kApplyTextMode && *at == kTextEnd) {
          p = at;  // ends the input at the top of the loop
          break;
        }
        const bool opens = *at == '<' && OpensTagTest(p, at);
        if (at == end - 1) {  // no pair: only the last byte may start one
          state = opens ? kTagOpen : kOutside;
          p = end;
        } else if (opens) {
          state = kAnchorName;
          p = at + 2;
        } else {
          p = at + 1;  // that "<" was the byte after another
        }
        break;
      }
      case kTagOpen:
        state = (*p == 'a' || *p == 'A') ? kAnchorName : kOutside;
        ++p;
        break;
      case kAnchorName:
        if (kApplyTextMode && *p == '\r') {
          if (p + 1 == end) {
            m_crWaiting = true;
            p = end;
            break;
          }
          const platform::CrReading read = ReadCr(p[1]);
          state = read.byte == '\n' ? kInAnchor : kOutside;
          p += read.taken;
          break;
        }
        state = (*p == ' ' || *p == '\n') ? kInAnchor : kOutside;
        ++p;
        break;
      case kInAnchor: {
        const char* f =
            kApplyTextMode ? FindAny<'f', 'F', kTextEnd>(p, end) : FindAny<'f', 'F'>(p, end);
        p = f;
        if (p < end && *p != kTextEnd) {
          state = kAfterF;
          ++p;
        }
        break;
      }
      case kAfterF:
        // Any other byte, f included, goes back without being looked at again.
        state = *p == '=' ? kValueStart : kInAnchor;
        ++p;
        break;
      case kValueStart:
        if (*p == '"') {
          state = kQuoted;
          ++p;
        } else {
          // A stored CR is the value's first byte, CR or LF: left to kUnquoted.
          if (!kApplyTextMode || *p != '\r') out.push_back(*p++);
          state = kUnquoted;
        }
        break;
      case kQuoted: {
        const char* stop =
            kApplyTextMode ? FindAny<'"', '\r', kTextEnd>(p, end) : FindAny<'"'>(p, end);
        out.append(p, stop);
        p = stop;
        if (p == end || *p == kTextEnd) break;
        if (*p == '"') {
          out.push_back('\n');
          state = kOutside;
          ++p;
        } else if (!copyCr()) {
          m_crWaiting = true;
          p = end;
        }
        break;
      }
      case kUnquoted: {
        const char* stop =
            kApplyTextMode ? FindAny<' ', '>', '\r', kTextEnd>(p, end) : FindAny<' ', '>'>(p, end);
        out.append(p, stop);
        p = stop;
        if (p == end || *p == kTextEnd) break;
        if (*p == ' ' || *p == '>') {
          out.push_back('\n');
          state = kOutside;
          ++p;
        } else if (!copyCr()) {
          m_crWaiting = true;
          p = end;
        }
        break;
      }
      default:
        // Not a state of the table: start over as at the beginning.
        state = kOutside;
        break;
    }
  }
  m_state = state;
}

void AnchorScanner::Feed(const char* data, size_t size, std::string& out) {
  Run<false>(data, data + size, out);
}

void AnchorScanner::Step(char byte, std::string& out) { Run<false>(&byte, &byte + 1, out); }

bool AnchorScanner::FeedStored(const char* data, size_t size, std::string& out) {
  const char* p = data;
  const char* const end = data + size;
  if (m_crWaiting && p < end && !m_ended) {
    m_crWaiting = false;
    const platform::CrReading read = ReadCr(*p);
    Step(read.byte, out);
    p += read.taken - 1;  // the CR itself was the last block's
  }
  if (!m_ended) Run<true>(p, end, out);
  return !m_ended;
}

void AnchorScanner::EndStored(std::string& out) {
  if (!m_crWaiting) return;
  m_crWaiting = false;
  Step('\r', out);
}

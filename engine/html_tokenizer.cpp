#include "engine/html_tokenizer.h"

#include <bit>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "engine/find_bytes.h"

// The tokenizer is one function, Run, with a label for each state and gotos
// between them, as the standard writes its states: a transition costs a
// jump, and the state is stored only when a block runs out (or a token is
// emitted, since the sink may switch it). The states that read runs of
// ordinary characters (text, names, values, comments) take the whole run at
// once and fall back to the per-character code at the bytes that matter.
//
// Everything is read as bytes of UTF-8: every character the states single
// out is ASCII, and the bytes of other characters, never ASCII, fall to
// "anything else" wherever they stand, as their characters would.

namespace {

constexpr int kEof = -1;
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

enum : uint16_t {
  kSpace = 1,              // tab, LF, FF, space: the tokenizer's whitespace
  kEndsTagName = 2,        // whitespace, "/", ">", NUL, CR
  kEndsAttributeName = 4,  // whitespace, "/", ">", "=", NUL, CR
  kEndsUnquotedValue = 8,  // whitespace, "&", ">", NUL, CR
  kUpper = 16,             // A-Z
  kAlpha = 32,             // A-Z, a-z
  kAlphanumeric = 64,      // A-Z, a-z, 0-9
  kHexDigit = 128,         // 0-9, A-F, a-f
  kSpaceInTag = 256,       // whitespace and CR: in a tag, CR, LF and CR LF all are whitespace
  kPlainName = 512,        // what neither ends a name nor is a capital, "=" aside
};

struct ByteClasses {
  uint16_t of[256] = {};
  constexpr ByteClasses() {
    for (int c : {'\t', '\n', '\f', ' '}) of[c] |= kSpace | kSpaceInTag;
    of[static_cast<int>('\r')] |= kSpaceInTag;
    for (int c : {'\t', '\n', '\f', ' ', '/', '>', '\0', '\r'}) of[c] |= kEndsTagName;
    for (int c : {'\t', '\n', '\f', ' ', '/', '>', '=', '\0', '\r'}) of[c] |= kEndsAttributeName;
    for (int c : {'\t', '\n', '\f', ' ', '&', '>', '\0', '\r'}) of[c] |= kEndsUnquotedValue;
    for (int c = 'A'; c <= 'Z'; ++c) of[c] |= kUpper | kAlpha | kAlphanumeric;
    for (int c = 'a'; c <= 'z'; ++c) of[c] |= kAlpha | kAlphanumeric;
    for (int c = '0'; c <= '9'; ++c) of[c] |= kAlphanumeric | kHexDigit;
    for (int c = 'A'; c <= 'F'; ++c) of[c] |= kHexDigit;
    for (int c = 'a'; c <= 'f'; ++c) of[c] |= kHexDigit;
    for (int c = 0; c < 256; ++c)
      if (!(of[c] & (kEndsAttributeName | kUpper))) of[c] |= kPlainName;
  }
};
constexpr ByteClasses kClasses;

// `c` a byte or kEof.
inline bool Is(int c, uint16_t classes) { return c >= 0 && (kClasses.of[c] & classes); }
inline uint16_t ClassOf(char c) { return kClasses.of[static_cast<unsigned char>(c)]; }
inline char Lower(int c) { return static_cast<char>(Is(c, kUpper) ? c + 0x20 : c); }

// Appends [p, q) to `out`, ASCII capitals lower-cased; `classes` is the
// union of the bytes' classes, which says whether there are capitals.
inline void AppendName(std::string& out, const char* p, const char* q, uint16_t classes) {
  const size_t from = out.size();
  out.append(p, static_cast<size_t>(q - p));
  if (classes & kUpper)
    for (size_t i = from; i < out.size(); ++i) out[i] = Lower(static_cast<unsigned char>(out[i]));
}

// A bit for each attribute name's first letter and length: a repeated name
// is looked for only where its bit was set already.
inline void NoteName(std::string_view name, uint64_t& namesSeen, bool& maybeRepeated) {
  const uint64_t bit = uint64_t{1}
                       << ((static_cast<unsigned char>(name[0] | 0x20) + name.size() * 8) & 63);
  maybeRepeated |= (namesSeen & bit) != 0;
  namesSeen |= bit;
}

// The end of a tag or attribute name at p: the first byte of class kEnds
// (kEndsTagName or kEndsAttributeName), or end; `classes` gains kUpper when
// the name has capitals. With SSE2 sixteen bytes at a time: the bytes up to
// space, "/", ">" (and "=" for attribute names) may end it, and the table
// says whether the first of them does.
template <uint16_t kEnds>
[[gnu::noinline]] const char* FindLongNameEnd(const char* p, const char* end, uint16_t& classes) {
#ifdef __SSE2__
  const __m128i space = _mm_set1_epi8(' ');
  for (; end - p >= 16; p += 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i stops = _mm_cmpeq_epi8(_mm_min_epu8(block, space), block);
    stops = _mm_or_si128(stops, _mm_cmpeq_epi8(block, _mm_set1_epi8('/')));
    stops = _mm_or_si128(stops, _mm_cmpeq_epi8(block, _mm_set1_epi8('>')));
    if constexpr ((kEnds & kEndsAttributeName) != 0)
      stops = _mm_or_si128(stops, _mm_cmpeq_epi8(block, _mm_set1_epi8('=')));
    // A-Z: moved to the bottom of the signed range, below -128 + 26.
    const __m128i capitals =
        _mm_cmplt_epi8(_mm_add_epi8(block, _mm_set1_epi8(0x80 - 'A')), _mm_set1_epi8(-128 + 26));
    const unsigned stopMask = static_cast<unsigned>(_mm_movemask_epi8(stops));
    const unsigned capitalMask = static_cast<unsigned>(_mm_movemask_epi8(capitals));
    if (stopMask) {
      const unsigned at = static_cast<unsigned>(std::countr_zero(stopMask));
      if (capitalMask & ((1u << at) - 1)) classes |= kUpper;
      p += at;
      if (ClassOf(*p) & kEnds) return p;
      break;  // a control byte inside the name: the rest byte by byte
    }
    if (capitalMask) classes |= kUpper;
  }
#endif
  for (; p != end && !(ClassOf(*p) & kEnds); ++p) classes |= ClassOf(*p);
  return p;
}

// Names are mostly short and in small letters: those are read byte by byte
// here, and the rest, from the first capital or other byte on, by
// FindLongNameEnd.
template <uint16_t kEnds>
inline const char* FindNameEnd(const char* p, const char* end, uint16_t& classes) {
  while (p != end && (ClassOf(*p) & kPlainName)) ++p;
  if (p != end && (ClassOf(*p) & kEnds)) return p;
  return FindLongNameEnd<kEnds>(p, end, classes);
}

// The common attribute, name="value", at p (a byte that may begin a name):
// a name of bytes that do not end it, "=" right after it and a quoted
// value, read as the attribute states would read them. Its name and value,
// and the byte after the closing quote; nullptr when the attribute is not
// of this form (or not whole in the block), for the byte by byte reading.
// Read for its tag (kBuild), the name must be without capitals and the
// value in double quotes without references, CR or NUL; only walked over,
// it may be anything. With SSE2 the name and the start of the value come
// from one look at sixteen bytes.
template <bool kBuild>
inline const char* PlainAttribute(const char* p, const char* end, std::string_view& name,
                                  std::string_view& value) {
#ifdef __SSE2__
  if (end - p < 16) return nullptr;
  const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  // Control bytes, whitespace and NUL all stop here, and so do capitals in
  // a name to be read: only "=" may follow the name.
  __m128i stops = _mm_cmpeq_epi8(_mm_min_epu8(block, _mm_set1_epi8(' ')), block);
  stops = _mm_or_si128(stops, _mm_cmpeq_epi8(block, _mm_set1_epi8('/')));
  stops = _mm_or_si128(stops, _mm_cmpeq_epi8(block, _mm_set1_epi8('>')));
  stops = _mm_or_si128(stops, _mm_cmpeq_epi8(block, _mm_set1_epi8('=')));
  if constexpr (kBuild) {
    // A-Z: moved to the bottom of the signed range, below -128 + 26.
    stops = _mm_or_si128(stops, _mm_cmplt_epi8(_mm_add_epi8(block, _mm_set1_epi8(0x80 - 'A')),
                                               _mm_set1_epi8(-128 + 26)));
  }
  const unsigned stopMask = static_cast<unsigned>(_mm_movemask_epi8(stops));
  // A name that begins with "=" takes it as its first letter.
  if ((stopMask & 1) || stopMask == 0) return nullptr;
  const unsigned at = static_cast<unsigned>(std::countr_zero(stopMask));
  if (at > 14 || p[at] != '=') return nullptr;
  const char quote = p[at + 1];
  const char* const valueBegin = p + at + 2;
  const char* close;
  if constexpr (kBuild) {
    if (quote != '"') return nullptr;
    close = FindAny<'"', '&', '\r', '\0'>(valueBegin, end);
    if (close == end || *close != '"') return nullptr;
  } else {
    if (quote == '"')
      close = FindAny<'"'>(valueBegin, end);
    else if (quote == '\'')
      close = FindAny<'\''>(valueBegin, end);
    else
      return nullptr;
    if (close == end) return nullptr;
  }
  name = {p, at};
  value = {valueBegin, static_cast<size_t>(close - valueBegin)};
  return close + 1;
#else
  (void)p, (void)end, (void)name, (void)value;
  return nullptr;
#endif
}

// One byte: the library's search, after a look at the first bytes, where
// between tags the next "<" mostly stands.
inline const char* FindByte(const char* p, const char* end, char byte) {
  for (int i = 0; i < 8; ++i, ++p)
    if (p == end || *p == byte) return p;
  const void* found = std::memchr(p, byte, static_cast<size_t>(end - p));
  return found ? static_cast<const char*>(found) : end;
}

// The code points that numeric references to 0x80-0x9F stand for (the
// windows-1252 reading of those bytes); 0 where the number stays as it is.
constexpr uint16_t kC1Replacements[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

size_t EncodeUtf8(uint32_t cp, char* out) {
  if (cp < 0x80) {
    out[0] = static_cast<char>(cp);
    return 1;
  }
  if (cp < 0x800) {
    out[0] = static_cast<char>(0xC0 | (cp >> 6));
    out[1] = static_cast<char>(0x80 | (cp & 0x3F));
    return 2;
  }
  if (cp < 0x10000) {
    out[0] = static_cast<char>(0xE0 | (cp >> 12));
    out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[2] = static_cast<char>(0x80 | (cp & 0x3F));
    return 3;
  }
  out[0] = static_cast<char>(0xF0 | (cp >> 18));
  out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
  out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
  out[3] = static_cast<char>(0x80 | (cp & 0x3F));
  return 4;
}

}  // namespace

HtmlTokenizer::HtmlTokenizer(HtmlTokenSink& sink, Text text)
    : m_sink(sink), m_bText(text == Text::kDeliver) {}

void HtmlTokenizer::Feed(const char* data, size_t size) {
  if (m_nState == kDone || size == 0) return;
  // The input stream's preprocessing: a CR that ended the last block was
  // taken as LF already, so an LF right after it is the same line end.
  if (m_bCrPending) {
    m_bCrPending = false;
    if (*data == '\n') {
      ++data;
      if (--size == 0) return;
    }
  }
  Run(data, data + size, false);
  m_bCrPending = data[size - 1] == '\r';
}

void HtmlTokenizer::Finish() {
  if (m_nState == kDone) return;
  m_bCrPending = false;
  Run(nullptr, nullptr, true);
}

void HtmlTokenizer::SetContentState(ContentState state) {
  if (m_nState == kDone) return;
  switch (state) {
    case ContentState::kData:
      m_nState = kData;
      break;
    case ContentState::kRcdata:
      m_nState = kRcdata;
      break;
    case ContentState::kRawtext:
      m_nState = kRawtext;
      break;
    case ContentState::kScriptData:
      m_nState = kScriptData;
      break;
    case ContentState::kPlaintext:
      m_nState = kPlaintext;
      break;
    case ContentState::kCdataSection:
      m_nState = kCdataSection;
      break;
  }
}

void HtmlTokenizer::SetLastStartTag(std::string_view name) { m_strLastStartTag.assign(name); }

size_t HtmlTokenizer::BufferCapacity() const {
  return m_strTagName.capacity() + m_strLastStartTag.capacity() + m_strAttributes.capacity() +
         m_vAttributes.capacity() * sizeof(AttributeSpan) +
         m_vNameSlots.capacity() * sizeof(uint32_t) +
         m_vEmitted.capacity() * sizeof(HtmlAttribute) +
         m_vLoweredNames.capacity() * sizeof(LoweredName) + m_strComment.capacity() +
         m_strDoctypeName.capacity() + m_strPublicId.capacity() + m_strSystemId.capacity() +
         m_strTemporary.capacity() + sizeof m_szReference;
}

void HtmlTokenizer::TextLiteral(std::string_view text) {
  if (!m_bText || text.empty()) return;
  FlushText();
  m_sink.OnCharacters(text);
}

void HtmlTokenizer::FlushText() {
  if (m_pRunEnd != m_pRunBegin) m_sink.OnCharacters({m_pRunBegin, m_pRunEnd});
  m_pRunBegin = m_pRunEnd = nullptr;
}

void HtmlTokenizer::TextWritten(const char* p, std::string_view written) {
  if (!m_bText) return;
  const size_t size = written.size();
  if (static_cast<size_t>(p - m_pBlock) >= size)
    EmitRun(p - size, size);
  else
    TextLiteral(written);
}

void HtmlTokenizer::TextEndTagAsWritten(const char* p) {
  if (!m_bText) return;
  const size_t size = 2 + m_strTemporary.size();
  if (static_cast<size_t>(p - m_pBlock) >= size) {
    EmitRun(p - size, size);
  } else {
    TextLiteral("</");
    TextLiteral(m_strTemporary);
  }
}

const char* HtmlTokenizer::FastStartTag(const char* p, const char* const end) {
  // A tag the sink does not want, as most are, is told by its name alone,
  // mostly in small letters: it is walked to its end at once.
  const char* q = p;
  while (q != end && (ClassOf(*q) & kPlainName)) ++q;
  if (!m_bText && m_pWantedStartTags && q != end && *q != '\0' && (ClassOf(*q) & kEndsTagName) &&
      !m_pWantedStartTags->MayHave({p, static_cast<size_t>(q - p)})) {
    q = SkipStartTag(q, end);
    if (q) m_nState = kData;
    return q;
  }
  return ReadStartTag(p, end);
}

const char* HtmlTokenizer::ReadStartTag(const char* p, const char* const end) {
  const char* q = p;
  uint16_t classes = 0;
  q = FindNameEnd<kEndsTagName>(q, end, classes);
  if (q == end || *q == '\0') return nullptr;
  std::string_view name(p, static_cast<size_t>(q - p));
  if (classes & kUpper) {
    m_strTagName.clear();
    AppendName(m_strTagName, p, q, classes);
    name = m_strTagName;
  }
  if (!m_bText && m_pWantedStartTags && !m_pWantedStartTags->MayHave(name)) {
    q = SkipStartTag(q, end);
    if (q) m_nState = kData;
    return q;
  }
  size_t count = 0;
  m_vLoweredNames.clear();
  m_strAttributes.clear();
  bool selfClosing = false;
  uint64_t namesSeen = 0;
  bool maybeRepeated = false;
  // The before attribute name state: whitespace (CR among it, as CR LF, CR
  // and LF all read as whitespace here) is skipped; after a quoted value,
  // anything else is read here too.
  for (;;) {
    while (q != end && (ClassOf(*q) & kSpaceInTag)) ++q;
    if (q == end) return nullptr;
    if (*q == '>') {
      ++q;
      break;
    }
    if (*q == '/') {
      // The self-closing start tag state: anything but ">" is read again as
      // before an attribute name.
      if (++q == end) return nullptr;
      if (*q == '>') {
        selfClosing = true;
        ++q;
        break;
      }
      continue;
    }
    if (*q == '=' || *q == '\0') return nullptr;
    // Sixteen attributes are as many as repeated names are looked for among
    // one by one here; more go to the states and their hash.
    if (count == kFastAttributes) return nullptr;
    HtmlAttribute attribute;
    if (const char* after = PlainAttribute<true>(q, end, attribute.name, attribute.value)) {
      q = after;
      NoteName(attribute.name, namesSeen, maybeRepeated);
      m_fastAttributes[count++] = attribute;
      continue;
    }
    const char* const nameBegin = q;
    classes = 0;
    q = FindNameEnd<kEndsAttributeName>(q, end, classes);
    if (q == end || *q == '\0') return nullptr;
    attribute.name = {nameBegin, static_cast<size_t>(q - nameBegin)};
    NoteName(attribute.name, namesSeen, maybeRepeated);
    if (classes & kUpper) {
      m_vLoweredNames.push_back({count, m_strAttributes.size(), attribute.name.size()});
      AppendName(m_strAttributes, nameBegin, q, classes);
    }
    // After the attribute name: whitespace, then "=" or the next attribute.
    const char* r = q;
    while (r != end && (ClassOf(*r) & kSpaceInTag)) ++r;
    if (r == end) return nullptr;
    if (*r != '=') {
      q = r;
      m_fastAttributes[count++] = attribute;
      continue;
    }
    for (q = r + 1; q != end && (ClassOf(*q) & kSpaceInTag);) ++q;
    if (q == end) return nullptr;
    const char quote = *q;
    if (quote == '"' || quote == '\'') {
      const char* const value = q + 1;
      q = quote == '"' ? FindAny<'"', '&', '\r', '\0'>(value, end)
                       : FindAny<'\'', '&', '\r', '\0'>(value, end);
      if (q == end || *q != quote) return nullptr;
      attribute.value = {value, static_cast<size_t>(q - value)};
      ++q;
    } else {
      if (quote == '>') return nullptr;
      const char* const value = q;
      while (q != end && !(ClassOf(*q) & kEndsUnquotedValue)) ++q;
      if (q == end || *q == '&' || *q == '\0') return nullptr;
      attribute.value = {value, static_cast<size_t>(q - value)};
    }
    m_fastAttributes[count++] = attribute;
  }
  for (const LoweredName& lowered : m_vLoweredNames)
    m_fastAttributes[lowered.index].name = {m_strAttributes.data() + lowered.offset, lowered.size};
  // Of a name written twice, the first.
  if (maybeRepeated) {
    size_t kept = 1;
    for (size_t i = 1; i < count; ++i) {
      bool repeated = false;
      for (size_t j = 0; j < kept && !repeated; ++j)
        repeated = m_fastAttributes[j].name == m_fastAttributes[i].name;
      if (!repeated) m_fastAttributes[kept++] = m_fastAttributes[i];
    }
    count = kept;
  }

  FlushText();
  m_nState = kData;
  m_strLastStartTag.assign(name);
  HtmlTag tag;
  tag.name = name;
  tag.attributes = {m_fastAttributes.data(), count};
  tag.selfClosing = selfClosing;
  m_sink.OnStartTag(tag);
  return q;
}

const char* HtmlTokenizer::FastEndTag(const char* p, const char* const end) {
  // Mostly a name in small letters right before ">".
  const char* q = p;
  while (q != end && (ClassOf(*q) & kPlainName)) ++q;
  if (q == end || *q != '>') return FastEndTagRest(p, end);
  const std::string_view name(p, static_cast<size_t>(q - p));
  if (m_bText || !m_pWantedEndTags || m_pWantedEndTags->MayHave(name)) {
    ReadEndTag(name);
  } else {
    m_nState = kData;
  }
  return q + 1;
}

const char* HtmlTokenizer::FastEndTagRest(const char* p, const char* const end) {
  const char* q = p;
  uint16_t classes = 0;
  q = FindNameEnd<kEndsTagName>(q, end, classes);
  const char* const nameEnd = q;
  while (q != end && (ClassOf(*q) & kSpaceInTag)) ++q;
  // Attributes, "/" and NUL are for the states.
  if (q == end || *q != '>') return nullptr;
  std::string_view name(p, static_cast<size_t>(nameEnd - p));
  if (classes & kUpper) {
    m_strTagName.clear();
    AppendName(m_strTagName, p, nameEnd, classes);
    name = m_strTagName;
  }
  ReadEndTag(name);
  return q + 1;
}

void HtmlTokenizer::ReadEndTag(std::string_view name) {
  FlushText();
  m_nState = kData;
  if (!m_bText && m_pWantedEndTags && !m_pWantedEndTags->MayHave(name)) return;
  HtmlTag tag;
  tag.name = name;
  m_sink.OnEndTag(tag);
}

const char* HtmlTokenizer::SkipStartTag(const char* p, const char* const end) {
  // Of the states after the name, those that differ in where the tag ends:
  // before an attribute name (after a quoted value and after "/" alike, as
  // anything there but ">" is read again before an attribute name), in a
  // name, after a name, and before a value. ">" ends the tag wherever it
  // stands outside a quoted value; a quote opens a value only after "=".
  // References in values never take a quote, whitespace or ">".
  uint16_t classes = 0;
before_name:
  while (p != end && ((ClassOf(*p) & kSpaceInTag) || *p == '/')) ++p;
  if (p == end) return nullptr;
  if (*p == '>') return p + 1;
  {
    std::string_view name, value;
    if (const char* after = PlainAttribute<false>(p, end, name, value)) {
      p = after;
      goto before_name;
    }
  }
  ++p;  // the name's first character, whatever it is ("=" and quotes too)
in_name:
  p = FindNameEnd<kEndsAttributeName>(p, end, classes);
  if (p == end || *p == '\0') return nullptr;
  switch (*p++) {
    case '>':
      return p;
    case '/':
      goto before_name;
    case '=':
      goto before_value;
  }
  while (p != end && (ClassOf(*p) & kSpaceInTag)) ++p;
  if (p == end) return nullptr;
  switch (*p) {
    case '>':
      return p + 1;
    case '/':
      ++p;
      goto before_name;
    case '=':
      ++p;
      goto before_value;
  }
  goto in_name;
before_value:
  while (p != end && (ClassOf(*p) & kSpaceInTag)) ++p;
  if (p == end) return nullptr;
  if (*p == '"' || *p == '\'') {
    p = *p == '"' ? FindAny<'"'>(p + 1, end) : FindAny<'\''>(p + 1, end);
    if (p == end) return nullptr;
    ++p;
    goto before_name;
  }
  while (p != end && *p != '>' && !(ClassOf(*p) & kSpaceInTag)) ++p;
  if (p == end) return nullptr;
  if (*p == '>') return p + 1;
  ++p;
  goto before_name;
}

void HtmlTokenizer::StartTag(bool end) {
  m_bEndTag = end;
  m_bSelfClosing = false;
  m_strTagName.clear();
  m_strAttributes.clear();
  m_vAttributes.clear();
  m_vNameSlots.clear();
}

void HtmlTokenizer::StartAttribute() {
  m_vAttributes.push_back({m_strAttributes.size(), std::string::npos, false});
}

void HtmlTokenizer::EndAttributeName() {
  AttributeSpan& attribute = m_vAttributes.back();
  attribute.valueOffset = m_strAttributes.size();
  attribute.repeated = IsRepeatedName(m_vAttributes.size() - 1);
}

std::string_view HtmlTokenizer::AttributeName(size_t index) const {
  const AttributeSpan& a = m_vAttributes[index];
  return std::string_view(m_strAttributes).substr(a.nameOffset, a.valueOffset - a.nameOffset);
}

bool HtmlTokenizer::IsRepeatedName(size_t index) {
  const std::string_view name = AttributeName(index);
  // A tag has a handful of attributes; one with thousands (a hostile page)
  // must not cost their square, so past a few the names go in a hash.
  constexpr size_t kLinear = 16;
  if (index < kLinear) {
    for (size_t i = 0; i < index; ++i)
      if (!m_vAttributes[i].repeated && AttributeName(i) == name) return true;
    return false;
  }
  auto hash = [](std::string_view s) {
    uint32_t h = 2166136261u;
    for (char c : s) h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
    return h;
  };
  auto insert = [&](size_t i) {
    const size_t mask = m_vNameSlots.size() - 1;
    const std::string_view n = AttributeName(i);
    for (size_t slot = hash(n) & mask;; slot = (slot + 1) & mask) {
      if (m_vNameSlots[slot] == 0) {
        m_vNameSlots[slot] = static_cast<uint32_t>(i + 1);
        return true;
      }
      if (AttributeName(m_vNameSlots[slot] - 1) == n) return false;
    }
  };
  if (m_vNameSlots.size() < 2 * (index + 1)) {
    size_t size = 64;
    while (size < 4 * (index + 1)) size *= 2;
    m_vNameSlots.assign(size, 0);
    for (size_t i = 0; i < index; ++i)
      if (!m_vAttributes[i].repeated) insert(i);
  }
  return !insert(index);
}

void HtmlTokenizer::EmitTag() {
  FlushText();
  m_nState = kData;
  HtmlTag tag;
  tag.selfClosing = m_bSelfClosing;
  if (m_bEndTag) {
    tag.name = m_strTagName;
    m_sink.OnEndTag(tag);
    return;
  }
  m_vEmitted.clear();
  const std::string_view text = m_strAttributes;
  for (size_t i = 0; i < m_vAttributes.size(); ++i) {
    const AttributeSpan& a = m_vAttributes[i];
    if (a.repeated) continue;
    const size_t valueEnd =
        i + 1 < m_vAttributes.size() ? m_vAttributes[i + 1].nameOffset : text.size();
    m_vEmitted.push_back({text.substr(a.nameOffset, a.valueOffset - a.nameOffset),
                          text.substr(a.valueOffset, valueEnd - a.valueOffset)});
  }
  tag.attributes = m_vEmitted;
  // The name stays as the last start tag; the next tag builds in the other
  // string.
  m_strLastStartTag.swap(m_strTagName);
  tag.name = m_strLastStartTag;
  m_sink.OnStartTag(tag);
}

void HtmlTokenizer::EmitComment() {
  FlushText();
  m_nState = kData;
  if (m_bText) m_sink.OnComment(m_strComment);
}

void HtmlTokenizer::StartDoctype() {
  m_strDoctypeName.clear();
  m_strPublicId.clear();
  m_strSystemId.clear();
  m_bHasDoctypeName = m_bHasPublicId = m_bHasSystemId = m_bForceQuirks = false;
}

void HtmlTokenizer::EmitDoctype() {
  FlushText();
  m_nState = kData;
  HtmlDoctype doctype;
  if (m_bHasDoctypeName) doctype.name = m_strDoctypeName;
  if (m_bHasPublicId) doctype.publicId = m_strPublicId;
  if (m_bHasSystemId) doctype.systemId = m_strSystemId;
  doctype.forceQuirks = m_bForceQuirks;
  m_sink.OnDoctype(doctype);
}

void HtmlTokenizer::EmitEndOfFile() {
  FlushText();
  m_nState = kDone;
  m_sink.OnEndOfFile();
}

bool HtmlTokenizer::IsAppropriateEndTag() const {
  const std::string_view last = m_strLastStartTag;
  if (last.empty() || last.size() != m_strTemporary.size()) return false;
  for (size_t i = 0; i < last.size(); ++i)
    if ((m_strTemporary[i] | 0x20) != last[i]) return false;  // letters only
  return true;
}

void HtmlTokenizer::ReferenceText(std::string_view text) {
  if (ReferenceInAttribute())
    m_strAttributes.append(text);
  else
    TextLiteral(text);
}

void HtmlTokenizer::ReferenceAsWritten(const char* p, size_t from) {
  const std::string_view written(m_szReference + from, m_nReferenceLength - from);
  if (ReferenceInAttribute())
    m_strAttributes.append(written);
  else
    TextWritten(p, written);
}

void HtmlTokenizer::EndNamedReference(int next, const char* p) {
  const NamedCharacterReference* match = m_walk.Match();
  if (!match) {
    // Nothing matched: "&" and the letters and digits after it stay as
    // they are (the ambiguous ampersand state, whose characters the return
    // state would take alike).
    ReferenceAsWritten(p, 0);
    return;
  }
  const size_t matched = 1 + match->nameLength;
  if (matched < m_nReferenceLength) next = static_cast<unsigned char>(m_szReference[matched]);
  if (ReferenceInAttribute() && m_szReference[matched - 1] != ';' &&
      (next == '=' || Is(next, kAlphanumeric))) {
    // In an attribute, "&copy=" and "&copyx" without the semicolon were
    // written before references were known: they stay as written.
    ReferenceAsWritten(p, 0);
    return;
  }
  ReferenceText(NamedReferenceWalk::Text(*match));
  // The letters taken past the longest name, looking for a longer one.
  if (matched < m_nReferenceLength) ReferenceAsWritten(p, matched);
}

void HtmlTokenizer::EndNumericReference() {
  uint32_t code = m_nCode;
  if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
    code = 0xFFFD;
  else if (code >= 0x80 && code <= 0x9F && kC1Replacements[code - 0x80])
    code = kC1Replacements[code - 0x80];
  char utf8[4];
  ReferenceText({utf8, EncodeUtf8(code, utf8)});
}

// The states' code. FETCH reads the character at p into c, after the input
// stream's preprocessing (CR LF and a lone CR read as LF, `advance` the bytes
// it covers); at the end of a block it stores `state` and returns, at the
// end of the input it reads kEof. CONSUME takes the character; a state that
// reconsumes it jumps without.
#define FETCH(state)                                \
  if (p == end) {                                   \
    if (!eof) {                                     \
      m_nState = state;                             \
      goto suspend;                                 \
    }                                               \
    c = kEof;                                       \
  } else {                                          \
    c = static_cast<unsigned char>(*p);             \
    advance = 1;                                    \
    if (c == '\r') {                                \
      c = '\n';                                     \
      if (end - p > 1 && p[1] == '\n') advance = 2; \
    }                                               \
  }
#define CONSUME() (p += advance)
// The current character as text: a CR read as LF is no byte of the block.
#define TEXT_CURRENT()   \
  if (*p != '\r')        \
    EmitRun(p, 1);       \
  else if (advance == 2) \
    EmitRun(p + 1, 1);   \
  else                   \
    TextLiteral("\n")
#define SPACE_CASES \
  case '\t':        \
  case '\n':        \
  case '\f':        \
  case ' '

void HtmlTokenizer::Run(const char* p, const char* const end, const bool eof) {
  m_pBlock = p;
  int c = 0;
  size_t advance = 1;

dispatch:
  switch (m_nState) {
    case kData:
      goto data;
    case kRcdata:
      goto rcdata;
    case kRawtext:
      goto rawtext;
    case kScriptData:
      goto script_data;
    case kPlaintext:
      goto plaintext;
    case kTagOpen:
      goto tag_open;
    case kEndTagOpen:
      goto end_tag_open;
    case kTagName:
      goto tag_name;
    case kRcdataLessThanSign:
      goto rcdata_less_than_sign;
    case kRcdataEndTagOpen:
      goto rcdata_end_tag_open;
    case kRcdataEndTagName:
      goto rcdata_end_tag_name;
    case kRawtextLessThanSign:
      goto rawtext_less_than_sign;
    case kRawtextEndTagOpen:
      goto rawtext_end_tag_open;
    case kRawtextEndTagName:
      goto rawtext_end_tag_name;
    case kScriptDataLessThanSign:
      goto script_data_less_than_sign;
    case kScriptDataEndTagOpen:
      goto script_data_end_tag_open;
    case kScriptDataEndTagName:
      goto script_data_end_tag_name;
    case kScriptDataEscapeStart:
      goto script_data_escape_start;
    case kScriptDataEscapeStartDash:
      goto script_data_escape_start_dash;
    case kScriptDataEscaped:
      goto script_data_escaped;
    case kScriptDataEscapedDash:
      goto script_data_escaped_dash;
    case kScriptDataEscapedDashDash:
      goto script_data_escaped_dash_dash;
    case kScriptDataEscapedLessThanSign:
      goto script_data_escaped_less_than_sign;
    case kScriptDataEscapedEndTagOpen:
      goto script_data_escaped_end_tag_open;
    case kScriptDataEscapedEndTagName:
      goto script_data_escaped_end_tag_name;
    case kScriptDataDoubleEscapeStart:
      goto script_data_double_escape_start;
    case kScriptDataDoubleEscaped:
      goto script_data_double_escaped;
    case kScriptDataDoubleEscapedDash:
      goto script_data_double_escaped_dash;
    case kScriptDataDoubleEscapedDashDash:
      goto script_data_double_escaped_dash_dash;
    case kScriptDataDoubleEscapedLessThanSign:
      goto script_data_double_escaped_less_than_sign;
    case kScriptDataDoubleEscapeEnd:
      goto script_data_double_escape_end;
    case kBeforeAttributeName:
      goto before_attribute_name;
    case kAttributeName:
      goto attribute_name;
    case kAfterAttributeName:
      goto after_attribute_name;
    case kBeforeAttributeValue:
      goto before_attribute_value;
    case kAttributeValueDoubleQuoted:
      goto attribute_value_double_quoted;
    case kAttributeValueSingleQuoted:
      goto attribute_value_single_quoted;
    case kAttributeValueUnquoted:
      goto attribute_value_unquoted;
    case kAfterAttributeValueQuoted:
      goto after_attribute_value_quoted;
    case kSelfClosingStartTag:
      goto self_closing_start_tag;
    case kBogusComment:
      goto bogus_comment;
    case kMarkupDeclarationOpen:
      goto markup_declaration_open;
    case kCommentStart:
      goto comment_start;
    case kCommentStartDash:
      goto comment_start_dash;
    case kComment:
      goto comment;
    case kCommentLessThanSign:
      goto comment_less_than_sign;
    case kCommentLessThanSignBang:
      goto comment_less_than_sign_bang;
    case kCommentLessThanSignBangDash:
      goto comment_less_than_sign_bang_dash;
    case kCommentLessThanSignBangDashDash:
      goto comment_end;
    case kCommentEndDash:
      goto comment_end_dash;
    case kCommentEnd:
      goto comment_end;
    case kCommentEndBang:
      goto comment_end_bang;
    case kDoctype:
      goto doctype;
    case kBeforeDoctypeName:
      goto before_doctype_name;
    case kDoctypeName:
      goto doctype_name;
    case kAfterDoctypeName:
      goto after_doctype_name;
    case kAfterDoctypeNameKeyword:
      goto after_doctype_name_keyword;
    case kAfterDoctypePublicKeyword:
      goto after_doctype_public_keyword;
    case kBeforeDoctypePublicIdentifier:
      goto before_doctype_public_identifier;
    case kDoctypePublicIdentifierDoubleQuoted:
    case kDoctypePublicIdentifierSingleQuoted:
      goto doctype_public_identifier;
    case kAfterDoctypePublicIdentifier:
      goto after_doctype_public_identifier;
    case kBetweenDoctypePublicAndSystemIdentifiers:
      goto between_doctype_public_and_system_identifiers;
    case kAfterDoctypeSystemKeyword:
      goto after_doctype_system_keyword;
    case kBeforeDoctypeSystemIdentifier:
      goto before_doctype_system_identifier;
    case kDoctypeSystemIdentifierDoubleQuoted:
    case kDoctypeSystemIdentifierSingleQuoted:
      goto doctype_system_identifier;
    case kAfterDoctypeSystemIdentifier:
      goto after_doctype_system_identifier;
    case kBogusDoctype:
      goto bogus_doctype;
    case kCdataSection:
      goto cdata_section;
    case kCdataSectionBracket:
      goto cdata_section_bracket;
    case kCdataSectionEnd:
      goto cdata_section_end;
    case kCharacterReference:
      goto character_reference;
    case kNamedCharacterReference:
      goto named_character_reference;
    case kNumericCharacterReference:
      goto numeric_character_reference;
    case kHexadecimalCharacterReferenceStart:
      goto hexadecimal_character_reference_start;
    case kDecimalCharacterReferenceStart:
      goto decimal_character_reference_start;
    case kHexadecimalCharacterReference:
      goto hexadecimal_character_reference;
    case kDecimalCharacterReference:
      goto decimal_character_reference;
    case kDone:
      return;
  }
  return;

return_state:
  switch (m_nReturnState) {
    case kRcdata:
      goto rcdata;
    case kAttributeValueDoubleQuoted:
      goto attribute_value_double_quoted;
    case kAttributeValueSingleQuoted:
      goto attribute_value_single_quoted;
    case kAttributeValueUnquoted:
      goto attribute_value_unquoted;
    default:
      goto data;
  }

emit_tag:
  EmitTag();
after_tag:
  // The sink may have switched the state; mostly it stays data.
  if (m_nState == kData) goto data;
  goto dispatch;

end_of_file:
  EmitEndOfFile();
  return;

suspend:
  FlushText();
  return;

  // ---- Text ----------------------------------------------------------------

data:
  // Without text, only "<" matters here: references and line ends in text
  // change nothing but the text. The tags of the common forms are read one
  // after another here, and what they do not read goes to the states.
  if (!m_bText) {
    for (;;) {
      p = FindByte(p, end, '<');
      if (end - p < 3) break;
      const char next = p[1];
      if (ClassOf(next) & kAlpha) {
        const char* const after = FastStartTag(p + 1, end);
        if (!after) {
          ++p;
          StartTag(false);
          goto tag_name;
        }
        p = after;
      } else if (next == '/' && (ClassOf(p[2]) & kAlpha)) {
        const char* const after = FastEndTag(p + 2, end);
        if (!after) {
          p += 2;
          goto end_tag_open;
        }
        p = after;
      } else {
        break;
      }
      if (m_nState != kData) goto dispatch;
    }
  }
  FETCH(kData);
  if (c == '<') {
    CONSUME();
    goto tag_open;
  }
  if (c == '&') {
    m_nReturnState = kData;
    CONSUME();
    goto character_reference_start;
  }
  if (c == kEof) goto end_of_file;
  if (*p == '\r') {
    TEXT_CURRENT();
    CONSUME();
    goto data;
  }
  {
    // NUL stays as it is here.
    const char* q = FindAny<'<', '&', '\r'>(p + 1, end);
    EmitRun(p, static_cast<size_t>(q - p));
    p = q;
  }
  goto data;

rcdata:
  if (!m_bText) p = FindByte(p, end, '<');
  FETCH(kRcdata);
  switch (c) {
    case '<':
      CONSUME();
      goto rcdata_less_than_sign;
    case '&':
      m_nReturnState = kRcdata;
      CONSUME();
      goto character_reference_start;
    case 0:
      TextLiteral(kReplacement);
      CONSUME();
      goto rcdata;
    case kEof:
      goto end_of_file;
  }
  if (*p == '\r') {
    TEXT_CURRENT();
    CONSUME();
    goto rcdata;
  }
  {
    const char* q = FindAny<'<', '&', '\r', '\0'>(p + 1, end);
    EmitRun(p, static_cast<size_t>(q - p));
    p = q;
  }
  goto rcdata;

rawtext:
  if (!m_bText) p = FindByte(p, end, '<');
  FETCH(kRawtext);
  switch (c) {
    case '<':
      CONSUME();
      goto rawtext_less_than_sign;
    case 0:
      TextLiteral(kReplacement);
      CONSUME();
      goto rawtext;
    case kEof:
      goto end_of_file;
  }
  if (*p == '\r') {
    TEXT_CURRENT();
    CONSUME();
    goto rawtext;
  }
  {
    const char* q = FindAny<'<', '\r', '\0'>(p + 1, end);
    EmitRun(p, static_cast<size_t>(q - p));
    p = q;
  }
  goto rawtext;

script_data:
  if (!m_bText) p = FindByte(p, end, '<');
  FETCH(kScriptData);
  switch (c) {
    case '<':
      CONSUME();
      goto script_data_less_than_sign;
    case 0:
      TextLiteral(kReplacement);
      CONSUME();
      goto script_data;
    case kEof:
      goto end_of_file;
  }
  if (*p == '\r') {
    TEXT_CURRENT();
    CONSUME();
    goto script_data;
  }
  {
    const char* q = FindAny<'<', '\r', '\0'>(p + 1, end);
    EmitRun(p, static_cast<size_t>(q - p));
    p = q;
  }
  goto script_data;

plaintext:
  if (!m_bText) p = end;
  FETCH(kPlaintext);
  switch (c) {
    case 0:
      TextLiteral(kReplacement);
      CONSUME();
      goto plaintext;
    case kEof:
      goto end_of_file;
  }
  if (*p == '\r') {
    TEXT_CURRENT();
    CONSUME();
    goto plaintext;
  }
  {
    const char* q = FindAny<'\r', '\0'>(p + 1, end);
    EmitRun(p, static_cast<size_t>(q - p));
    p = q;
  }
  goto plaintext;

  // ---- Tags ----------------------------------------------------------------

tag_open:
  FETCH(kTagOpen);
  if (Is(c, kAlpha)) {
    if (const char* after = FastStartTag(p, end)) {
      p = after;
      goto after_tag;
    }
    StartTag(false);
    goto tag_name;
  }
  switch (c) {
    case '!':
      CONSUME();
      m_strTemporary.clear();
      goto markup_declaration_open;
    case '/':
      CONSUME();
      if (p != end && Is(static_cast<unsigned char>(*p), kAlpha)) {
        if (const char* after = FastEndTag(p, end)) {
          p = after;
          goto after_tag;
        }
      }
      goto end_tag_open;
    case '?':
      m_strComment.clear();
      goto bogus_comment;
    case kEof:
      TextLiteral("<");
      goto end_of_file;
  }
  TextWritten(p, "<");
  goto data;

end_tag_open:
  FETCH(kEndTagOpen);
  if (Is(c, kAlpha)) {
    StartTag(true);
    goto tag_name;
  }
  switch (c) {
    case '>':
      CONSUME();
      goto data;
    case kEof:
      TextLiteral("</");
      goto end_of_file;
  }
  m_strComment.clear();
  goto bogus_comment;

tag_name:
  FETCH(kTagName);
  if (c != kEof && !Is(c, kEndsTagName)) {
    const char* q = p;
    uint16_t classes = 0;
    q = FindNameEnd<kEndsTagName>(q, end, classes);
    AppendName(m_strTagName, p, q, classes);
    p = q;
    goto tag_name;
  }
  switch (c) {
  SPACE_CASES:
    CONSUME();
    goto before_attribute_name;
    case '/':
      CONSUME();
      goto self_closing_start_tag;
    case '>':
      CONSUME();
      goto emit_tag;
    case 0:
      m_strTagName.append(kReplacement);
      CONSUME();
      goto tag_name;
  }
  goto end_of_file;

  // RCDATA, RAWTEXT and script data end where an end tag names the last
  // start tag. The name is kept as written, to be text again when it does
  // not; a name longer than the last start tag's is text at once.
rcdata_less_than_sign:
  FETCH(kRcdataLessThanSign);
  if (c == '/') {
    CONSUME();
    m_strTemporary.clear();
    goto rcdata_end_tag_open;
  }
  TextWritten(p, "<");
  goto rcdata;

rcdata_end_tag_open:
  FETCH(kRcdataEndTagOpen);
  if (Is(c, kAlpha)) goto rcdata_end_tag_name;
  TextWritten(p, "</");
  goto rcdata;

rcdata_end_tag_name:
  FETCH(kRcdataEndTagName);
  if (Is(c, kAlpha) && m_strTemporary.size() < m_strLastStartTag.size()) {
    m_strTemporary += static_cast<char>(c);
    CONSUME();
    goto rcdata_end_tag_name;
  }
  if ((Is(c, kSpace) || c == '/' || c == '>') && IsAppropriateEndTag()) {
    StartTag(true);
    m_strTagName = m_strLastStartTag;
    goto after_appropriate_end_tag_name;
  }
  TextEndTagAsWritten(p);
  goto rcdata;

rawtext_less_than_sign:
  FETCH(kRawtextLessThanSign);
  if (c == '/') {
    CONSUME();
    m_strTemporary.clear();
    goto rawtext_end_tag_open;
  }
  TextWritten(p, "<");
  goto rawtext;

rawtext_end_tag_open:
  FETCH(kRawtextEndTagOpen);
  if (Is(c, kAlpha)) goto rawtext_end_tag_name;
  TextWritten(p, "</");
  goto rawtext;

rawtext_end_tag_name:
  FETCH(kRawtextEndTagName);
  if (Is(c, kAlpha) && m_strTemporary.size() < m_strLastStartTag.size()) {
    m_strTemporary += static_cast<char>(c);
    CONSUME();
    goto rawtext_end_tag_name;
  }
  if ((Is(c, kSpace) || c == '/' || c == '>') && IsAppropriateEndTag()) {
    StartTag(true);
    m_strTagName = m_strLastStartTag;
    goto after_appropriate_end_tag_name;
  }
  TextEndTagAsWritten(p);
  goto rawtext;

script_data_less_than_sign:
  FETCH(kScriptDataLessThanSign);
  if (c == '/') {
    CONSUME();
    m_strTemporary.clear();
    goto script_data_end_tag_open;
  }
  if (c == '!') {
    CONSUME();
    TextWritten(p, "<!");
    goto script_data_escape_start;
  }
  TextWritten(p, "<");
  goto script_data;

script_data_end_tag_open:
  FETCH(kScriptDataEndTagOpen);
  if (Is(c, kAlpha)) goto script_data_end_tag_name;
  TextWritten(p, "</");
  goto script_data;

script_data_end_tag_name:
  FETCH(kScriptDataEndTagName);
  if (Is(c, kAlpha) && m_strTemporary.size() < m_strLastStartTag.size()) {
    m_strTemporary += static_cast<char>(c);
    CONSUME();
    goto script_data_end_tag_name;
  }
  if ((Is(c, kSpace) || c == '/' || c == '>') && IsAppropriateEndTag()) {
    StartTag(true);
    m_strTagName = m_strLastStartTag;
    goto after_appropriate_end_tag_name;
  }
  TextEndTagAsWritten(p);
  goto script_data;

  // An appropriate end tag's name ended as the tag name state's would.
after_appropriate_end_tag_name:
  switch (c) {
  SPACE_CASES:
    CONSUME();
    goto before_attribute_name;
    case '/':
      CONSUME();
      goto self_closing_start_tag;
  }
  CONSUME();  // ">"
  goto emit_tag;

script_data_escape_start:
  FETCH(kScriptDataEscapeStart);
  if (c == '-') {
    EmitRun(p, 1);
    CONSUME();
    goto script_data_escape_start_dash;
  }
  goto script_data;

script_data_escape_start_dash:
  FETCH(kScriptDataEscapeStartDash);
  if (c == '-') {
    EmitRun(p, 1);
    CONSUME();
    goto script_data_escaped_dash_dash;
  }
  goto script_data;

script_data_escaped:
  if (!m_bText) p = FindAny<'-', '<'>(p, end);
  FETCH(kScriptDataEscaped);
  switch (c) {
    case '-':
      EmitRun(p, 1);
      CONSUME();
      goto script_data_escaped_dash;
    case '<':
      CONSUME();
      goto script_data_escaped_less_than_sign;
    case 0:
      TextLiteral(kReplacement);
      CONSUME();
      goto script_data_escaped;
    case kEof:
      goto end_of_file;
  }
  if (*p == '\r') {
    TEXT_CURRENT();
    CONSUME();
    goto script_data_escaped;
  }
  {
    const char* q = FindAny<'-', '<', '\r', '\0'>(p + 1, end);
    EmitRun(p, static_cast<size_t>(q - p));
    p = q;
  }
  goto script_data_escaped;

script_data_escaped_dash:
  FETCH(kScriptDataEscapedDash);
  switch (c) {
    case '-':
      EmitRun(p, 1);
      CONSUME();
      goto script_data_escaped_dash_dash;
    case '<':
      CONSUME();
      goto script_data_escaped_less_than_sign;
    case 0:
      TextLiteral(kReplacement);
      CONSUME();
      goto script_data_escaped;
    case kEof:
      goto end_of_file;
  }
  TEXT_CURRENT();
  CONSUME();
  goto script_data_escaped;

script_data_escaped_dash_dash:
  FETCH(kScriptDataEscapedDashDash);
  switch (c) {
    case '-':
      EmitRun(p, 1);
      CONSUME();
      goto script_data_escaped_dash_dash;
    case '<':
      CONSUME();
      goto script_data_escaped_less_than_sign;
    case '>':
      EmitRun(p, 1);
      CONSUME();
      goto script_data;
    case 0:
      TextLiteral(kReplacement);
      CONSUME();
      goto script_data_escaped;
    case kEof:
      goto end_of_file;
  }
  TEXT_CURRENT();
  CONSUME();
  goto script_data_escaped;

script_data_escaped_less_than_sign:
  FETCH(kScriptDataEscapedLessThanSign);
  if (c == '/') {
    CONSUME();
    m_strTemporary.clear();
    goto script_data_escaped_end_tag_open;
  }
  TextWritten(p, "<");
  if (Is(c, kAlpha)) {
    m_strTemporary.clear();
    goto script_data_double_escape_start;
  }
  goto script_data_escaped;

script_data_escaped_end_tag_open:
  FETCH(kScriptDataEscapedEndTagOpen);
  if (Is(c, kAlpha)) goto script_data_escaped_end_tag_name;
  TextWritten(p, "</");
  goto script_data_escaped;

script_data_escaped_end_tag_name:
  FETCH(kScriptDataEscapedEndTagName);
  if (Is(c, kAlpha) && m_strTemporary.size() < m_strLastStartTag.size()) {
    m_strTemporary += static_cast<char>(c);
    CONSUME();
    goto script_data_escaped_end_tag_name;
  }
  if ((Is(c, kSpace) || c == '/' || c == '>') && IsAppropriateEndTag()) {
    StartTag(true);
    m_strTagName = m_strLastStartTag;
    goto after_appropriate_end_tag_name;
  }
  TextEndTagAsWritten(p);
  goto script_data_escaped;

  // "<script" inside an escaped script ("<!--") escapes it twice, until
  // "</script"; the word is kept lower-cased, and only up to a letter more
  // than "script" has.
script_data_double_escape_start:
  FETCH(kScriptDataDoubleEscapeStart);
  if (Is(c, kSpace) || c == '/' || c == '>') {
    TEXT_CURRENT();
    CONSUME();
    if (m_strTemporary == "script") goto script_data_double_escaped;
    goto script_data_escaped;
  }
  if (Is(c, kAlpha)) {
    if (m_strTemporary.size() < 7) m_strTemporary += Lower(c);
    EmitRun(p, 1);
    CONSUME();
    goto script_data_double_escape_start;
  }
  goto script_data_escaped;

script_data_double_escaped:
  if (!m_bText) p = FindAny<'-', '<'>(p, end);
  FETCH(kScriptDataDoubleEscaped);
  switch (c) {
    case '-':
      EmitRun(p, 1);
      CONSUME();
      goto script_data_double_escaped_dash;
    case '<':
      EmitRun(p, 1);
      CONSUME();
      goto script_data_double_escaped_less_than_sign;
    case 0:
      TextLiteral(kReplacement);
      CONSUME();
      goto script_data_double_escaped;
    case kEof:
      goto end_of_file;
  }
  if (*p == '\r') {
    TEXT_CURRENT();
    CONSUME();
    goto script_data_double_escaped;
  }
  {
    const char* q = FindAny<'-', '<', '\r', '\0'>(p + 1, end);
    EmitRun(p, static_cast<size_t>(q - p));
    p = q;
  }
  goto script_data_double_escaped;

script_data_double_escaped_dash:
  FETCH(kScriptDataDoubleEscapedDash);
  switch (c) {
    case '-':
      EmitRun(p, 1);
      CONSUME();
      goto script_data_double_escaped_dash_dash;
    case '<':
      EmitRun(p, 1);
      CONSUME();
      goto script_data_double_escaped_less_than_sign;
    case 0:
      TextLiteral(kReplacement);
      CONSUME();
      goto script_data_double_escaped;
    case kEof:
      goto end_of_file;
  }
  TEXT_CURRENT();
  CONSUME();
  goto script_data_double_escaped;

script_data_double_escaped_dash_dash:
  FETCH(kScriptDataDoubleEscapedDashDash);
  switch (c) {
    case '-':
      EmitRun(p, 1);
      CONSUME();
      goto script_data_double_escaped_dash_dash;
    case '<':
      EmitRun(p, 1);
      CONSUME();
      goto script_data_double_escaped_less_than_sign;
    case '>':
      EmitRun(p, 1);
      CONSUME();
      goto script_data;
    case 0:
      TextLiteral(kReplacement);
      CONSUME();
      goto script_data_double_escaped;
    case kEof:
      goto end_of_file;
  }
  TEXT_CURRENT();
  CONSUME();
  goto script_data_double_escaped;

script_data_double_escaped_less_than_sign:
  FETCH(kScriptDataDoubleEscapedLessThanSign);
  if (c == '/') {
    m_strTemporary.clear();
    EmitRun(p, 1);
    CONSUME();
    goto script_data_double_escape_end;
  }
  goto script_data_double_escaped;

script_data_double_escape_end:
  FETCH(kScriptDataDoubleEscapeEnd);
  if (Is(c, kSpace) || c == '/' || c == '>') {
    TEXT_CURRENT();
    CONSUME();
    if (m_strTemporary == "script") goto script_data_escaped;
    goto script_data_double_escaped;
  }
  if (Is(c, kAlpha)) {
    if (m_strTemporary.size() < 7) m_strTemporary += Lower(c);
    EmitRun(p, 1);
    CONSUME();
    goto script_data_double_escape_end;
  }
  goto script_data_double_escaped;

  // ---- Attributes ----------------------------------------------------------

before_attribute_name:
  FETCH(kBeforeAttributeName);
  switch (c) {
  SPACE_CASES:
    CONSUME();
    goto before_attribute_name;
    case '/':
    case '>':
    case kEof:
      goto after_attribute_name;
    case '=':
      StartAttribute();
      m_strAttributes += '=';
      CONSUME();
      goto attribute_name;
  }
  StartAttribute();
  goto attribute_name;

attribute_name:
  FETCH(kAttributeName);
  if (c != kEof && !Is(c, kEndsAttributeName)) {
    // Quotes and "<" are errors here, but taken all the same.
    const char* q = p;
    uint16_t classes = 0;
    q = FindNameEnd<kEndsAttributeName>(q, end, classes);
    AppendName(m_strAttributes, p, q, classes);
    p = q;
    goto attribute_name;
  }
  if (c == 0) {
    m_strAttributes.append(kReplacement);
    CONSUME();
    goto attribute_name;
  }
  EndAttributeName();
  if (c == '=') {
    CONSUME();
    goto before_attribute_value;
  }
  goto after_attribute_name;

after_attribute_name:
  FETCH(kAfterAttributeName);
  switch (c) {
  SPACE_CASES:
    CONSUME();
    goto after_attribute_name;
    case '/':
      CONSUME();
      goto self_closing_start_tag;
    case '=':
      CONSUME();
      goto before_attribute_value;
    case '>':
      CONSUME();
      goto emit_tag;
    case kEof:
      goto end_of_file;
  }
  StartAttribute();
  goto attribute_name;

before_attribute_value:
  FETCH(kBeforeAttributeValue);
  switch (c) {
  SPACE_CASES:
    CONSUME();
    goto before_attribute_value;
    case '"':
      CONSUME();
      goto attribute_value_double_quoted;
    case '\'':
      CONSUME();
      goto attribute_value_single_quoted;
    case '>':
      CONSUME();
      goto emit_tag;
  }
  goto attribute_value_unquoted;

attribute_value_double_quoted:
  FETCH(kAttributeValueDoubleQuoted);
  switch (c) {
    case '"':
      CONSUME();
      goto after_attribute_value_quoted;
    case '&':
      m_nReturnState = kAttributeValueDoubleQuoted;
      CONSUME();
      goto character_reference_start;
    case 0:
      m_strAttributes.append(kReplacement);
      CONSUME();
      goto attribute_value_double_quoted;
    case kEof:
      goto end_of_file;
  }
  if (*p == '\r') {
    m_strAttributes += '\n';
    CONSUME();
    goto attribute_value_double_quoted;
  }
  {
    const char* q = FindAny<'"', '&', '\r', '\0'>(p + 1, end);
    m_strAttributes.append(p, static_cast<size_t>(q - p));
    p = q;
  }
  goto attribute_value_double_quoted;

attribute_value_single_quoted:
  FETCH(kAttributeValueSingleQuoted);
  switch (c) {
    case '\'':
      CONSUME();
      goto after_attribute_value_quoted;
    case '&':
      m_nReturnState = kAttributeValueSingleQuoted;
      CONSUME();
      goto character_reference_start;
    case 0:
      m_strAttributes.append(kReplacement);
      CONSUME();
      goto attribute_value_single_quoted;
    case kEof:
      goto end_of_file;
  }
  if (*p == '\r') {
    m_strAttributes += '\n';
    CONSUME();
    goto attribute_value_single_quoted;
  }
  {
    const char* q = FindAny<'\'', '&', '\r', '\0'>(p + 1, end);
    m_strAttributes.append(p, static_cast<size_t>(q - p));
    p = q;
  }
  goto attribute_value_single_quoted;

attribute_value_unquoted:
  FETCH(kAttributeValueUnquoted);
  if (c != kEof && !Is(c, kEndsUnquotedValue)) {
    // Quotes, "<", "=" and "`" are errors here, but taken all the same.
    const char* q = p + 1;
    while (q != end && !(kClasses.of[static_cast<unsigned char>(*q)] & kEndsUnquotedValue)) ++q;
    m_strAttributes.append(p, static_cast<size_t>(q - p));
    p = q;
    goto attribute_value_unquoted;
  }
  switch (c) {
  SPACE_CASES:
    CONSUME();
    goto before_attribute_name;
    case '&':
      m_nReturnState = kAttributeValueUnquoted;
      CONSUME();
      goto character_reference_start;
    case '>':
      CONSUME();
      goto emit_tag;
    case 0:
      m_strAttributes.append(kReplacement);
      CONSUME();
      goto attribute_value_unquoted;
  }
  goto end_of_file;

after_attribute_value_quoted:
  FETCH(kAfterAttributeValueQuoted);
  switch (c) {
  SPACE_CASES:
    CONSUME();
    goto before_attribute_name;
    case '/':
      CONSUME();
      goto self_closing_start_tag;
    case '>':
      CONSUME();
      goto emit_tag;
    case kEof:
      goto end_of_file;
  }
  goto before_attribute_name;

self_closing_start_tag:
  FETCH(kSelfClosingStartTag);
  if (c == '>') {
    m_bSelfClosing = true;
    CONSUME();
    goto emit_tag;
  }
  if (c == kEof) goto end_of_file;
  goto before_attribute_name;

  // ---- Comments ------------------------------------------------------------

bogus_comment:
  if (!m_bText) p = FindByte(p, end, '>');
  FETCH(kBogusComment);
  switch (c) {
    case '>':
      CONSUME();
      EmitComment();
      goto dispatch;
    case kEof:
      EmitComment();
      goto end_of_file;
    case 0:
      m_strComment.append(kReplacement);
      CONSUME();
      goto bogus_comment;
  }
  if (*p == '\r') {
    m_strComment += '\n';
    CONSUME();
    goto bogus_comment;
  }
  {
    const char* q = FindAny<'>', '\r', '\0'>(p + 1, end);
    m_strComment.append(p, static_cast<size_t>(q - p));
    p = q;
  }
  goto bogus_comment;

  // "<!" and then "--", "DOCTYPE" (in any case) or "[CDATA[": the temporary
  // buffer holds what matched so far, which begins the bogus comment when
  // the rest does not match.
markup_declaration_open:
  FETCH(kMarkupDeclarationOpen);
  {
    const size_t matched = m_strTemporary.size();
    const char first = matched ? m_strTemporary[0] : static_cast<char>(c);
    const std::string_view word = first == '-'   ? std::string_view("--")
                                  : first == '[' ? std::string_view("[CDATA[")
                                                 : std::string_view("DOCTYPE");
    const bool matches = word[0] == 'D' ? (c & ~0x20) == word[matched]
                                        : c == static_cast<unsigned char>(word[matched]);
    if (!matches) {
      m_strComment.clear();
      if (m_bText) m_strComment = m_strTemporary;
      goto bogus_comment;
    }
    m_strTemporary += static_cast<char>(c);
    CONSUME();
    if (m_strTemporary.size() < word.size()) goto markup_declaration_open;
    if (word[0] == '-') {
      m_strComment.clear();
      goto comment_start;
    }
    if (word[0] == 'D') goto doctype;
    if (m_bCdataAllowed) goto cdata_section;
    m_strComment.clear();
    if (m_bText) m_strComment = m_strTemporary;
    goto bogus_comment;
  }

comment_start:
  FETCH(kCommentStart);
  if (c == '-') {
    CONSUME();
    goto comment_start_dash;
  }
  if (c == '>') {
    CONSUME();
    EmitComment();
    goto dispatch;
  }
  goto comment;

comment_start_dash:
  FETCH(kCommentStartDash);
  switch (c) {
    case '-':
      CONSUME();
      goto comment_end;
    case '>':
      CONSUME();
      EmitComment();
      goto dispatch;
    case kEof:
      EmitComment();
      goto end_of_file;
  }
  if (m_bText) m_strComment += '-';
  goto comment;

comment:
  // Without text only "-" can end the comment: the "<!--" states in the
  // comment change nothing but the errors reported.
  if (!m_bText) p = FindByte(p, end, '-');
  FETCH(kComment);
  switch (c) {
    case '<':
      if (m_bText) m_strComment += '<';
      CONSUME();
      goto comment_less_than_sign;
    case '-':
      CONSUME();
      goto comment_end_dash;
    case 0:
      if (m_bText) m_strComment.append(kReplacement);
      CONSUME();
      goto comment;
    case kEof:
      EmitComment();
      goto end_of_file;
  }
  if (*p == '\r') {
    m_strComment += '\n';
    CONSUME();
    goto comment;
  }
  {
    const char* q = FindAny<'<', '-', '\r', '\0'>(p + 1, end);
    m_strComment.append(p, static_cast<size_t>(q - p));
    p = q;
  }
  goto comment;

comment_less_than_sign:
  FETCH(kCommentLessThanSign);
  if (c == '!') {
    if (m_bText) m_strComment += '!';
    CONSUME();
    goto comment_less_than_sign_bang;
  }
  if (c == '<') {
    if (m_bText) m_strComment += '<';
    CONSUME();
    goto comment_less_than_sign;
  }
  goto comment;

comment_less_than_sign_bang:
  FETCH(kCommentLessThanSignBang);
  if (c == '-') {
    CONSUME();
    goto comment_less_than_sign_bang_dash;
  }
  goto comment;

comment_less_than_sign_bang_dash:
  FETCH(kCommentLessThanSignBangDash);
  if (c == '-') {
    CONSUME();
    // The comment less-than sign bang dash dash state reconsumes whatever
    // follows in the comment end state.
    goto comment_end;
  }
  goto comment_end_dash;

comment_end_dash:
  FETCH(kCommentEndDash);
  if (c == '-') {
    CONSUME();
    goto comment_end;
  }
  if (c == kEof) {
    EmitComment();
    goto end_of_file;
  }
  if (m_bText) m_strComment += '-';
  goto comment;

comment_end:
  FETCH(kCommentEnd);
  switch (c) {
    case '>':
      CONSUME();
      EmitComment();
      goto dispatch;
    case '!':
      CONSUME();
      goto comment_end_bang;
    case '-':
      if (m_bText) m_strComment += '-';
      CONSUME();
      goto comment_end;
    case kEof:
      EmitComment();
      goto end_of_file;
  }
  if (m_bText) m_strComment += "--";
  goto comment;

comment_end_bang:
  FETCH(kCommentEndBang);
  switch (c) {
    case '-':
      if (m_bText) m_strComment += "--!";
      CONSUME();
      goto comment_end_dash;
    case '>':
      CONSUME();
      EmitComment();
      goto dispatch;
    case kEof:
      EmitComment();
      goto end_of_file;
  }
  if (m_bText) m_strComment += "--!";
  goto comment;

  // ---- DOCTYPE -------------------------------------------------------------

doctype:
  FETCH(kDoctype);
  if (Is(c, kSpace)) {
    CONSUME();
    goto before_doctype_name;
  }
  if (c == kEof) {
    StartDoctype();
    m_bForceQuirks = true;
    EmitDoctype();
    goto end_of_file;
  }
  goto before_doctype_name;

before_doctype_name:
  FETCH(kBeforeDoctypeName);
  switch (c) {
  SPACE_CASES:
    CONSUME();
    goto before_doctype_name;
    case '>':
      StartDoctype();
      m_bForceQuirks = true;
      CONSUME();
      EmitDoctype();
      goto dispatch;
    case kEof:
      StartDoctype();
      m_bForceQuirks = true;
      EmitDoctype();
      goto end_of_file;
  }
  StartDoctype();
  m_bHasDoctypeName = true;
  goto doctype_name;

doctype_name:
  FETCH(kDoctypeName);
  switch (c) {
  SPACE_CASES:
    CONSUME();
    goto after_doctype_name;
    case '>':
      CONSUME();
      EmitDoctype();
      goto dispatch;
    case 0:
      m_strDoctypeName.append(kReplacement);
      CONSUME();
      goto doctype_name;
    case kEof:
      m_bForceQuirks = true;
      EmitDoctype();
      goto end_of_file;
  }
  m_strDoctypeName += Lower(c);
  CONSUME();
  goto doctype_name;

after_doctype_name:
  FETCH(kAfterDoctypeName);
  switch (c) {
  SPACE_CASES:
    CONSUME();
    goto after_doctype_name;
    case '>':
      CONSUME();
      EmitDoctype();
      goto dispatch;
    case kEof:
      m_bForceQuirks = true;
      EmitDoctype();
      goto end_of_file;
    case 'P':
    case 'p':
    case 'S':
    case 's':
      m_strTemporary.assign(1, static_cast<char>(c & ~0x20));
      CONSUME();
      goto after_doctype_name_keyword;
  }
  m_bForceQuirks = true;
  goto bogus_doctype;

  // Within "PUBLIC" or "SYSTEM", in any case: the letters matched so far are
  // in the temporary buffer. A mismatch makes the rest a bogus DOCTYPE,
  // which would ignore those letters too.
after_doctype_name_keyword:
  FETCH(kAfterDoctypeNameKeyword);
  {
    const std::string_view word = m_strTemporary[0] == 'P' ? "PUBLIC" : "SYSTEM";
    const size_t matched = m_strTemporary.size();
    if ((c & ~0x20) != word[matched]) {
      m_bForceQuirks = true;
      goto bogus_doctype;
    }
    m_strTemporary += word[matched];
    CONSUME();
    if (matched + 1 < word.size()) goto after_doctype_name_keyword;
    if (word[0] == 'P') goto after_doctype_public_keyword;
    goto after_doctype_system_keyword;
  }

after_doctype_public_keyword:
  FETCH(kAfterDoctypePublicKeyword);
  if (Is(c, kSpace)) {
    CONSUME();
    goto before_doctype_public_identifier;
  }
  goto before_doctype_public_identifier_after_space;

before_doctype_public_identifier:
  FETCH(kBeforeDoctypePublicIdentifier);
  if (Is(c, kSpace)) {
    CONSUME();
    goto before_doctype_public_identifier;
  }
  // After the keyword, a quote without whitespace is an error but read the
  // same; so are ">", the end of file and anything else.
before_doctype_public_identifier_after_space:
  switch (c) {
    case '"':
    case '\'':
      m_bHasPublicId = true;
      m_cQuote = static_cast<char>(c);
      CONSUME();
      goto doctype_public_identifier;
    case '>':
      m_bForceQuirks = true;
      CONSUME();
      EmitDoctype();
      goto dispatch;
    case kEof:
      m_bForceQuirks = true;
      EmitDoctype();
      goto end_of_file;
  }
  m_bForceQuirks = true;
  goto bogus_doctype;

  // One code for both quotes; m_cQuote is the one that ends the identifier.
doctype_public_identifier:
  FETCH(m_cQuote == '"' ? kDoctypePublicIdentifierDoubleQuoted
                        : kDoctypePublicIdentifierSingleQuoted);
  switch (c) {
    case 0:
      m_strPublicId.append(kReplacement);
      CONSUME();
      goto doctype_public_identifier;
    case '>':
      m_bForceQuirks = true;
      CONSUME();
      EmitDoctype();
      goto dispatch;
    case kEof:
      m_bForceQuirks = true;
      EmitDoctype();
      goto end_of_file;
  }
  CONSUME();
  if (c == m_cQuote) goto after_doctype_public_identifier;
  m_strPublicId += static_cast<char>(c);
  goto doctype_public_identifier;

after_doctype_public_identifier:
  FETCH(kAfterDoctypePublicIdentifier);
  if (Is(c, kSpace)) {
    CONSUME();
    goto between_doctype_public_and_system_identifiers;
  }
  goto between_doctype_public_and_system_identifiers_after_space;

between_doctype_public_and_system_identifiers:
  FETCH(kBetweenDoctypePublicAndSystemIdentifiers);
  if (Is(c, kSpace)) {
    CONSUME();
    goto between_doctype_public_and_system_identifiers;
  }
between_doctype_public_and_system_identifiers_after_space:
  switch (c) {
    case '>':
      CONSUME();
      EmitDoctype();
      goto dispatch;
    case kEof:
      m_bForceQuirks = true;
      EmitDoctype();
      goto end_of_file;
  }
  goto before_doctype_system_identifier_after_space;

after_doctype_system_keyword:
  FETCH(kAfterDoctypeSystemKeyword);
  if (Is(c, kSpace)) {
    CONSUME();
    goto before_doctype_system_identifier;
  }
  goto before_doctype_system_identifier_after_space;

before_doctype_system_identifier:
  FETCH(kBeforeDoctypeSystemIdentifier);
  if (Is(c, kSpace)) {
    CONSUME();
    goto before_doctype_system_identifier;
  }
before_doctype_system_identifier_after_space:
  switch (c) {
    case '"':
    case '\'':
      m_bHasSystemId = true;
      m_cQuote = static_cast<char>(c);
      CONSUME();
      goto doctype_system_identifier;
    case '>':
      m_bForceQuirks = true;
      CONSUME();
      EmitDoctype();
      goto dispatch;
    case kEof:
      m_bForceQuirks = true;
      EmitDoctype();
      goto end_of_file;
  }
  m_bForceQuirks = true;
  goto bogus_doctype;

doctype_system_identifier:
  FETCH(m_cQuote == '"' ? kDoctypeSystemIdentifierDoubleQuoted
                        : kDoctypeSystemIdentifierSingleQuoted);
  switch (c) {
    case 0:
      m_strSystemId.append(kReplacement);
      CONSUME();
      goto doctype_system_identifier;
    case '>':
      m_bForceQuirks = true;
      CONSUME();
      EmitDoctype();
      goto dispatch;
    case kEof:
      m_bForceQuirks = true;
      EmitDoctype();
      goto end_of_file;
  }
  CONSUME();
  if (c == m_cQuote) goto after_doctype_system_identifier;
  m_strSystemId += static_cast<char>(c);
  goto doctype_system_identifier;

after_doctype_system_identifier:
  FETCH(kAfterDoctypeSystemIdentifier);
  switch (c) {
  SPACE_CASES:
    CONSUME();
    goto after_doctype_system_identifier;
    case '>':
      CONSUME();
      EmitDoctype();
      goto dispatch;
    case kEof:
      m_bForceQuirks = true;
      EmitDoctype();
      goto end_of_file;
  }
  goto bogus_doctype;  // without forcing quirks

bogus_doctype:
  p = FindByte(p, end, '>');
  FETCH(kBogusDoctype);
  if (c == kEof) {
    EmitDoctype();
    goto end_of_file;
  }
  CONSUME();  // ">"
  EmitDoctype();
  goto dispatch;

  // ---- CDATA sections (foreign content) ------------------------------------

cdata_section:
  if (!m_bText) p = FindByte(p, end, ']');
  FETCH(kCdataSection);
  if (c == ']') {
    CONSUME();
    goto cdata_section_bracket;
  }
  if (c == kEof) goto end_of_file;
  if (*p == '\r') {
    TEXT_CURRENT();
    CONSUME();
    goto cdata_section;
  }
  {
    const char* q = FindAny<']', '\r'>(p + 1, end);
    EmitRun(p, static_cast<size_t>(q - p));
    p = q;
  }
  goto cdata_section;

cdata_section_bracket:
  FETCH(kCdataSectionBracket);
  if (c == ']') {
    CONSUME();
    goto cdata_section_end;
  }
  TextWritten(p, "]");
  goto cdata_section;

cdata_section_end:
  FETCH(kCdataSectionEnd);
  if (c == ']') {
    EmitRun(p, 1);
    CONSUME();
    goto cdata_section_end;
  }
  if (c == '>') {
    CONSUME();
    goto data;
  }
  TextWritten(p, "]]");
  goto cdata_section;

  // ---- Character references -----------------------------------------------
  // m_szReference holds what was taken ("&", "#", "x", a name), to be put
  // back as written when it is no reference. In an attribute value the
  // characters go to the value, elsewhere to the text.

character_reference_start:
  m_szReference[0] = '&';
  m_nReferenceLength = 1;
character_reference:
  FETCH(kCharacterReference);
  if (Is(c, kAlphanumeric)) {
    m_walk.Reset();
    goto named_character_reference;
  }
  if (c == '#') {
    m_szReference[m_nReferenceLength++] = '#';
    CONSUME();
    goto numeric_character_reference;
  }
  ReferenceAsWritten(p, 0);
  goto return_state;

named_character_reference:
  FETCH(kNamedCharacterReference);
  if ((Is(c, kAlphanumeric) || c == ';') && m_walk.Extend(static_cast<char>(c))) {
    m_szReference[m_nReferenceLength++] = static_cast<char>(c);
    CONSUME();
    // After ";" no name goes on, and what follows does not matter.
    if (c != ';') goto named_character_reference;
  }
  EndNamedReference(c, p);
  goto return_state;

numeric_character_reference:
  FETCH(kNumericCharacterReference);
  m_nCode = 0;
  if (c == 'x' || c == 'X') {
    m_szReference[m_nReferenceLength++] = static_cast<char>(c);
    CONSUME();
    goto hexadecimal_character_reference_start;
  }
  goto decimal_character_reference_start;

hexadecimal_character_reference_start:
  FETCH(kHexadecimalCharacterReferenceStart);
  if (Is(c, kHexDigit)) goto hexadecimal_character_reference;
  ReferenceAsWritten(p, 0);
  goto return_state;

decimal_character_reference_start:
  FETCH(kDecimalCharacterReferenceStart);
  if (c >= '0' && c <= '9') goto decimal_character_reference;
  ReferenceAsWritten(p, 0);
  goto return_state;

  // The number saturates past the last code point, where it is out of
  // range however long it goes on.
hexadecimal_character_reference:
  FETCH(kHexadecimalCharacterReference);
  if (Is(c, kHexDigit)) {
    const uint32_t digit =
        c <= '9' ? static_cast<uint32_t>(c - '0') : static_cast<uint32_t>((c | 0x20) - 'a' + 10);
    m_nCode = m_nCode > 0x10FFFF ? m_nCode : m_nCode * 16 + digit;
    CONSUME();
    goto hexadecimal_character_reference;
  }
  if (c == ';') CONSUME();
  EndNumericReference();  // the numeric character reference end state
  goto return_state;

decimal_character_reference:
  FETCH(kDecimalCharacterReference);
  if (c >= '0' && c <= '9') {
    m_nCode = m_nCode > 0x10FFFF ? m_nCode : m_nCode * 10 + static_cast<uint32_t>(c - '0');
    CONSUME();
    goto decimal_character_reference;
  }
  if (c == ';') CONSUME();
  EndNumericReference();
  goto return_state;
}

#undef FETCH
#undef CONSUME
#undef TEXT_CURRENT
#undef SPACE_CASES

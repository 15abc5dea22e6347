// The encodings the program decodes and encodes itself (platform/text_decoder.h),
// and the byte grammars of the Japanese ones, whose tables come from the
// system.
#include <cstdint>
#include <cstring>

#include "platform/text_decoder.h"
#include "platform/utf8.h"

namespace platform {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

void AppendReplacement(std::string& out) { out += "\xEF\xBF\xBD"; }

unsigned char Byte(std::string_view text, size_t i) { return static_cast<unsigned char>(text[i]); }

// The end of the run of ASCII bytes that starts at `i`, eight at a time
// where it can: most of a page is markup.
size_t AsciiRunEnd(std::string_view bytes, size_t i) {
  const size_t n = bytes.size();
  while (n - i >= 8) {
    uint64_t word;
    std::memcpy(&word, bytes.data() + i, 8);
    if (word & 0x8080808080808080ull) break;
    i += 8;
  }
  while (i < n && Byte(bytes, i) < 0x80) ++i;
  return i;
}

// --- UTF-8 ------------------------------------------------------------------

// Well-formed characters go through whole; the rest one byte at a time by
// the same state machine as browsers use, so that each maximal part of a bad
// sequence becomes one U+FFFD and a character cut between blocks waits.
class Utf8Decoder final : public TextDecoder {
 public:
  void Decode(std::string_view bytes, std::string& out) override {
    size_t i = 0;
    const size_t n = bytes.size();
    while (i < n) {
      const unsigned char b = Byte(bytes, i);
      if (needed_ == 0) {
        if (b < 0x80) {
          const size_t end = AsciiRunEnd(bytes, i);
          out.append(bytes.data() + i, end - i);
          i = end;
          continue;
        }
        const size_t length = Utf8CharacterLength(bytes, i);
        if (length > 1) {
          out.append(bytes.data() + i, length);
          i += length;
          continue;
        }
        ++i;
        if (b >= 0xC2 && b <= 0xDF) {
          needed_ = 1;
          codePoint_ = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
          if (b == 0xE0) lower_ = 0xA0;
          if (b == 0xED) upper_ = 0x9F;
          needed_ = 2;
          codePoint_ = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
          if (b == 0xF0) lower_ = 0x90;
          if (b == 0xF4) upper_ = 0x8F;
          needed_ = 3;
          codePoint_ = b & 0x07;
        } else {
          AppendReplacement(out);
        }
        continue;
      }
      if (b < lower_ || b > upper_) {
        // The byte is not consumed: it may start the next character.
        Reset();
        AppendReplacement(out);
        continue;
      }
      ++i;
      lower_ = 0x80;
      upper_ = 0xBF;
      codePoint_ = (codePoint_ << 6) | (b & 0x3F);
      if (++seen_ == needed_) {
        AppendUtf8(out, codePoint_);
        Reset();
      }
    }
  }

  void Finish(std::string& out) override {
    if (needed_ == 0) return;
    Reset();
    AppendReplacement(out);
  }

 private:
  void Reset() {
    codePoint_ = 0;
    needed_ = seen_ = 0;
    lower_ = 0x80;
    upper_ = 0xBF;
  }

  char32_t codePoint_ = 0;
  int needed_ = 0, seen_ = 0;
  unsigned char lower_ = 0x80, upper_ = 0xBF;
};

// --- UTF-16 -----------------------------------------------------------------

class Utf16Decoder final : public TextDecoder {
 public:
  explicit Utf16Decoder(bool bigEndian) : bigEndian_(bigEndian) {}

  void Decode(std::string_view bytes, std::string& out) override {
    for (size_t i = 0; i < bytes.size(); ++i) {
      const unsigned char b = Byte(bytes, i);
      if (leadByte_ < 0) {
        leadByte_ = b;
        continue;
      }
      const char16_t unit = bigEndian_ ? static_cast<char16_t>(leadByte_ << 8 | b)
                                       : static_cast<char16_t>(b << 8 | leadByte_);
      leadByte_ = -1;
      if (leadSurrogate_) {
        const char16_t lead = leadSurrogate_;
        leadSurrogate_ = 0;
        if (unit >= 0xDC00 && unit <= 0xDFFF) {
          AppendUtf8(out, 0x10000 + ((lead - 0xD800) << 10) + (unit - 0xDC00));
          continue;
        }
        // The unit after an unpaired lead surrogate is read on its own.
        AppendReplacement(out);
      }
      if (unit >= 0xD800 && unit <= 0xDBFF) {
        leadSurrogate_ = unit;
      } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
        AppendReplacement(out);
      } else {
        AppendUtf8(out, unit);
      }
    }
  }

  void Finish(std::string& out) override {
    if (leadByte_ < 0 && !leadSurrogate_) return;
    leadByte_ = -1;
    leadSurrogate_ = 0;
    AppendReplacement(out);
  }

 private:
  bool bigEndian_;
  int leadByte_ = -1;
  char16_t leadSurrogate_ = 0;
};

// --- Single-byte ------------------------------------------------------------

// windows-1252's 0x80..0x9F; the five bytes Windows leaves undefined are the
// C1 controls of the same value, as browsers read them.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

class SingleByteDecoder final : public TextDecoder {
 public:
  explicit SingleByteDecoder(bool userDefined) : userDefined_(userDefined) {}

  void Decode(std::string_view bytes, std::string& out) override {
    size_t i = 0;
    while (i < bytes.size()) {
      const size_t end = AsciiRunEnd(bytes, i);
      out.append(bytes.data() + i, end - i);
      if (end == bytes.size()) break;
      AppendUtf8(out, Map(Byte(bytes, end)));
      i = end + 1;
    }
  }
  void Finish(std::string&) override {}

 private:
  char32_t Map(unsigned char b) const {
    if (userDefined_) return 0xF780 + b - 0x80;
    return b < 0xA0 ? kWindows1252High[b - 0x80] : b;
  }
  bool userDefined_;
};

// An encoding browsers refuse to decode (ISO-2022-KR and its like): any
// input at all reads as one U+FFFD.
class ReplacementDecoder final : public TextDecoder {
 public:
  void Decode(std::string_view bytes, std::string& out) override {
    if (bytes.empty() || done_) return;
    done_ = true;
    AppendReplacement(out);
  }
  void Finish(std::string&) override {}

 private:
  bool done_ = false;
};

// --- Shift_JIS, EUC-JP, ISO-2022-JP -------------------------------------------

// JIS X 0208 as browsers index it (rows 1 to 94, with NEC's and IBM's
// extensions) is the same table as Shift_JIS for lead bytes below 0xF0, so
// a pointer (row × 94 + cell, from 0) reaches it through the system's
// Shift_JIS table.
void AppendShiftJisOfPointer(unsigned pointer, std::string& out) {
  const unsigned lead = pointer / 188, trail = pointer % 188;
  out += static_cast<char>(lead + (lead < 0x1F ? 0x81 : 0xC1));
  out += static_cast<char>(trail + (trail < 0x3F ? 0x40 : 0x41));
}

bool IsShiftJisLead(unsigned char b) {
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}
bool IsShiftJisTrail(unsigned char b) {
  return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

unsigned ShiftJisPointer(unsigned char lead, unsigned char trail) {
  return (lead - (lead < 0xA0 ? 0x81 : 0xC1)) * 188 + trail - (trail < 0x7F ? 0x40 : 0x41);
}

// Appends the UTF-8 of `run` (ASCII, half-width katakana A1..DF and
// two-byte characters, all whole) through the system's table; should one
// character lack a mapping, the run goes again a character at a time, each
// such character one U+FFFD. A trail byte in the ASCII range is then read
// again on its own (`asciiTrailAgain`), as browsers read Shift_JIS.
void DecodeShiftJisRun(std::string_view run, bool asciiTrailAgain, std::string& out) {
  if (run.empty() || system_text::DecodeShiftJis(run, out)) return;
  size_t i = 0;
  while (i < run.size()) {
    const unsigned char b = Byte(run, i);
    if (b < 0x80) {
      out += static_cast<char>(b);
      ++i;
    } else if (b >= 0xA1 && b <= 0xDF) {
      AppendUtf8(out, 0xFF61 + b - 0xA1);
      ++i;
    } else if (system_text::DecodeShiftJis(run.substr(i, 2), out)) {
      i += 2;
    } else {
      AppendReplacement(out);
      i += asciiTrailAgain && Byte(run, i + 1) < 0x80 ? 1 : 2;
    }
  }
}

// Bytes a block leaves unfinished, joined to the next block.
class HeldBytes {
 public:
  // The bytes to read now: `bytes`, after what was held.
  std::string_view Join(std::string_view bytes) {
    if (held_.empty()) return bytes;
    joined_ = held_;
    joined_.append(bytes);
    held_.clear();
    return joined_;
  }
  void Hold(std::string_view rest) { held_ = std::string(rest); }
  bool Empty() const { return held_.empty(); }
  void Clear() { held_.clear(); }

 private:
  std::string held_, joined_;
};

class ShiftJisDecoder final : public TextDecoder {
 public:
  void Decode(std::string_view block, std::string& out) override {
    const std::string_view bytes = held_.Join(block);
    const size_t n = bytes.size();
    size_t runStart = 0, i = 0;
    const auto flush = [&](size_t end) {
      DecodeShiftJisRun(bytes.substr(runStart, end - runStart), true, out);
    };
    while (i < n) {
      const unsigned char b = Byte(bytes, i);
      if (b < 0x80 || (b >= 0xA1 && b <= 0xDF)) {
        ++i;
        continue;
      }
      if (IsShiftJisLead(b)) {
        if (i + 1 == n) {
          flush(i);
          held_.Hold(bytes.substr(i));
          return;
        }
        const unsigned char trail = Byte(bytes, i + 1);
        if (IsShiftJisTrail(trail)) {
          const unsigned pointer = ShiftJisPointer(b, trail);
          if (pointer < 8836 || pointer > 10715) {
            i += 2;
            continue;
          }
          // The user-defined area, which browsers give the private-use
          // characters, whatever the system's table says.
          flush(i);
          AppendUtf8(out, 0xE000 + pointer - 8836);
          runStart = i += 2;
          continue;
        }
        flush(i);
        AppendReplacement(out);
        runStart = i += trail < 0x80 ? 1 : 2;
        continue;
      }
      flush(i);
      if (b == 0x80)
        out += "\xC2\x80";
      else
        AppendReplacement(out);
      runStart = ++i;
    }
    flush(n);
  }

  void Finish(std::string& out) override {
    if (held_.Empty()) return;
    held_.Clear();
    AppendReplacement(out);
  }

 private:
  HeldBytes held_;
};

bool InA1ToFE(unsigned char b) { return b >= 0xA1 && b <= 0xFE; }

class EucJpDecoder final : public TextDecoder {
 public:
  void Decode(std::string_view block, std::string& out) override {
    const std::string_view bytes = held_.Join(block);
    const size_t n = bytes.size();
    size_t i = 0;
    // ASCII and JIS X 0208, turned into Shift_JIS for the system's table.
    std::string& run = run_;
    run.clear();
    const auto flush = [&] {
      DecodeShiftJisRun(run, false, out);
      run.clear();
    };
    const auto bad = [&](size_t consumed) {
      flush();
      AppendReplacement(out);
      i += consumed;
    };
    while (i < n) {
      const unsigned char b = Byte(bytes, i);
      if (b < 0x80) {
        const size_t end = AsciiRunEnd(bytes, i);
        run.append(bytes.data() + i, end - i);
        i = end;
        continue;
      }
      const size_t need = b == 0x8F ? 3 : 2;
      if (b != 0x8E && b != 0x8F && !InA1ToFE(b)) {
        bad(1);
        continue;
      }
      // A character cut by the block's end waits, unless what came of it
      // is already wrong.
      const bool cut = n - i < need;
      const unsigned char t1 = i + 1 < n ? Byte(bytes, i + 1) : 0;
      if (cut && (i + 1 == n || (b == 0x8F && InA1ToFE(t1)))) {
        flush();
        held_.Hold(bytes.substr(i));
        return;
      }
      if (b == 0x8E) {
        if (t1 >= 0xA1 && t1 <= 0xDF) {
          flush();
          AppendUtf8(out, 0xFF61 + t1 - 0xA1);
          i += 2;
        } else {
          bad(t1 < 0x80 ? 1 : 2);
        }
      } else if (b == 0x8F) {
        if (!InA1ToFE(t1)) {
          bad(t1 < 0x80 ? 1 : 2);
          continue;
        }
        const unsigned char t2 = Byte(bytes, i + 2);
        if (!InA1ToFE(t2)) {
          bad(t2 < 0x80 ? 2 : 3);
          continue;
        }
        flush();
        if (!system_text::DecodeJis0212(bytes.substr(i, 3), out)) AppendReplacement(out);
        i += 3;
      } else if (InA1ToFE(t1)) {
        AppendShiftJisOfPointer((b - 0xA1) * 94 + t1 - 0xA1, run);
        i += 2;
      } else {
        bad(t1 < 0x80 ? 1 : 2);
      }
    }
    flush();
  }

  void Finish(std::string& out) override {
    if (held_.Empty()) return;
    held_.Clear();
    AppendReplacement(out);
  }

 private:
  HeldBytes held_;
  std::string run_;
};

// Escape sequences switch among ASCII, JIS X 0201 Roman, half-width
// katakana and JIS X 0208; the state lives in the decoder, so a block may
// end anywhere, an escape sequence included. Two-byte characters gather
// into one Shift_JIS run for the system's table.
class Iso2022JpDecoder final : public TextDecoder {
 public:
  void Decode(std::string_view bytes, std::string& out) override {
    for (size_t i = 0; i < bytes.size(); ++i) Feed(Byte(bytes, i), out);
    FlushRun(out);
  }

  void Finish(std::string& out) override {
    FlushRun(out);
    switch (state_) {
      case kTrailByte:
        state_ = kLeadByte;
        Error(out);
        break;
      case kEscapeStart:
        state_ = outputState_;
        Error(out);
        break;
      case kEscape: {
        // The lead of the unfinished escape is read again as text.
        state_ = outputState_;
        const unsigned char lead = lead_;
        lead_ = 0;
        Error(out);
        Step(lead, out);
        // A lead in JIS X 0208 mode waits for a trail that never comes.
        Finish(out);
        break;
      }
      default:
        break;
    }
  }

 private:
  enum State { kAscii, kRoman, kKatakana, kLeadByte, kTrailByte, kEscapeStart, kEscape };

  void Feed(unsigned char byte, std::string& out) {
    // Bytes an escape that came to nothing gives back, read before the rest.
    unsigned char queue[3] = {byte};
    size_t count = 1;
    while (count > 0) {
      const unsigned char b = queue[0];
      std::memmove(queue, queue + 1, --count);
      unsigned char again[2];
      const size_t back = Step(b, out, again);
      std::memmove(queue + back, queue, count);
      std::memcpy(queue, again, back);
      count += back;
    }
  }

  void Emit(char32_t c, std::string& out) {
    FlushRun(out);
    output_ = false;
    AppendUtf8(out, c);
  }
  void Error(std::string& out) {
    FlushRun(out);
    output_ = false;
    AppendReplacement(out);
  }
  void FlushRun(std::string& out) {
    DecodeShiftJisRun(run_, false, out);
    run_.clear();
  }

  size_t Step(unsigned char b, std::string& out) {
    unsigned char ignored[2];
    return Step(b, out, ignored);
  }

  // Reads one byte; returns how many bytes (put in `again`) are to be read
  // again first.
  size_t Step(unsigned char b, std::string& out, unsigned char* again) {
    switch (state_) {
      case kAscii:
        if (b == 0x1B) {
          state_ = kEscapeStart;
        } else if (b < 0x80 && b != 0x0E && b != 0x0F) {
          Emit(b, out);
        } else {
          Error(out);
        }
        return 0;
      case kRoman:
        if (b == 0x1B) {
          state_ = kEscapeStart;
        } else if (b == 0x5C) {
          Emit(0xA5, out);
        } else if (b == 0x7E) {
          Emit(0x203E, out);
        } else if (b < 0x80 && b != 0x0E && b != 0x0F) {
          Emit(b, out);
        } else {
          Error(out);
        }
        return 0;
      case kKatakana:
        if (b == 0x1B) {
          state_ = kEscapeStart;
        } else if (b >= 0x21 && b <= 0x5F) {
          Emit(0xFF61 - 0x21 + b, out);
        } else {
          Error(out);
        }
        return 0;
      case kLeadByte:
        if (b == 0x1B) {
          state_ = kEscapeStart;
        } else if (b >= 0x21 && b <= 0x7E) {
          output_ = false;
          lead_ = b;
          state_ = kTrailByte;
        } else {
          Error(out);
        }
        return 0;
      case kTrailByte:
        if (b == 0x1B) {
          state_ = kEscapeStart;
          Error(out);
        } else {
          state_ = kLeadByte;
          if (b >= 0x21 && b <= 0x7E)
            AppendShiftJisOfPointer((lead_ - 0x21) * 94 + b - 0x21, run_);
          else
            Error(out);
        }
        return 0;
      case kEscapeStart:
        if (b == 0x24 || b == 0x28) {
          lead_ = b;
          state_ = kEscape;
          return 0;
        }
        state_ = outputState_;
        Error(out);
        again[0] = b;
        return 1;
      case kEscape: {
        const unsigned char lead = lead_;
        lead_ = 0;
        int next = -1;
        if (lead == 0x28 && b == 0x42) next = kAscii;
        if (lead == 0x28 && b == 0x4A) next = kRoman;
        if (lead == 0x28 && b == 0x49) next = kKatakana;
        if (lead == 0x24 && (b == 0x40 || b == 0x42)) next = kLeadByte;
        if (next >= 0) {
          state_ = outputState_ = static_cast<State>(next);
          // An escape right after another, with nothing between, is an
          // error of its own.
          const bool twice = output_;
          output_ = true;
          if (twice) {
            FlushRun(out);
            AppendReplacement(out);
          }
          return 0;
        }
        state_ = outputState_;
        Error(out);
        again[0] = lead;
        again[1] = b;
        return 2;
      }
    }
    return 0;
  }

  State state_ = kAscii, outputState_ = kAscii;
  unsigned char lead_ = 0;
  bool output_ = false;
  std::string run_;
};

// --- Encoding back ------------------------------------------------------------

// The code points of `utf8`; a byte that starts no character reads as
// U+FFFD, which no legacy encoding has and so goes as "&#65533;".
std::u32string CodePoints(std::string_view utf8) {
  std::u32string text;
  text.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const size_t length = Utf8CharacterLength(utf8, i);
    const unsigned char b = Byte(utf8, i);
    if (length == 1) {
      text += b < 0x80 ? char32_t{b} : kReplacement;
    } else {
      char32_t c = b & (0xFF >> (length + 1));
      for (size_t k = 1; k < length; ++k) c = (c << 6) | (Byte(utf8, i + k) & 0x3F);
      text += c;
    }
    i += length;
  }
  return text;
}

bool EncodeWindows1252(char32_t c, std::string& out) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
    out += static_cast<char>(c);
    return true;
  }
  for (unsigned i = 0; i < 32; ++i) {
    if (kWindows1252High[i] == c) {
      out += static_cast<char>(0x80 + i);
      return true;
    }
  }
  return false;
}

bool EncodeUserDefined(char32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c >= 0xF780 && c <= 0xF7FF) {
    out += static_cast<char>(c - 0xF780 + 0x80);
  } else {
    return false;
  }
  return true;
}

// The half-width katakana U+FF61..U+FF9F as the full-width characters
// ISO-2022-JP sends for them.
constexpr char16_t kFullWidthKatakana[63] = {
    0x3002, 0x300C, 0x300D, 0x3001, 0x30FB, 0x30F2, 0x30A1, 0x30A3, 0x30A5, 0x30A7, 0x30A9,
    0x30E3, 0x30E5, 0x30E7, 0x30C3, 0x30FC, 0x30A2, 0x30A4, 0x30A6, 0x30A8, 0x30AA, 0x30AB,
    0x30AD, 0x30AF, 0x30B1, 0x30B3, 0x30B5, 0x30B7, 0x30B9, 0x30BB, 0x30BD, 0x30BF, 0x30C1,
    0x30C4, 0x30C6, 0x30C8, 0x30CA, 0x30CB, 0x30CC, 0x30CD, 0x30CE, 0x30CF, 0x30D2, 0x30D5,
    0x30D8, 0x30DB, 0x30DE, 0x30DF, 0x30E0, 0x30E1, 0x30E2, 0x30E4, 0x30E6, 0x30E8, 0x30E9,
    0x30EA, 0x30EB, 0x30EC, 0x30ED, 0x30EF, 0x30F3, 0x309B, 0x309C};

// The system's Shift_JIS bytes of `c`, only where they read back as `c`:
// iconv also sends some characters to their look-alikes (U+301C WAVE DASH
// as the FULLWIDTH TILDE's bytes, U+00A2 as U+FFE0's), which browsers send
// as references instead.
bool SystemShiftJis(char32_t c, std::string& out) {
  std::string bytes, back;
  if (!system_text::EncodeShiftJis(c, bytes) || !system_text::DecodeShiftJis(bytes, back))
    return false;
  std::string expected;
  AppendUtf8(expected, c);
  if (back != expected) return false;
  out += bytes;
  return true;
}

// The JIS X 0208 pointer of `c` through the system's Shift_JIS table, or -1.
// The IBM extension kanji, which CP932 sends from lead bytes FA..FC only,
// have none.
long Jis0208Pointer(char32_t c) {
  if (c == 0x2212) c = 0xFF0D;
  if (c >= 0xE000 && c <= 0xF8FF) return -1;
  std::string bytes;
  if (!SystemShiftJis(c, bytes) || bytes.size() != 2) return -1;
  const unsigned char lead = Byte(bytes, 0), trail = Byte(bytes, 1);
  if (!IsShiftJisLead(lead) || lead >= 0xF0 || !IsShiftJisTrail(trail)) return -1;
  return ShiftJisPointer(lead, trail);
}

bool EncodeShiftJis(char32_t c, std::string& out) {
  if (c <= 0x80) {
    out += static_cast<char>(c);
  } else if (c == 0xA5) {
    out += '\x5C';
  } else if (c == 0x203E) {
    out += '\x7E';
  } else if (c >= 0xFF61 && c <= 0xFF9F) {
    out += static_cast<char>(c - 0xFF61 + 0xA1);
  } else if (c >= 0xE000 && c <= 0xF8FF) {
    return false;
  } else {
    return SystemShiftJis(c == 0x2212 ? 0xFF0D : c, out);
  }
  return true;
}

bool EncodeEucJp(char32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c == 0xA5) {
    out += '\x5C';
  } else if (c == 0x203E) {
    out += '\x7E';
  } else if (c >= 0xFF61 && c <= 0xFF9F) {
    out += '\x8E';
    out += static_cast<char>(c - 0xFF61 + 0xA1);
  } else {
    const long pointer = Jis0208Pointer(c);
    if (pointer < 0 || pointer >= 94 * 94) return false;
    out += static_cast<char>(0xA1 + pointer / 94);
    out += static_cast<char>(0xA1 + pointer % 94);
  }
  return true;
}

void EncodeIso2022Jp(std::u32string_view text, std::string& out) {
  enum { kAscii, kRoman, kJis0208 } state = kAscii;
  const auto ascii = [&](char32_t c) {
    if (state != kAscii && !(state == kRoman && c != 0x5C && c != 0x7E)) {
      out += "\x1B(B";
      state = kAscii;
    }
    out += static_cast<char>(c);
  };
  for (char32_t c : text) {
    if (c == 0x0E || c == 0x0F || c == 0x1B) {
      // Bytes that would be read as shifts or escapes.
      for (char d : std::string_view("&#65533;")) ascii(static_cast<unsigned char>(d));
      continue;
    }
    if (c < 0x80) {
      ascii(c);
      continue;
    }
    if (c == 0xA5 || c == 0x203E) {
      if (state != kRoman) {
        out += "\x1B(J";
        state = kRoman;
      }
      out += c == 0xA5 ? '\x5C' : '\x7E';
      continue;
    }
    if (c >= 0xFF61 && c <= 0xFF9F) c = kFullWidthKatakana[c - 0xFF61];
    const long pointer = Jis0208Pointer(c);
    if (pointer < 0 || pointer >= 94 * 94) {
      std::string reference;
      system_text::AppendCharacterReference(c, reference);
      for (char d : reference) ascii(static_cast<unsigned char>(d));
      continue;
    }
    if (state != kJis0208) {
      out += "\x1B$B";
      state = kJis0208;
    }
    out += static_cast<char>(0x21 + pointer / 94);
    out += static_cast<char>(0x21 + pointer % 94);
  }
  if (state != kAscii) out += "\x1B(B";
}

}  // namespace

namespace system_text {

void AppendCharacterReference(char32_t c, std::string& out) {
  out += "&#";
  out += std::to_string(static_cast<uint32_t>(c));
  out += ';';
}

}  // namespace system_text

std::unique_ptr<TextDecoder> OpenTextDecoder(std::string_view encoding) {
  if (encoding == "UTF-8") return std::make_unique<Utf8Decoder>();
  if (encoding == "UTF-16LE") return std::make_unique<Utf16Decoder>(false);
  if (encoding == "UTF-16BE") return std::make_unique<Utf16Decoder>(true);
  if (encoding == "windows-1252") return std::make_unique<SingleByteDecoder>(false);
  if (encoding == "x-user-defined") return std::make_unique<SingleByteDecoder>(true);
  if (encoding == "replacement") return std::make_unique<ReplacementDecoder>();
  if (encoding == "Shift_JIS") return std::make_unique<ShiftJisDecoder>();
  if (encoding == "EUC-JP") return std::make_unique<EucJpDecoder>();
  if (encoding == "ISO-2022-JP") return std::make_unique<Iso2022JpDecoder>();
  return system_text::OpenDecoder(encoding);
}

bool EncodeFromUtf8(std::string_view encoding, std::string_view utf8, std::string& out) {
  if (encoding == "UTF-8" || encoding == "UTF-16LE" || encoding == "UTF-16BE" ||
      encoding == "replacement") {
    for (size_t i = 0; i < utf8.size();) {
      const size_t length = Utf8CharacterLength(utf8, i);
      if (length == 1 && Byte(utf8, i) >= 0x80)
        AppendReplacement(out);
      else
        out.append(utf8.data() + i, length);
      i += length;
    }
    return true;
  }
  const std::u32string text = CodePoints(utf8);
  if (encoding == "ISO-2022-JP") {
    EncodeIso2022Jp(text, out);
    return true;
  }
  bool (*one)(char32_t, std::string&) = nullptr;
  if (encoding == "windows-1252") one = EncodeWindows1252;
  if (encoding == "x-user-defined") one = EncodeUserDefined;
  if (encoding == "Shift_JIS") one = EncodeShiftJis;
  if (encoding == "EUC-JP") one = EncodeEucJp;
  if (!one) return system_text::Encode(encoding, text, out);
  for (char32_t c : text)
    if (!one(c, out)) system_text::AppendCharacterReference(c, out);
  return true;
}

}  // namespace platform

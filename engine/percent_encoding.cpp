#include "engine/percent_encoding.h"

#include "platform/utf8.h"

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

void AppendEscape(std::string& out, unsigned char byte) {
  const char escape[3] = {'%', kHexDigits[byte >> 4], kHexDigits[byte & 15]};
  out.append(escape, 3);
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// The start of the next byte of `text` from `pos` on that `set` escapes.
size_t NextEscaped(std::string_view text, size_t pos, const PercentEncodeSet& set) {
  while (pos < text.size() && !set.Contains(static_cast<unsigned char>(text[pos]))) ++pos;
  return pos;
}

}  // namespace

size_t WellFormedCharacterLength(std::string_view text, size_t pos) {
  const size_t length = platform::Utf8CharacterLength(text, pos);
  return length == 1 && static_cast<unsigned char>(text[pos]) >= 0x80 ? 0 : length;
}

size_t IllFormedStretchLength(std::string_view text, size_t pos) {
  const auto byte = [&](size_t i) {
    return pos + i < text.size() ? static_cast<unsigned char>(text[pos + i]) : 0;
  };
  const unsigned char lead = byte(0);
  // A lone surrogate (ED A0..BF 80..BF) is what a UTF-16 string with one
  // unpaired half becomes; that string would give one U+FFFD.
  if (lead == 0xED && byte(1) >= 0xA0 && byte(1) <= 0xBF && (byte(2) & 0xC0) == 0x80) return 3;
  const auto [length, low, high] = platform::Utf8LeadOf(lead);
  if (length <= 1) return 1;
  size_t taken = 1;
  if (byte(1) < low || byte(1) > high) return taken;
  for (++taken; taken < length && (byte(taken) & 0xC0) == 0x80;) ++taken;
  return taken;
}

size_t AppendEscapedCharacter(std::string& out, std::string_view text, size_t pos) {
  const size_t length = WellFormedCharacterLength(text, pos);
  if (length == 0) {
    out += "%EF%BF%BD";
    return IllFormedStretchLength(text, pos);
  }
  // A character beyond ASCII is escaped whole, since every set holds all
  // bytes above 0x7E.
  for (size_t i = 0; i < length; ++i) AppendEscape(out, static_cast<unsigned char>(text[pos + i]));
  return length;
}

void AppendPercentEncoded(std::string& out, std::string_view text, const PercentEncodeSet& set) {
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t escaped = NextEscaped(text, pos, set);
    out.append(text, pos, escaped - pos);
    if (escaped == text.size()) return;
    pos = escaped + AppendEscapedCharacter(out, text, escaped);
  }
}

void AppendPercentEncodedBytes(std::string& out, std::string_view bytes,
                               const PercentEncodeSet& set) {
  size_t pos = 0;
  while (pos < bytes.size()) {
    const size_t escaped = NextEscaped(bytes, pos, set);
    out.append(bytes, pos, escaped - pos);
    if (escaped == bytes.size()) return;
    AppendEscape(out, static_cast<unsigned char>(bytes[escaped]));
    pos = escaped + 1;
  }
}

void AppendPercentDecoded(std::string& out, std::string_view text) {
  size_t pos = 0;
  while (pos < text.size()) {
    const size_t percent = text.find('%', pos);
    if (percent == std::string_view::npos) {
      out.append(text, pos);
      return;
    }
    out.append(text, pos, percent - pos);
    const int high = percent + 2 < text.size() ? HexValue(text[percent + 1]) : -1;
    const int low = high >= 0 ? HexValue(text[percent + 2]) : -1;
    if (low < 0) {
      out += '%';
      pos = percent + 1;
    } else {
      out += static_cast<char>(high * 16 + low);
      pos = percent + 3;
    }
  }
}

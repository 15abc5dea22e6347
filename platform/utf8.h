#pragma once
// UTF-8, the one way the program reads it: the link filter's character
// steps, the folder-browser title's cut and the wide-character conversion
// all follow this rule, so a byte is one character or part of one alike
// everywhere.
//
// A character is well-formed as Unicode defines it: no overlong form (so
// C0, C1 and F5..FF never lead), no surrogate, nothing above U+10FFFF.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// What a byte says of the character it would lead: its length (1 for
// ASCII, 0 for a byte that leads none) and the range its second byte must
// lie in; any further bytes are 80..BF.
struct Utf8Lead {
  size_t length;
  unsigned char low, high;
};
constexpr Utf8Lead Utf8LeadOf(unsigned char lead) {
  if (lead < 0x80) return {1, 0x80, 0xBF};
  if (lead >= 0xC2 && lead <= 0xDF) return {2, 0x80, 0xBF};
  if (lead == 0xE0) return {3, 0xA0, 0xBF};  // overlong below U+0800
  if (lead == 0xED) return {3, 0x80, 0x9F};  // surrogates
  if (lead >= 0xE1 && lead <= 0xEF) return {3, 0x80, 0xBF};
  if (lead == 0xF0) return {4, 0x90, 0xBF};  // overlong below U+10000
  if (lead == 0xF4) return {4, 0x80, 0x8F};  // above U+10FFFF
  if (lead >= 0xF1 && lead <= 0xF3) return {4, 0x80, 0xBF};
  return {0, 0x80, 0xBF};
}

// Length in bytes (1 to 4) of the character that starts at `text[pos]`,
// `pos` < `text.size()`. A byte that starts no well-formed character counts
// as a character of its own.
inline size_t Utf8CharacterLength(std::string_view text, size_t pos) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[pos + i]); };
  const auto [length, low, high] = Utf8LeadOf(byte(0));
  if (length <= 1 || length > text.size() - pos) return 1;
  if (byte(1) < low || byte(1) > high) return 1;
  for (size_t i = 2; i < length; ++i)
    if ((byte(i) & 0xC0) != 0x80) return 1;
  return length;
}

// The code points of `text`, or nothing when a byte starts no well-formed
// character.
std::optional<std::u32string> DecodeUtf8(std::string_view text);

// Appends `c` (at most U+10FFFF) in UTF-8.
void AppendUtf8(std::string& out, char32_t c);

// The longest start of `text` of at most `limit` bytes that splits no
// character.
std::string_view CutAtCharacter(std::string_view text, size_t limit);

}  // namespace platform

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

// Length in bytes (1 to 4) of the character that starts at `text[pos]`,
// `pos` < `text.size()`. A byte that starts no well-formed character counts
// as a character of its own.
inline size_t Utf8CharacterLength(std::string_view text, size_t pos) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[pos + i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  // The second byte's range depends on the lead; the others are 80..BF.
  size_t length;
  unsigned char low = 0x80, high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong below U+0800
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // overlong below U+10000
    if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    return 1;
  }
  if (length > text.size() - pos) return 1;
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

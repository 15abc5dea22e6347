#include "platform/utf8.h"

namespace platform {

std::optional<std::u32string> DecodeUtf8(std::string_view text) {
  std::u32string out;
  for (size_t pos = 0; pos < text.size();) {
    const unsigned char lead = static_cast<unsigned char>(text[pos]);
    const size_t length = Utf8CharacterLength(text, pos);
    if (length == 1) {
      if (lead >= 0x80) return std::nullopt;
      out += static_cast<char32_t>(lead);
    } else {
      char32_t c = lead & (0x7F >> length);
      for (size_t i = 1; i < length; ++i)
        c = (c << 6) | (static_cast<unsigned char>(text[pos + i]) & 0x3F);
      out += c;
    }
    pos += length;
  }
  return out;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

std::string_view CutAtCharacter(std::string_view text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t end = 0;
  for (size_t next; (next = end + Utf8CharacterLength(text, end)) <= limit;) end = next;
  return text.substr(0, end);
}

}  // namespace platform

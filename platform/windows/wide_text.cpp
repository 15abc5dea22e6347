#include "platform/windows/wide_text.h"

#include "platform/utf8.h"

namespace platform::win32 {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

}  // namespace

std::wstring Widen(std::string_view text) {
  std::wstring wide;
  wide.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) {
    const size_t length = Utf8CharacterLength(text, pos);
    const auto decoded = DecodeUtf8(text.substr(pos, length));
    const char32_t c = decoded ? decoded->front() : kReplacement;
    if (c < 0x10000) {
      wide += static_cast<wchar_t>(c);
    } else {
      wide += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
      wide += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
    pos += length;
  }
  return wide;
}

std::string Narrow(std::wstring_view text) {
  std::string narrow;
  narrow.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char32_t unit = static_cast<char16_t>(text[i]);
    char32_t c = unit;
    if (unit >= 0xD800 && unit <= 0xDFFF) {
      const char32_t next = i + 1 < text.size() ? static_cast<char16_t>(text[i + 1]) : 0;
      if (unit <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) {
        c = 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00);
        ++i;
      } else {
        c = kReplacement;
      }
    }
    AppendUtf8(narrow, c);
  }
  return narrow;
}

}  // namespace platform::win32

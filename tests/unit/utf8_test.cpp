// The one UTF-8 rule: what starts a character, what decodes, where a cut
// may fall.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "platform/utf8.h"

namespace {

struct LeadCase {
  std::string_view bytes;
  size_t length;  // of the character at the first byte
};

// Well-formed characters of every length, and the forms that must count
// as one stray byte: overlong leads C0 and C1, overlong and surrogate
// second bytes, code points past U+10FFFF, a cut-off character.
TEST(Utf8, ACharacterIsWholeAndWellFormedOrOneByte) {
  const std::vector<LeadCase> cases = {
      {"A", 1},
      {"\xC2\x80", 2},
      {"\xDF\xBF", 2},
      {"\xE3\x81\x82", 3},
      {"\xE0\xA0\x80", 3},
      {"\xED\x9F\xBF", 3},
      {"\xF0\x90\x80\x80", 4},
      {"\xF4\x8F\xBF\xBF", 4},
      {"\xC0\xAF", 1},
      {"\xC1\xBF", 1},
      {"\xE0\x9F\xBF", 1},
      {"\xED\xA0\x80", 1},
      {"\xF0\x8F\xBF\xBF", 1},
      {"\xF4\x90\x80\x80", 1},
      {"\xF5\x80\x80\x80", 1},
      {"\xE3\x81", 1},
      {"\xE3\x41\x82", 1},
      {"\x81", 1},
  };
  for (const LeadCase& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.bytes)));
    EXPECT_EQ(platform::Utf8CharacterLength(c.bytes, 0), c.length);
    // The decoder accepts exactly what the step takes whole.
    const bool ascii = static_cast<unsigned char>(c.bytes[0]) < 0x80;
    const bool wellFormed = c.length == c.bytes.size() && (c.length > 1 || ascii);
    EXPECT_EQ(platform::DecodeUtf8(c.bytes).has_value(), wellFormed);
  }
}

TEST(Utf8, DecodingAndEncodingAreInverse) {
  const std::u32string points = {U'A', 0x80, 0x7FF, 0x800, 0x3042, 0xFFFF, 0x10000, 0x10FFFF};
  std::string text;
  for (char32_t c : points) platform::AppendUtf8(text, c);
  EXPECT_EQ(platform::DecodeUtf8(text), points);
}

TEST(Utf8, ACutEndsBeforeTheCharacterThatWouldNotFit) {
  const std::string a = "\xE3\x81\x82";  // three bytes
  EXPECT_EQ(platform::CutAtCharacter("x" + a, 3), "x");
  EXPECT_EQ(platform::CutAtCharacter("x" + a, 4), "x" + a);
  EXPECT_EQ(platform::CutAtCharacter(a + a, 2), "");
  // Stray bytes are characters of their own, so a cut may fall between them.
  EXPECT_EQ(platform::CutAtCharacter("\x81\x82\x83", 2), "\x81\x82");
}

}  // namespace

// UTF-8 to UTF-16 and back by the program's own rule: a stray byte is one
// U+FFFD, as the link filter counts it one character; characters beyond
// U+FFFF are surrogate pairs; a surrogate without its partner is U+FFFD.
#include "platform/windows/wide_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using platform::win32::Narrow;
using platform::win32::Widen;

TEST(WideText, ConvertsByTheProgramsOwnUtf8Rule) {
  using namespace std::string_literals;
  struct Case {
    std::string utf8;
    std::wstring utf16;
    bool both = true;  // false: only UTF-8 to UTF-16, whose way back differs
  };
  const Case cases[] = {
      {"A\xE3\x81\x82", L"A\x3042"},
      {"\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF", L"\xD83D\xDE00\xDBFF\xDFFF"},
      {"a\0b"s, L"a\0b"s},
      {"\xE3\x81", L"\xFFFD\xFFFD", false},
      {"\xED\xA0\x80", L"\xFFFD\xFFFD\xFFFD", false},
      {"a\xFF\xC0\xAF", L"a\xFFFD\xFFFD\xFFFD", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.utf8));
    EXPECT_EQ(Widen(c.utf8), c.utf16);
    if (c.both) {
      EXPECT_EQ(Narrow(c.utf16), c.utf8);
    }
  }
  const std::string replacement = "\xEF\xBF\xBD";
  EXPECT_EQ(Narrow(L"\xD83D"), replacement);
  EXPECT_EQ(Narrow(L"\xDE00z"), replacement + "z");
  EXPECT_EQ(Narrow(L"\xD83D\xD83D\xDE00"), replacement + "\xF0\x9F\x98\x80");
}

}  // namespace

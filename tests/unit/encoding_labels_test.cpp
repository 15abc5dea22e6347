// The names pages give their encodings, read as browsers read them.
#include <gtest/gtest.h>

#include <optional>
#include <string_view>

#include "platform/encoding_labels.h"

namespace {

TEST(EncodingLabels, NamesTheEncodingBrowsersRead) {
  const struct {
    std::string_view label;
    std::optional<std::string_view> encoding;
  } cases[] = {
      {"utf-8", "UTF-8"},
      {"unicode-1-1-utf-8", "UTF-8"},
      {"x-sjis", "Shift_JIS"},
      {"MS_Kanji", "Shift_JIS"},
      {"windows-31j", "Shift_JIS"},
      {"csShiftJIS", "Shift_JIS"},
      {"x-euc-jp", "EUC-JP"},
      {"cseucpkdfmtjapanese", "EUC-JP"},
      {"csiso2022jp", "ISO-2022-JP"},
      {"iso-8859-1", "windows-1252"},
      {"US-ASCII", "windows-1252"},
      {"latin1", "windows-1252"},
      {"iso-8859-9", "windows-1254"},
      {"iso-8859-11", "windows-874"},
      {"gb2312", "GBK"},
      {"big5-hkscs", "Big5"},
      {"ks_c_5601-1987", "EUC-KR"},
      {"iso-2022-kr", "replacement"},
      {"hz-gb-2312", "replacement"},
      {"utf-16", "UTF-16LE"},
      {"unicodefffe", "UTF-16BE"},
      {"logical", "ISO-8859-8-I"},
      {"x-mac-ukrainian", "x-mac-cyrillic"},
      {"x-user-defined", "x-user-defined"},
      {" \t\n\f\rShift_JIS\r\n ", "Shift_JIS"},
      {"shift_jis\v", std::nullopt},  // a vertical tab is not ASCII whitespace
      {"shift jis", std::nullopt},
      {"sjis2", std::nullopt},
      {"utf-7", std::nullopt},
      {"", std::nullopt},
      {"   ", std::nullopt},
      {"\xC5\xBFjis", std::nullopt},  // ſ: only ASCII letters fold
  };
  for (const auto& c : cases) EXPECT_EQ(platform::EncodingForLabel(c.label), c.encoding) << c.label;

  // Each encoding's own name, in any case, is a label of it.
  for (std::string_view name :
       {"UTF-8",       "IBM866",      "ISO-8859-2",   "ISO-8859-8-I",  "ISO-8859-16",    "KOI8-U",
        "macintosh",   "windows-874", "windows-1250", "windows-1258",  "x-mac-cyrillic", "GBK",
        "gb18030",     "Big5",        "EUC-JP",       "ISO-2022-JP",   "Shift_JIS",      "EUC-KR",
        "replacement", "UTF-16BE",    "UTF-16LE",     "x-user-defined"})
    EXPECT_EQ(platform::EncodingForLabel(name), name);
}

}  // namespace

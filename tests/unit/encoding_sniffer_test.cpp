// How a page's encoding is found: byte order mark, Content-Type, <meta> in
// the first 1024 bytes, else UTF-8 when the page is well-formed UTF-8 and
// Shift_JIS when not.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/encoding_sniffer.h"

namespace {

using namespace std::literals;

using engine::EncodingSource;

struct SniffCase {
  std::string_view contentType;
  std::string page;
  std::string_view name;  // "" when nothing is declared
  EncodingSource source;
  std::string_view why;
};

std::string Padded(std::string_view head, size_t length, std::string_view tail) {
  std::string page(head);
  page.resize(length, ' ');
  page += tail;
  return page;
}

TEST(EncodingSniffer, FindsTheDeclaredEncoding) {
  constexpr EncodingSource kBom = EncodingSource::kByteOrderMark;
  constexpr EncodingSource kHeader = EncodingSource::kContentType;
  constexpr EncodingSource kMeta = EncodingSource::kMeta;
  const std::string sjisMeta = "<meta charset=shift_jis>";
  const std::vector<SniffCase> cases = {
      {"text/html; charset=EUC-JP", "\xEF\xBB\xBF" + sjisMeta, "UTF-8", kBom, "the mark first"},
      {"", "\xFF\xFE<\0"s, "UTF-16LE", kBom, "little-endian mark"},
      {"", "\xFE\xFF\0<"s, "UTF-16BE", kBom, "big-endian mark"},
      {"text/html; charset=EUC-JP", sjisMeta, "EUC-JP", kHeader, "the header before the page"},
      {"text/html;charset=\"x-sjis\"", "", "Shift_JIS", kHeader, "quoted"},
      {"TEXT/HTML ; Charset=\"shift\\_jis\" ; charset=euc-jp", "", "Shift_JIS", kHeader,
       "case, escape, first one counts"},
      {"text/html; charset=\"euc-jp", "", "EUC-JP", kHeader, "unclosed quote"},
      {"text/html; charset=bogus", sjisMeta, "Shift_JIS", kMeta, "unknown label in the header"},
      {"text/html; foo; charset=iso-2022-jp", "", "ISO-2022-JP", kHeader,
       "a parameter without value"},
      {"html; charset=euc-jp", sjisMeta, "Shift_JIS", kMeta, "no subtype: no MIME type"},
      {"", "<html><head><META CHARSET=\"EUC-JP\">", "EUC-JP", kMeta, "quoted, capitals"},
      {"", "<meta charset='  sjis '/>", "Shift_JIS", kMeta, "single quotes, spaces"},
      {"", "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">",
       "Shift_JIS", kMeta, "http-equiv form"},
      {"", "<meta content='text/html;charset = \"euc-jp\"' http-equiv=content-type>", "EUC-JP",
       kMeta, "content first, charset quoted inside it"},
      {"", "<meta content=\"text/html; charset=euc-jp\">", "", kMeta, "content without http-equiv"},
      {"", "<meta charset=utf-16le>", "UTF-8", kMeta, "UTF-16 named by the page itself"},
      {"", "<meta charset=x-user-defined>", "windows-1252", kMeta, "x-user-defined"},
      {"", "<meta charset=bogus><meta charset=euc-jp>", "EUC-JP", kMeta, "unknown label skipped"},
      {"", "<meta charset=euc-jp charset=sjis>", "EUC-JP", kMeta, "first of a repeated attribute"},
      {"", "<!-- <meta charset=euc-jp> --><meta charset=sjis>", "Shift_JIS", kMeta,
       "comment skipped"},
      {"", "<!--><meta charset=euc-jp>-->", "EUC-JP", kMeta, "<!--> closes at once"},
      {"", "<title a='<meta charset=euc-jp>'><meta charset=sjis>", "Shift_JIS", kMeta,
       "attribute of another tag"},
      {"", "<!DOCTYPE html><?xml x?></p><meta/charset=iso-2022-jp>", "ISO-2022-JP", kMeta,
       "declarations, end tags, slash"},
      {"", "<metacharset=euc-jp>", "", kMeta, "no <meta> without a space"},
      {"", Padded("<html>", 1010, "<meta charset=euc-jp>"), "", kMeta, "cut by the 1024 bytes"},
      {"", Padded("<html>", 1024, "<meta charset=euc-jp>"), "", kMeta, "after the 1024 bytes"},
      {"", Padded("<html>", 1000, "<meta charset=sjis>"), "Shift_JIS", kMeta, "ends at byte 1019"},
      {"", "<meta charset=\"euc-jp", "", kMeta, "the bytes end inside the tag"},
      {"", "<p>日本語</p>", "", kMeta, "nothing declared"},
  };
  for (const SniffCase& c : cases) {
    SCOPED_TRACE(c.why);
    const std::optional<engine::PageEncoding> found =
        engine::DeclaredEncoding(c.contentType, c.page);
    if (c.name.empty()) {
      EXPECT_FALSE(found) << found->name;
      continue;
    }
    ASSERT_TRUE(found);
    EXPECT_EQ(found->name, c.name);
    EXPECT_EQ(found->source, c.source);
    EXPECT_EQ(found->byteOrderMarkLength, c.source == kBom ? (c.name == "UTF-8" ? 3u : 2u) : 0u);
  }
}

// Fed whole, cut in two anywhere and a byte at a time alike.
TEST(EncodingSniffer, UndeclaredPagesAreUtf8OnlyWhenWellFormed) {
  const struct {
    std::string_view page;
    bool utf8;
  } cases[] = {
      {"", true},
      {"<p>plain ASCII, longer than one word of eight bytes</p>", true},
      {"<p>日本語テキスト ｶﾀｶﾅ 𠮷</p>", true},
      {"<p>\x93\xFA\x96\x7B\x8C\xEA</p>", false},  // Shift_JIS
      {"<p>\xC6\xFC\xCB\xDC</p>", false},          // EUC-JP
      {"abc\xE6\x97", false},                      // cut at the end
      {"\xC0\xAF", false},                         // overlong
      {"\xED\xA0\x80", false},                     // surrogate
      {"\xF4\x90\x80\x80", false},                 // above U+10FFFF
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.page)));
    for (size_t cut = 0; cut <= c.page.size(); ++cut) {
      engine::Utf8Check check;
      check.Feed(c.page.substr(0, cut));
      check.Feed(c.page.substr(cut));
      EXPECT_EQ(check.Valid(), c.utf8) << "cut at " << cut;
    }
    engine::Utf8Check bytes;
    for (char b : c.page) bytes.Feed(std::string_view(&b, 1));
    const engine::PageEncoding encoding = engine::UndeclaredEncoding(bytes.Valid());
    EXPECT_EQ(encoding.name, c.utf8 ? "UTF-8" : "Shift_JIS");
    EXPECT_EQ(encoding.source, c.utf8 ? EncodingSource::kValidUtf8 : EncodingSource::kFallback);
  }
}

}  // namespace

// Pages to UTF-8 and query text back, as browsers do it, on this system's
// tables: each sample decoded whole, cut in two at every byte and fed a byte
// at a time, since a download hands the decoder blocks cut anywhere.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text_decoder.h"

namespace {

using namespace std::literals;

struct DecodeCase {
  std::string_view encoding;
  std::string_view bytes;
  std::string_view text;  // UTF-8
};

std::string Decoded(std::string_view encoding, const std::vector<std::string_view>& blocks) {
  std::unique_ptr<platform::TextDecoder> decoder = platform::OpenTextDecoder(encoding);
  if (!decoder) return "(no decoder)";
  std::string out;
  for (std::string_view block : blocks) decoder->Decode(block, out);
  decoder->Finish(out);
  return out;
}

// The Japanese encodings with their modes and extensions, the Unicode
// ones, the single-byte ones browsers read their own way, and a few the
// system decodes by name. Each malformed sequence reads as one U+FFFD; where
// a trail byte is ASCII it is read again as itself.
TEST(TextDecoder, DecodesWholeAndCutAnywhere) {
  const std::vector<DecodeCase> cases = {
      {"UTF-8", "日本語テキスト ｶﾀｶﾅ 𠮷", "日本語テキスト ｶﾀｶﾅ 𠮷"},
      {"UTF-8",
       "a\xFF"
       "b\xC0\xAF",
       "a\uFFFDb\uFFFD\uFFFD"},
      {"UTF-8",
       "\xE6\x97"
       "a\xF0\x80\x80",
       "\uFFFDa\uFFFD\uFFFD\uFFFD"},
      {"UTF-8", "\xED\xA0\x80\xF4\x90", "\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"UTF-8", "x\xE6\x97", "x\uFFFD"},
      {"UTF-16LE", "\xE5\x65\x2C\x67\x42\xD8\xB7\xDF"sv, "日本𠮷"},
      {"UTF-16LE", "\x42\xD8\x61\x00\xB7\xDF\x61"sv, "\uFFFDa\uFFFD\uFFFD"},
      {"UTF-16BE", "\x65\xE5\x67\x2C\xD8\x42\xDF\xB7"sv, "日本𠮷"},
      {"Shift_JIS", "\x93\xFA\x96\x7B\x8C\xEA\x83\x65\x83\x4C\x83\x58\x83\x67 \xB6\xC0\xB6\xC5",
       "日本語テキスト ｶﾀｶﾅ"},
      // NEC's row 13, IBM's extensions in both places, the wave dash as
      // Windows reads it, ASCII's backslash and tilde, 0x80, the
      // user-defined area.
      {"Shift_JIS", "\x87\x40\xEE\xEF\xFA\x40\xFA\x5C\x81\x60\x5C\x7E\x80\xF0\x40\xF9\xFC",
       "①ⅰⅰ纊～\\~\u0080\uE000\uE757"},
      {"Shift_JIS", "\x81\x20\xA0\x85\x40\xEB\xA0\x81\xFD\xFF",
       "\uFFFD \uFFFD\uFFFD@\uFFFD\uFFFD\uFFFD"},
      {"Shift_JIS", "a\x93", "a\uFFFD"},
      {"EUC-JP", "\xC6\xFC\xCB\xDC\xB8\xEC \x8E\xB6\x8E\xC0", "日本語 ｶﾀ"},
#ifdef _WIN32
      // Wine's code page 20932 lacks JIS X 0212.
      {"EUC-JP", "\x8F\xB0\xA1", "\uFFFD"},
#else
      {"EUC-JP", "\x8F\xB0\xA1", "丂"},
#endif
      {"EUC-JP", "\xAD\xA1\xF9\xA1\xA1\xC1", "①纊～"},
      {"EUC-JP", "\xA1\x20\x8E\xE0\x8F\xA1\x20\x8F\xA1\xA1\xFF\x80",
       "\uFFFD \uFFFD\uFFFD \uFFFD\uFFFD\uFFFD"},
      {"EUC-JP", "a\x8F\xB0", "a\uFFFD"},
      {"ISO-2022-JP", "a\x1B$B\x46\x7C\x4B\x5C\x1B(Bb\x1B(J\x5C\x7E\x1B(I\x36\x40\x1B(B~",
       "a日本b¥‾ｶﾀ~"},
      // An escape right after another, an escape of no mode (its bytes then
      // read as text), a shift byte, a byte above ASCII, a character cut by
      // an escape or by the end.
      {"ISO-2022-JP", "\x1B(B\x1B(Ba\x1B(Zb\x0E\x80", "\uFFFDa\uFFFD(Zb\uFFFD\uFFFD"},
      {"ISO-2022-JP", "\x1B$B\x46\x1B(Ba\x1B$B\x46", "\uFFFDa\uFFFD"},
      {"ISO-2022-JP", "a\x1B$", "a\uFFFD$"},
      {"windows-1252",
       "\x80\x81\x82\x83\x84\x85\x86\x87\x88\x89\x8A\x8B\x8C\x8D\x8E\x8F"
       "\x90\x91\x92\x93\x94\x95\x96\x97\x98\x99\x9A\x9B\x9C\x9D\x9E\x9F\xE9",
       "€\u0081‚ƒ„…†‡ˆ‰Š‹Œ\u008DŽ\u008F\u0090‘’“”•–—˜™š›œ\u009DžŸé"},
      {"x-user-defined", "a\x80\xFF", "a\uF780\uF7FF"},
      {"replacement", "abc", "\uFFFD"},
      {"windows-1251", "\xCF\xF0\xE8", "При"},
      {"EUC-KR", "\xC7\xD1", "한"},
      {"Big5", "\xA4\xA4", "中"},
      {"GBK", "\xD6\xD0", "中"},
  };
  for (const DecodeCase& c : cases) {
    SCOPED_TRACE(std::string(c.encoding) + " " + testing::PrintToString(std::string(c.bytes)));
    EXPECT_EQ(Decoded(c.encoding, {c.bytes}), c.text);
    for (size_t cut = 1; cut < c.bytes.size(); ++cut)
      EXPECT_EQ(Decoded(c.encoding, {c.bytes.substr(0, cut), c.bytes.substr(cut)}), c.text)
          << "cut at " << cut;
    std::vector<std::string_view> bytes;
    for (size_t i = 0; i < c.bytes.size(); ++i) bytes.push_back(c.bytes.substr(i, 1));
    EXPECT_EQ(Decoded(c.encoding, bytes), c.text) << "a byte at a time";
  }
  EXPECT_EQ(platform::OpenTextDecoder("no-such-encoding"), nullptr);
}

struct EncodeCase {
  std::string_view encoding;
  std::string_view text;  // UTF-8
  std::string_view bytes;
};

// What the encoding lacks goes as a decimal reference; the look-alikes a
// system table would substitute (the wave dash for the full-width tilde,
// ¢ for ￠) count as lacking.
TEST(TextDecoder, EncodesQueryTextWithReferences) {
  const std::vector<EncodeCase> cases = {
      {"UTF-8", "日本 a\xFF", "日本 a\uFFFD"},
      {"UTF-16LE", "日本", "日本"},
      {"Shift_JIS", "日本語ﾃｷｽﾄ¥‾−～ⅰ纊",
       "\x93\xFA\x96\x7B\x8C\xEA\xC3\xB7\xBD\xC4\x5C\x7E\x81\x7C\x81\x60\xFA\x40\xFA\x5C"},
      {"Shift_JIS", "〜¢한😀\uE000\xFF", "&#12316;&#162;&#54620;&#128512;&#57344;&#65533;"},
      {"EUC-JP", "日本ｶ①¥", "\xC6\xFC\xCB\xDC\x8E\xB6\xAD\xA1\x5C"},
      {"EUC-JP", "丂한", "&#19970;&#54620;"},
      {"ISO-2022-JP", "a日本b", "a\x1B$B\x46\x7C\x4B\x5C\x1B(Bb"},
      {"ISO-2022-JP", "日한ｶ¥a\x1B",
       "\x1B$B\x46\x7C\x1B(B&#54620;\x1B$B\x25\x2B\x1B(J\x5C"
       "a&#65533;\x1B(B"},
      {"windows-1252", "€é\u0081日", "\x80\xE9\x81&#26085;"},
      {"x-user-defined", "\uF780a\u0080",
       "\x80"
       "a&#128;"},
      {"windows-1251", "При日", "\xCF\xF0\xE8&#26085;"},
  };
  for (const EncodeCase& c : cases) {
    SCOPED_TRACE(std::string(c.encoding) + " " + std::string(c.text));
    std::string out = "<";
    ASSERT_TRUE(platform::EncodeFromUtf8(c.encoding, c.text, out));
    std::string expected = "<";
    expected += c.bytes;
    EXPECT_EQ(out, expected);
  }
  std::string out;
  EXPECT_FALSE(platform::EncodeFromUtf8("no-such-encoding", "a", out));
  EXPECT_EQ(out, "");
}

}  // namespace

// Host names to ASCII, over the URL Standard's public IDNA cases
// (tests/conformance/wpt-url/toascii.json) on this system's IDNA, then a few
// of the strict rules.
#include <gtest/gtest.h>

#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "platform/domain_to_ascii.h"
#include "tests/support/json_value.h"

namespace {

// The host parser's own refusal after the conversion, which some cases
// rely on (a space, a colon, a control the mapping left or made).
bool HasForbiddenDomainCodePoint(std::string_view host) {
  for (char c : host) {
    const auto b = static_cast<unsigned char>(c);
    if (b <= 0x20 || b == 0x7F ||
        std::string_view("#%/:<>?@[\\]^|").find(c) != std::string_view::npos)
      return true;
  }
  return false;
}

std::optional<std::string> Host(std::string_view input) {
  std::optional<std::string> ascii = platform::DomainToAscii(input, false);
  if (ascii && HasForbiddenDomainCodePoint(*ascii)) return std::nullopt;
  return ascii;
}

std::string Shown(const std::optional<std::string>& host) { return host ? *host : "(failure)"; }

// Cases this system's IDNA answers otherwise, by input, with the reason.
// Each must still disagree, so that the list shrinks when the system
// catches up.
const std::map<std::string, std::string>& Disagreements() {
  static const std::map<std::string, std::string> list = {
#ifdef _WIN32
      // Wine's IdnToAscii is IDNA2003's: transitional mapping, no check of
      // joiners or bidirectional text, Unicode tables of its time.
      {"-x.ß", "U+00DF mapped to \"ss\""},
      {"x-.ß", "U+00DF mapped to \"ss\""},
      {"x..ß", "U+00DF mapped to \"ss\""},
      {"xn--zca.ß", "U+00DF mapped to \"ss\""},
      {"ab--c.ß", "U+00DF mapped to \"ss\""},
      {"x01234567890123456789012345678901234567890123456789012345678901x.ß",
       "U+00DF mapped to \"ss\""},
      {"01234567890123456789012345678901234567890123456789."
       "01234567890123456789012345678901234567890123456789."
       "01234567890123456789012345678901234567890123456789."
       "01234567890123456789012345678901234567890123456789."
       "0123456789012345678901234567890123456789012345678.ß",
       "U+00DF mapped to \"ss\""},
      {"faß.de", "U+00DF mapped to \"ss\""},
      {"ẞ.com", "U+1E9E mapped to \"ss\""},
      {"ẞ.foo.com", "U+1E9E mapped to \"ss\""},
      {"βόλ\u03BFς.com", "U+03C2 mapped to U+03C3"},
      {"\u0DC1\u0DCA\u200D\u0DBB\u0DD3", "joiner dropped"},
      {"\u0DC1\u0DCA\u200D\u0DBB\u0DD3.com", "joiner dropped"},
      {"\u0646\u0627\u0645\u0647\u200C\u0627\u06CC", "joiner dropped"},
      {"\u0646\u0627\u0645\u0647\u200C\u0627\u06CC.com", "joiner dropped"},
      {"xn--a.ß", "an xn-- label that is no Punycode let through"},
      {"\u064Aa", "bidirectional text not checked"},
      {"look\u05BEout.net", "bidirectional text not checked"},
      {"a†--", "hyphens in places 3 and 4 refused"},
      {"x01234567890123456789012345678901234567890123456789012345678901†",
       "a label beyond 63 bytes refused"},
      {"look\u180Eout.net", "a character since ignored refused"},
      {"look\u206Bout.net", "a character since ignored refused"},
      {"Ӏ.com", "a character of a newer Unicode refused"},
      {"\U0002F868.com", "a character of a newer Unicode refused"},
      {"Ↄ.com", "a character of a newer Unicode refused"},
#else
      // libidn2 2.3.3 applies IDNA2008's own table after UTS #46's mapping:
      // symbols and other characters it disallows fail there, and it checks
      // hyphens and a label's 63 bytes whatever it is asked.
      {"a†--", "IDNA2008 disallows U+2020; hyphens in places 3 and 4"},
      {"-†", "IDNA2008 disallows U+2020; a leading hyphen"},
      {"x01234567890123456789012345678901234567890123456789012345678901†",
       "a label beyond 63 bytes; IDNA2008 disallows U+2020"},
      {"www.lookout‧net", "IDNA2008 disallows U+2027"},
      {"♥.net", "IDNA2008 disallows U+2665"},
      {"Ↄ.com", "IDNA2008 disallows U+2183"},
      {"Ӏ.com", "IDNA2008 disallows U+04C0"},
      // Its Unicode tables are older than the URL Standard's: characters
      // since ignored or remapped are still refused or mapped the old way.
      {"look\u180Eout.net", "U+180E not yet ignored"},
      {"look\u206Bout.net", "U+206B not yet ignored"},
      {"\U0002F868.com", "U+2F868 not yet mapped to U+36FC"},
      {"ẞ.com", "U+1E9E still mapped to \"ss\", not to U+00DF"},
      {"ẞ.foo.com", "U+1E9E still mapped to \"ss\", not to U+00DF"},
#endif
  };
  return list;
}

TEST(DomainToAscii, UrlStandardCasesAndStrictRules) {
  const test::JsonValue cases = test::ReadJsonFile(VIMBEL_CONFORMANCE_DIR "/wpt-url/toascii.json");
  size_t checked = 0, listed = 0;
  for (const test::JsonValue& c : cases.items) {
    if (!c.IsObject()) continue;
    const std::string input = c.Text("input");
    const test::JsonValue* output = c.Find("output");
    ASSERT_NE(output, nullptr) << input;
    const std::optional<std::string> expected =
        output->IsNull() ? std::nullopt : std::optional<std::string>(output->text);
    const std::optional<std::string> host = Host(input);
    const auto known = Disagreements().find(input);
    if (known != Disagreements().end()) {
      ++listed;
      EXPECT_NE(host, expected) << input << " now agrees; drop it from the list (" << known->second
                                << ")";
      continue;
    }
    ++checked;
    EXPECT_EQ(Shown(host), Shown(expected)) << "input: " << input;
  }
  EXPECT_GT(checked, 0u);
  std::cout << "[          ] " << checked << " IDNA cases agree, " << listed
            << " listed as this system's own\n";

  struct StrictCase {
    std::string input;
    std::optional<std::string> host;
  };
  const std::string label63(63, 'a');
  const StrictCase strictCases[] = {
      {"Example.COM", "example.com"},
      {"日本。JP", "xn--wgv71a.jp"},
      {"a_b.com", std::nullopt},
      {"a..com", std::nullopt},
      {label63 + ".com", label63 + ".com"},
      {label63 + "a.com", std::nullopt},
      {"example.com.", "example.com."},
  };
  for (const StrictCase& c : strictCases)
    EXPECT_EQ(Shown(platform::DomainToAscii(c.input, true)), Shown(c.host)) << c.input;
}

}  // namespace

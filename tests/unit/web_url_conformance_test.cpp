// The browser-like reading of addresses against the public URL test data
// (tests/conformance/wpt-url): resolution and serialization, the query in a
// document's legacy encoding, and hosts turned into ASCII.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/browser_links.h"
#include "engine/web_url.h"
#include "platform/domain_to_ascii.h"
#include "platform/encoding_labels.h"
#include "platform/utf8.h"
#include "tests/support/json_value.h"

namespace {

using test::JsonValue;

JsonValue ReadData(const char* name) {
  return test::ReadJsonFile(std::string(VIMBEL_CONFORMANCE_DIR) + "/wpt-url/" + name);
}

// The conversion of hosts beyond ASCII (or with "xn--" labels) belongs to
// the system (libidn2, IdnToAscii), which these tests are handed through
// `system`. Without it (under Wine, whose IdnToAscii follows IDNA2003 and
// is held to the data in domain_to_ascii_test.cpp instead) it converts
// nothing, and the cases that asked for it are counted as needing the
// system rather than judged.
struct DomainConversion {
#ifdef _WIN32
  DomainToAscii system;
#else
  DomainToAscii system = [](std::string_view domain, bool beStrict) {
    return platform::DomainToAscii(domain, beStrict);
  };
#endif
  int calls = 0;
  DomainToAscii Function() {
    return [this](std::string_view domain, bool beStrict) -> std::optional<std::string> {
      ++calls;
      if (!system) return std::nullopt;
      return system(domain, beStrict);
    };
  }
};

// The cases where libidn2 2.3 (IDN2_NONTRANSITIONAL | IDN2_ALLOW_UNASSIGNED)
// answers otherwise than the test data, by input, with why. libidn2 follows
// IDNA2008 beside UTS #46; these may differ once it is wired in.
constexpr const char* kHyphens =
    "libidn2 holds every label to the IDNA2008 hyphen rules, which the web leaves off";
constexpr const char* kPunycode =
    "libidn2 decodes and checks an \"xn--\" label by IDNA2008; the data keeps it as written";
constexpr const char* kLengths = "libidn2 checks DNS lengths, which the web leaves off";
constexpr const char* kIdna2008 =
    "IDNA2008 refuses symbols and compatibility forms that UTS #46 keeps or maps";
constexpr const char* kUnicodeVersion =
    "libidn2 2.3 refuses a format character that UTS #46 now drops";
constexpr const char* kCapitalSharpS =
    "libidn2 maps U+1E9E to \"ss\"; nontransitional UTS #46 keeps it as U+00DF";
const std::map<std::string, const char*> kSystemDisagreements = {
    {"a\u2020--", kHyphens},
    {"-\u2020", kHyphens},
    {"-x.\u00df", kHyphens},
    {"x-.\u00df", kHyphens},
    {"ab--c.\u00df", kHyphens},
    {"-x.xn--zca", kHyphens},
    {"x-.xn--zca", kHyphens},
    {"ab--c.xn--zca", kHyphens},
    {"xn--a", kPunycode},
    {"xn--a.xn--zca", kPunycode},
    {"xn--ls8h=", kPunycode},
    {"xn--1ug.example", kPunycode},
    {"xn--a-yoc", kPunycode},
    {"xn--zn7c.com", kPunycode},
    {"xn--0.com", kPunycode},
    {"x01234567890123456789012345678901234567890123456789012345678901\u2020", kLengths},
    {"x01234567890123456789012345678901234567890123456789012345678901x.xn--zca", kLengths},
    {"x01234567890123456789012345678901234567890123456789012345678901x.\u00df", kLengths},
    {"01234567890123456789012345678901234567890123456789.01234567890123456789012345678901234567890"
     "123456789.01234567890123456789012345678901234567890123456789.0123456789012345678901234567890"
     "1234567890123456789.0123456789012345678901234567890123456789012345678.xn--zca",
     kLengths},
    {"01234567890123456789012345678901234567890123456789.01234567890123456789012345678901234567890"
     "123456789.01234567890123456789012345678901234567890123456789.0123456789012345678901234567890"
     "1234567890123456789.0123456789012345678901234567890123456789012345678.\u00df",
     kLengths},
    {"www.lookout\u2027net", kIdna2008},
    {"\u2665.net", kIdna2008},
    {"\u04c0.com", kIdna2008},
    {"\U0002f868.com", kIdna2008},
    {"\u2183.com", kIdna2008},
    {"ftp://%e2%98%83", kIdna2008},
    {"https://%e2%98%83", kIdna2008},
    {"look\u180eout.net", kUnicodeVersion},
    {"look\u206bout.net", kUnicodeVersion},
    {"\u1e9e.com", kCapitalSharpS},
    {"\u1e9e.foo.com", kCapitalSharpS},
};

// Whether a case that came out otherwise may: the system's conversion was
// asked and is known to answer so.
bool SystemMayDiffer(const DomainConversion& conversion, int callsBefore,
                     const std::string& input) {
  return conversion.system && conversion.calls != callsBefore &&
         kSystemDisagreements.count(input) > 0;
}

std::string Lowercase(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return text;
}

// The scheme `input` begins with, lowercase, the way the parser finds it;
// empty when it has none.
std::string SchemeOf(const std::string& input) {
  std::string cleaned;
  for (char c : input)
    if (c != '\t' && c != '\n' && c != '\r') cleaned += c;
  size_t start = 0;
  while (start < cleaned.size() && static_cast<unsigned char>(cleaned[start]) <= 0x20) ++start;
  size_t end = start;
  while (end < cleaned.size() &&
         (std::isalnum(static_cast<unsigned char>(cleaned[end])) || cleaned[end] == '+' ||
          cleaned[end] == '-' || cleaned[end] == '.'))
    ++end;
  if (end == start || end == cleaned.size() || cleaned[end] != ':' ||
      !std::isalpha(static_cast<unsigned char>(cleaned[start])))
    return "";
  return Lowercase(cleaned.substr(start, end - start));
}

// The parts as the test data names them.
std::map<std::string, std::string> PartsOf(const WebUrl& url) {
  const std::string port = url.Port() ? std::to_string(*url.Port()) : "";
  const auto query = url.Query();
  const auto fragment = url.Fragment();
  return {
      {"href", url.Href()},
      {"protocol", std::string(url.Scheme()) + ":"},
      {"username", std::string(url.Username())},
      {"password", std::string(url.Password())},
      {"hostname", std::string(url.Host())},
      {"host", std::string(url.Host()) + (port.empty() ? "" : ":" + port)},
      {"port", port},
      {"pathname", std::string(url.Path())},
      {"search", query && !query->empty() ? std::string("?").append(*query) : ""},
      {"hash", fragment && !fragment->empty() ? std::string("#").append(*fragment) : ""},
  };
}

struct Tally {
  int total = 0, passed = 0, needSystem = 0;
};

// Cases outside http, https and ftp that this reading does not meet, and
// why. A case listed here that passes fails the test, so that the list
// stays true.
const std::set<std::string> kOtherKnownFailures = {};

// Every case, with one parser and one result reused throughout, as the
// program resolves a page's links. Required: each case whose base (or,
// without one, whose input) is http, https or ftp.
TEST(WebUrlConformance, ResolvesAndSerializesAsTheUrlTestData) {
  const JsonValue data = ReadData("urltestdata.json");
  DomainConversion conversion;
  WebUrlOptions options;
  options.domainToAscii = conversion.Function();
  WebUrlParser parser(options);
  WebUrl url;
  Tally web, other;
  for (const JsonValue& testCase : data.items) {
    if (!testCase.IsObject()) continue;
    const std::string input = testCase.Text("input");
    const JsonValue* baseValue = testCase.Find("base");
    const bool hasBase = baseValue && baseValue->IsString();
    const int callsBefore = conversion.calls;

    std::optional<WebUrl> base;
    bool parsed = false;
    if (hasBase) base = ParseWebUrl(baseValue->text, nullptr, options);
    if (!hasBase || base) parsed = parser.Parse(input, base ? &*base : nullptr, url);

    const std::string scheme =
        hasBase ? (base ? std::string(base->Scheme()) : "") : SchemeOf(input);
    const bool required = scheme == "http" || scheme == "https" || scheme == "ftp";
    Tally& tally = required ? web : other;
    ++tally.total;
    if (conversion.calls != callsBefore && !conversion.system) {
      ++tally.needSystem;
      continue;
    }

    std::string mismatch;
    const bool expectFailure = testCase.Find("failure") != nullptr;
    if (expectFailure != !parsed) {
      mismatch = expectFailure ? "parsed as " + url.Href() : "did not parse";
    } else if (parsed) {
      for (const auto& [name, actual] : PartsOf(url)) {
        const JsonValue* expected = testCase.Find(name);
        if (expected && expected->IsString() && expected->text != actual)
          mismatch += " " + name + ": \"" + actual + "\" not \"" + expected->text + "\";";
      }
    }
    const bool known = (!required && kOtherKnownFailures.count(input) > 0) ||
                       SystemMayDiffer(conversion, callsBefore, input);
    if (mismatch.empty()) {
      ++tally.passed;
      EXPECT_FALSE(known) << "listed as a known failure but passes: " << input;
    } else if (!known) {
      ADD_FAILURE() << "input \"" << input << "\" base "
                    << (hasBase ? "\"" + baseValue->text + "\"" : "none") << ":" << mismatch;
    }
  }
  std::printf("urltestdata.json, http/https/ftp: %d of %d passed, %d need the system\n", web.passed,
              web.total, web.needSystem);
  std::printf("urltestdata.json, other schemes: %d of %d passed, %d need the system\n",
              other.passed, other.total, other.needSystem);
  EXPECT_GT(web.total, 400);  // the data was read and sorted
}

// Where a system's table maps a character the Encoding Standard leaves
// unmapped, by input and encoding, with why.
const std::map<std::pair<std::string, std::string>, const char*> kEncoderDifferences = {
    {{"\xEE\x97\xA5", "gb18030"},
     "glibc maps U+E5E5 to A3 A0, which the standard's gb18030 has since left unmapped"},
};

// Each input as a link's query and fragment in a document of each encoding:
// the query goes in that encoding (through the system's tables, as a page's
// links are), the fragment in UTF-8.
TEST(WebUrlConformance, EncodesQueriesAsThePercentEncodingData) {
  const JsonValue data = ReadData("percent-encoding.json");
  int total = 0, passed = 0;
  for (const JsonValue& testCase : data.items) {
    if (!testCase.IsObject()) continue;
    const std::string input = testCase.Text("input");
    const JsonValue* outputs = testCase.Find("output");
    ASSERT_TRUE(outputs && outputs->IsObject());
    const std::string fragment = outputs->Text("utf-8");
    for (const auto& [encoding, expected] : outputs->members) {
      ++total;
      WebUrlOptions options;
      // The encoder a document of that encoding gets, the system's tables
      // behind it.
      const auto name = platform::EncodingForLabel(encoding);
      ASSERT_TRUE(name) << encoding;
      options.queryEncoder = QueryEncoderFor(std::string(*name));
      const auto url =
          ParseWebUrl("https://doesnotmatter.invalid/?" + input + "#" + input, nullptr, options);
      const std::string wanted = "https://doesnotmatter.invalid/?" + expected.text + "#" + fragment;
      const bool ok = url && url->Href() == wanted;
      if (!kEncoderDifferences.count({input, encoding})) {
        EXPECT_EQ(url ? url->Href() : "(failed)", wanted) << encoding;
      }
      passed += ok;
    }
  }
  std::printf("percent-encoding.json: %d of %d passed\n", passed, total);
}

// Each input as the host of an https address. Hosts that need the system's
// conversion are counted apart until it is wired in.
TEST(WebUrlConformance, TurnsHostsToAsciiAsTheToAsciiData) {
  const JsonValue data = ReadData("toascii.json");
  DomainConversion conversion;
  WebUrlOptions options;
  options.domainToAscii = conversion.Function();
  int total = 0, passed = 0, needSystem = 0;
  for (const JsonValue& testCase : data.items) {
    if (!testCase.IsObject()) continue;
    ++total;
    const std::string input = testCase.Text("input");
    const JsonValue* output = testCase.Find("output");
    const int callsBefore = conversion.calls;
    const auto url = ParseWebUrl("https://" + input + "/x", nullptr, options);
    if (conversion.calls != callsBefore && !conversion.system) {
      ++needSystem;
      continue;
    }
    const bool ok = output->IsNull() ? !url
                                     : url && url->Host() == output->text && url->Path() == "/x" &&
                                           url->Href() == "https://" + output->text + "/x";
    EXPECT_TRUE(ok || SystemMayDiffer(conversion, callsBefore, input))
        << input << " -> " << (url ? url->Href() : "(failed)");
    passed += ok;
  }
  std::printf("toascii.json: %d of %d passed, %d need the system\n", passed, total, needSystem);
}

}  // namespace

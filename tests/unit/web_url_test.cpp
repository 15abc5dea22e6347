// The browser-like reading of addresses where the public test data cannot
// look: what is handed to the system's services, and the parsed record
// beyond its serialization.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/web_url.h"

namespace {

// Only a host beyond ASCII or with an "xn--" label goes to the system, and
// then percent-decoded; what comes back is still checked.
TEST(WebUrl, AsksTheSystemOnlyForHostsThatNeedIt) {
  const std::map<std::string, std::string> answers = {
      {"b\xC3\xBC"
       "cher.de",
       "xn--bcher-kva.de"},
      {"xn--bcher-kva.de", "xn--bcher-kva.de"},
      {"XN--bcher-kva.de", "xn--bcher-kva.de"},
      {"sp\xC3\xA4"
       "ce.de",
       "a b.de"},
      {"l\xC3\xA9"
       "er.de",
       ""},
  };
  std::vector<std::string> asked;
  WebUrlOptions options;
  options.domainToAscii = [&](std::string_view domain,
                              bool beStrict) -> std::optional<std::string> {
    EXPECT_FALSE(beStrict);
    asked.emplace_back(domain);
    const auto answer = answers.find(std::string(domain));
    if (answer == answers.end()) return std::nullopt;
    return answer->second;
  };
  struct Case {
    const char* input;
    const char* href;   // nullptr: no valid address
    const char* asked;  // what the system was handed; nullptr: nothing
  };
  const Case cases[] = {
      {"http://Example.COM/", "http://example.com/", nullptr},
      {"http://a.xn-b.example/", "http://a.xn-b.example/", nullptr},
      {"http://10.0.0.1./", "http://10.0.0.1/", nullptr},
      {"http://b\xC3\xBC"
       "cher.de/",
       "http://xn--bcher-kva.de/",
       "b\xC3\xBC"
       "cher.de"},
      {"http://b%C3%BCcher.de/", "http://xn--bcher-kva.de/",
       "b\xC3\xBC"
       "cher.de"},
      {"http://XN--bcher-kva.de/", "http://xn--bcher-kva.de/", "XN--bcher-kva.de"},
      {"http://sp\xC3\xA4"
       "ce.de/",
       nullptr,
       "sp\xC3\xA4"
       "ce.de"},  // a space in the answer
      {"http://l\xC3\xA9"
       "er.de/",
       nullptr,
       "l\xC3\xA9"
       "er.de"},                                // an empty answer
      {"http://caf%FF.de/", nullptr, nullptr},  // ill-formed UTF-8 is U+FFFD, never valid
      {"sc://b\xC3\xBC"
       "cher.de/",
       "sc://b%C3%BCcher.de/", nullptr},  // an opaque host
  };
  for (const Case& c : cases) {
    asked.clear();
    const auto url = ParseWebUrl(c.input, nullptr, options);
    EXPECT_EQ(url ? url->Href() : "(invalid)", c.href ? c.href : "(invalid)") << c.input;
    EXPECT_EQ(asked, c.asked ? std::vector<std::string>{c.asked} : std::vector<std::string>{})
        << c.input;
  }
}

// The document's encoding (here one that writes é as the byte E9) takes the
// query of a special address other than ws: and wss:; the fragment, other
// schemes and the rest of the address stay UTF-8.
TEST(WebUrl, EncodesOnlySpecialQueriesInTheDocumentEncoding) {
  WebUrlOptions options;
  options.queryEncoder = [](std::string_view utf8, std::string& bytes,
                            std::vector<std::pair<size_t, char32_t>>& unmappable) {
    for (size_t i = 0; i < utf8.size(); ++i) {
      if (utf8.substr(i, 2) == "\xC3\xA9") {
        bytes += '\xE9';
        ++i;
      } else if (utf8.substr(i, 3) == "\xE2\x82\xAC") {
        unmappable.emplace_back(bytes.size(), U'\u20AC');
        i += 2;
      } else {
        bytes += utf8[i];
      }
    }
  };
  const std::pair<const char*, const char*> cases[] = {
      {"http://h/\xC3\xA9?\xC3\xA9#\xC3\xA9", "http://h/%C3%A9?%E9#%C3%A9"},
      {"file:///x?'\xC3\xA9\xE2\x82\xAC'", "file:///x?%27%E9%26%238364%3B%27"},
      {"ws://h/?\xC3\xA9", "ws://h/?%C3%A9"},
      {"wss://h/?\xC3\xA9", "wss://h/?%C3%A9"},
      {"sc://h/?'\xC3\xA9", "sc://h/?'%C3%A9"},
  };
  for (const auto& [input, href] : cases) {
    const auto url = ParseWebUrl(input, nullptr, options);
    EXPECT_EQ(url ? url->Href() : "(invalid)", href);
  }
  // Against a base, the query of a relative link follows the base's scheme.
  const auto base = ParseWebUrl("https://h/dir/page");
  ASSERT_TRUE(base);
  const auto relative = ParseWebUrl("?\xC3\xA9", &*base, options);
  EXPECT_EQ(relative ? relative->Href() : "(invalid)", "https://h/dir/page?%E9");
}

// The record: the kind of host, the segments, an opaque path, and a query
// or fragment that is present but empty.
TEST(WebUrl, HoldsThePartsOfTheAddress) {
  struct Case {
    const char* input;
    HostKind host;
    std::vector<std::string_view> segments;
    bool opaque;
  };
  const Case cases[] = {
      {"http://Example.com", HostKind::kDomain, {""}, false},
      {"http://0x7f.1/a/b", HostKind::kIpv4, {"a", "b"}, false},
      {"http://[0:0::1]/a//", HostKind::kIpv6, {"a", "", ""}, false},
      {"sc://h/x", HostKind::kOpaque, {"x"}, false},
      {"sc://", HostKind::kEmpty, {}, false},
      {"file://localhost/C|/x/", HostKind::kEmpty, {"C:", "x", ""}, false},
      {"sc:/.//p", HostKind::kNone, {"", "p"}, false},
      {"mailto:a@b", HostKind::kNone, {}, true},
  };
  for (const Case& c : cases) {
    const auto url = ParseWebUrl(c.input);
    ASSERT_TRUE(url) << c.input;
    EXPECT_EQ(url->GetHostKind(), c.host) << c.input;
    EXPECT_EQ(url->PathSegments(), c.segments) << c.input;
    EXPECT_EQ(url->HasOpaquePath(), c.opaque) << c.input;
  }
  const auto empty = ParseWebUrl("http://h/p?#");
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->Query(), std::string_view());
  EXPECT_EQ(empty->Fragment(), std::string_view());
  EXPECT_FALSE(ParseWebUrl("http://h/p")->Query().has_value());
}

// A relative path is copied without the states where it can be; "./" in
// front of it makes the states read the same path. Every part must agree,
// dot segments, escapes and bytes that need escaping above all.
TEST(WebUrl, RelativePathsReadTheSameWithOrWithoutTheStates) {
  const char* const pieces[] = {"a", "B", "0",        ".", "..", "%", "%2e", "%2E", "2",
                                "e", "/", "\\",       "?", "#",  " ", "~",   "^",   "|",
                                "`", "{", "\xC3\xA9", "-", "_",  "@", "!",   "$",   "&",
                                "'", "(", "*",        "+", ";",  "=", "\t"};
  const char* const bases[] = {"http://h/d/p.html?q#f", "https://u:p@H:8443/", "ftp://h/a/b/",
                               "ws://h/x", "http://h"};
  std::mt19937 random(7);
  for (const char* baseText : bases) {
    const auto base = ParseWebUrl(baseText);
    ASSERT_TRUE(base) << baseText;
    for (int round = 0; round < 4000; ++round) {
      std::string input;
      for (int n = 1 + random() % 8; n > 0; --n) input += pieces[random() % std::size(pieces)];
      // What reads as an absolute path, a query or a fragment of its own
      // differs from "./" and it on purpose.
      const char first = input[0];
      if (first == '/' || first == '\\' || first == '?' || first == '#' || first == ' ' ||
          first == '\t')
        continue;
      const auto direct = ParseWebUrl(input, &*base);
      const auto through = ParseWebUrl("./" + input, &*base);
      ASSERT_EQ(direct.has_value(), through.has_value()) << input << " against " << baseText;
      if (!direct) continue;
      EXPECT_EQ(direct->Href(), through->Href()) << input << " against " << baseText;
      EXPECT_EQ(direct->Path(), through->Path()) << input;
      EXPECT_EQ(direct->Host(), through->Host()) << input;
      EXPECT_EQ(direct->Port(), through->Port()) << input;
      EXPECT_EQ(direct->Username(), through->Username()) << input;
      EXPECT_EQ(direct->Password(), through->Password()) << input;
      EXPECT_EQ(direct->Query(), through->Query()) << input;
      EXPECT_EQ(direct->Fragment(), through->Fragment()) << input;
    }
  }
}

}  // namespace

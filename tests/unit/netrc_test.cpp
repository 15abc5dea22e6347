// The netrc file as both Internet sessions read it.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/netrc.h"

namespace {

using platform::NetrcLogin;

TEST(Netrc, GivesEachHostItsEntry) {
  const std::string twoHosts =
      "machine other.example login o password op\n"
      "machine h.example password p\n";
  const std::string withDefault =
      "default login d password dp\n"
      "machine h.example login u password p\n";
  struct Case {
    const char* what;
    std::string text;
    const char* host;
    std::optional<NetrcLogin> expected;
  };
  const Case cases[] = {
      {"one line", "machine h.example login u password p\n", "h.example", NetrcLogin{"u", "p"}},
      {"names and keywords in any case, CR LF, tabs",
       "MACHINE H.Example\r\n\tLogin u\r\n\tPASSWORD p\r\n", "h.example", NetrcLogin{"u", "p"}},
      {"another host's entry", "machine h.example login u password p", "x.example", std::nullopt},
      {"nothing before its machine counts", twoHosts, "h.example", NetrcLogin{"", "p"}},
      {"the first entry for a host wins",
       "machine h.example login first password 1\nmachine h.example login second password 2",
       "h.example", NetrcLogin{"first", "1"}},
      {"a machine wins over default before it", withDefault, "h.example", NetrcLogin{"u", "p"}},
      {"default for any other host", withDefault, "x.example", NetrcLogin{"d", "dp"}},
      {"a matching entry without login or password shadows default",
       "machine h.example account a\ndefault login d password dp\n", "h.example", std::nullopt},
      {"values that read as keywords",
       "machine h.example account password login machine password default", "h.example",
       NetrcLogin{"machine", "default"}},
      {"a macro's body is passed over up to its blank line",
       "macdef init\nmachine h.example login macro password m\n \t\r\n"
       "machine h.example login u password p\n",
       "h.example", NetrcLogin{"u", "p"}},
      {"a macro without its blank line runs to the end",
       "macdef init\ncd /pub\nmachine h.example login u password p\n", "h.example", std::nullopt},
      {"quoted words with escapes",
       "machine h.example login \"a b\" password \"q\\\"u\\\\o\\tt\\e\"", "h.example",
       NetrcLogin{"a b", "q\"u\\o\tte"}},
      {"a quote left open spoils the file",
       "machine h.example login u password p\nmachine x.example password \"open\n", "h.example",
       std::nullopt},
      {"an IPv6 address with or without brackets", "machine ::1 login u password p", "[::1]",
       NetrcLogin{"u", "p"}},
      {"an empty file", "", "h.example", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(platform::NetrcLoginFor(c.text, c.host), c.expected);
  }
}

}  // namespace

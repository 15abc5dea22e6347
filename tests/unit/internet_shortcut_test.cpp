// Which files are Internet shortcuts, and the address read out of one.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "tests/support/test_environment.h"
#include "ui/internet_shortcut.h"

using testing_support::TestEnvironment;
using testing_support::WriteBytes;

TEST(InternetShortcut, TheFileNameDecidesInAnyCase) {
  struct Case {
    const char* path;
    bool shortcut;
  };
  const Case cases[] = {
      {"/home/u/Gallery.url", true},
      {"/home/u/Gallery.URL", true},
      {"/home/u/Gallery.Url", true},
      {"Gallery.url", true},
      {"/home/u/site.url/page.html", false},  // a folder's name does not count
      {"/home/u/page.url.html", false},
      {"/home/u/url", false},
      {"/home/u/.url", true},
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsInternetShortcutName(c.path), c.shortcut) << c.path;
}

TEST(InternetShortcut, ReadsTheFirstLineThatHoldsUrlEquals) {
  struct Case {
    const char* name;
    std::string bytes;
    std::optional<std::string> address;
  };
  const std::string longKey(600, 'k');
  const Case cases[] = {
      {"plain", "[InternetShortcut]\r\nURL=http://a/b/\r\nIconIndex=0\r\n", "http://a/b/"},
      {"last line without line end", "[InternetShortcut]\nURL=http://a/b/c.html",
       "http://a/b/c.html"},
      {"first of two", "URL=http://first/\nURL=http://second/\n", "http://first/"},
      {"longer key", "BASEURL=http://base/\nURL=http://a/\n", "http://base/"},
      {"earlier equals sign wins", "X=1 URL=http://a/\n", "1 URL=http://a/"},
      {"no address, no prefix test", "URL=ftp://f/\n", "ftp://f/"},
      {"empty address", "URL=\n", ""},
      {"no URL= line", "[InternetShortcut]\nIconIndex=0\n", std::nullopt},
      {"empty file", "", std::nullopt},
      {"stops at Ctrl-Z", "[x]\n\x1aURL=http://hidden/\n", std::nullopt},
      // Lines are read whole: a long key or a long address is never cut.
      {"after a long key", longKey + "URL=http://a/\n", "http://a/"},
      {"long address", "URL=http://a/" + longKey + "\n", "http://a/" + longKey},
  };
  for (const Case& c : cases) {
    TestEnvironment env;
    WriteBytes(env.Path("s.url"), c.bytes);
    const ShortcutAddress got = ReadInternetShortcut(env.Path("s.url"));
    EXPECT_TRUE(got.opened) << c.name;
    EXPECT_EQ(got.address, c.address) << c.name;
  }
}

TEST(InternetShortcut, AMissingFileIsNotOpened) {
  TestEnvironment env;
  const ShortcutAddress got = ReadInternetShortcut(env.Path("missing.url"));
  EXPECT_FALSE(got.opened);
  EXPECT_FALSE(got.address);
}

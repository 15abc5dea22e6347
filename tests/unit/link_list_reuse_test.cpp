// A whole link list is filtered, resolved and formatted with state kept
// from line to line (a split base address, reused buffers). Whatever came
// before, each line must come out as it does on its own.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/link_filter.h"
#include "engine/link_output.h"
#include "engine/link_resolution.h"
#include "engine/page_scan.h"
#include "tests/support/recording_engine.h"
#include "tests/support/test_environment.h"

using testing_support::ReadBytes;
using testing_support::RecordingEngine;
using testing_support::TestEnvironment;
using testing_support::WriteBytes;

namespace {

const std::string kLong = std::string(3000, 'n') + "/../" + std::string(70000, 'm');

// Long before short, dot segments, queries and fragments, other
// authorities, schemes, quotes, multibyte text and broken characters.
const std::vector<std::string> kLinks = {
    kLong + "/x.jpg?" + kLong + "#" + kLong,
    "x.jpg",
    "",
    "?y",
    "#s",
    "../../../../g.gif",
    "a/./b/../../c/./d/..",
    "/./x/../y.JPG",
    ".",
    "..",
    "//other.host/p/../q.jpeg?k=\"v\"",
    "//h",
    "http://d/x.jpg",
    "go.cgi?u=http://d/../x.jpg#f",
    " \"x.jpg\"\"",
    "my file:x.jpg",
    "\xE7\x94\xBB/\xE5\x83\x8F.\xEF\xBC\xAA\xEF\xBC\xB0\xEF\xBC\xA7",
    "\xEF\xBC"
    "A.gif\x81",
    "x\r.jpg",
    kLong,
    "g",
};

TEST(ReferenceResolver, GivesEachReferenceWhatResolvingItAloneGives) {
  const std::vector<std::string> bases = {
      "http://a/b/c/",
      "http://a/b/c/d;p?q#f",
      "http://a",
      "http://",
      "http://u:p@h:80/d/",
      "//h/x/",
      "rel/dir/",
      "",
      "ftp:only/path",
      "x:",
      "http://a/" + kLong + "/",
      "http://a/./b/../c/",
      "./rel/",
      "http://a/b/..",
  };
  for (const std::string& base : bases) {
    ReferenceResolver resolver(base);
    for (int pass = 0; pass < 2; ++pass)
      for (const std::string& link : kLinks)
        ASSERT_EQ(resolver.Resolve(link), ResolveReference(base, link))
            << "base " << base.substr(0, 60) << " link " << link.substr(0, 60);
  }
}

// The resolver takes shortcuts for paths without dot segments; a base
// whose own path has some still has them removed.
TEST(ReferenceResolver, RemovesTheDotSegmentsOfTheBaseAsWellAsOfTheLink) {
  struct Case {
    const char* base;
    const char* link;
    const char* result;
  };
  const std::vector<Case> cases = {
      {"http://a/./b/../c/", "x.jpg", "http://a/c/x.jpg"},
      {"http://a/./b/../c/", "../x.jpg", "http://a/x.jpg"},
      {"http://a/b/..", "x.jpg", "http://a/b/x.jpg"},
      {"http://a/b/../", "x.jpg", "http://a/x.jpg"},
      {"./rel/", "x.jpg", "rel/x.jpg"},
      {"http://a/b.c/.d/", "x.jpg", "http://a/b.c/.d/x.jpg"},
      {"http://a/b/", ".x/y.jpg", "http://a/b/.x/y.jpg"},
      {"http://a/b/", "y/./x.jpg", "http://a/b/y/x.jpg"},
  };
  for (const Case& c : cases) {
    ReferenceResolver resolver(c.base);
    EXPECT_EQ(resolver.Resolve(c.link), c.result) << c.base << " + " << c.link;
  }
}

TEST(LinkFilter, JudgesEachLineAsLinkPassesFilterDoes) {
  TestEnvironment env;
  CHarvestApp& app = env.App();
  struct Settings {
    int image, movie, extra;
    const char* extent;
  };
  for (const Settings& s : std::vector<Settings>{{1, 0, 0, ""},
                                                 {0, 1, 1, ".PNG"},
                                                 {0, 0, 1, "\xEF\xBC\xAA"},
                                                 {0, 0, 1, ""},
                                                 {0, 0, 0, ""}}) {
    app.m_bImage = s.image;
    app.m_bMovie = s.movie;
    app.m_bExe = app.m_bArchive = app.m_bWave = 0;
    app.m_bExtra = s.extra;
    app.m_strExtent = s.extent;
    LinkFilter filter(app);
    for (const std::string& link : kLinks) {
      // A long line that passes leaves its lowered copy behind; the short
      // lines after it must not find an extension in what is left over.
      EXPECT_EQ(filter.Passes(link + "\n"), LinkPassesFilter(link + "\n", app))
          << link.substr(0, 60);
      EXPECT_EQ(filter.Passes("x"), LinkPassesFilter("x", app));
    }
  }
}

TEST(WriteLinkList, WritesWhatPrepareLinkLineGivesForEveryLineThatPasses) {
  TestEnvironment env;
  env.App().m_bImage = 1;
  RecordingEngine engine{env.App()};
  engine.m_strSaveFolder = env.HomeDir();
  engine.m_nFileSelect = 2;
  std::string list;
  for (const std::string& link : kLinks) list += link + "\n";
  list += "last.gif";
  for (const char* base : {"http://a/b/c/", "http://h/q?x=\"1\"/"}) {
    for (int outputType : {1, 2}) {
      engine.m_strBaseUrl = base;
      engine.m_nOutPutType = outputType;
      std::string expected;
      for (size_t begin = 0; begin < list.size();) {
        size_t end = list.find('\n', begin);
        end = end == std::string::npos ? list.size() : end + 1;
        const std::string line = list.substr(begin, end - begin);
        begin = end;
        if (!LinkPassesFilter(line, env.App())) continue;
        for (char c : PrepareLinkLine(line, base, outputType == kOutputGallery))
          expected += c == '\n' ? std::string("\r\n") : std::string(1, c);
      }
      const std::string output = engine.OutputFilePath();
      std::remove(output.c_str());
      const std::string linkList = *LinkListPath();
      WriteBytes(linkList, list);
      ASSERT_FALSE(engine.WriteLinkList(linkList));
      EXPECT_EQ(ReadBytes(output), expected) << base << " type " << outputType;
    }
  }
}

}  // namespace

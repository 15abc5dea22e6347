// The anchor scanner: its transition table, what it makes of whole pages,
// and what it does with the files around it.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <cstdio>
#include <string>
#include <vector>

#include "engine/anchor_scanner.h"
#include "engine/page_scan.h"
#include "resources/texts.h"
#include "platform/file_system.h"
#include "tests/support/recording_engine.h"
#include "tests/support/test_environment.h"

using testing_support::CreateFolder;
using testing_support::Exists;
using testing_support::ReadBytes;
using testing_support::RecordingEngine;
using testing_support::TestEnvironment;
using testing_support::WriteBytes;

namespace {

std::string Scan(const std::string& page) {
  AnchorScanner scanner;
  std::string out;
  scanner.Feed(page.data(), page.size(), out);
  return out;
}

// Failures name the states and show bytes as unsigned hex, so that a row
// can be found in the table at a glance.
std::string StateName(int state) {
  switch (state) {
    case kOutside:
      return "kOutside";
    case kTagOpen:
      return "kTagOpen";
    case kAnchorName:
      return "kAnchorName";
    case kInAnchor:
      return "kInAnchor";
    case kAfterF:
      return "kAfterF";
    case kValueStart:
      return "kValueStart";
    case kQuoted:
      return "kQuoted";
    case kUnquoted:
      return "kUnquoted";
  }
  return "state " + std::to_string(state);
}

std::string ByteName(char byte) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned char>(byte));
  return text;
}

struct Step {
  int from;
  char byte;
  const char* writes;
  int to;
};

TEST(AnchorScanner, FollowsEveryTransitionOfTheTable) {
  const std::vector<Step> table = {
      {kOutside, '<', "", kTagOpen},      {kOutside, 'a', "", kOutside},
      {kOutside, '>', "", kOutside},      {kTagOpen, 'a', "", kAnchorName},
      {kTagOpen, 'A', "", kAnchorName},   {kTagOpen, '<', "", kOutside},
      {kTagOpen, ' ', "", kOutside},      {kTagOpen, 'b', "", kOutside},
      {kAnchorName, ' ', "", kInAnchor},  {kAnchorName, '\n', "", kInAnchor},
      {kAnchorName, '\t', "", kOutside},  {kAnchorName, '\r', "", kOutside},
      {kAnchorName, '>', "", kOutside},   {kAnchorName, 'r', "", kOutside},
      {kInAnchor, 'f', "", kAfterF},      {kInAnchor, 'F', "", kAfterF},
      {kInAnchor, '>', "", kInAnchor},    {kInAnchor, '<', "", kInAnchor},
      {kInAnchor, '=', "", kInAnchor},    {kAfterF, '=', "", kValueStart},
      {kAfterF, 'f', "", kInAnchor},      {kAfterF, 'F', "", kInAnchor},
      {kAfterF, ' ', "", kInAnchor},      {kValueStart, '"', "", kQuoted},
      {kValueStart, ' ', " ", kUnquoted}, {kValueStart, '\'', "'", kUnquoted},
      {kValueStart, '>', ">", kUnquoted}, {kValueStart, 'x', "x", kUnquoted},
      {kQuoted, '"', "\n", kOutside},     {kQuoted, '\n', "\n", kQuoted},
      {kQuoted, ' ', " ", kQuoted},       {kQuoted, '>', ">", kQuoted},
      {kUnquoted, ' ', "\n", kOutside},   {kUnquoted, '>', "\n", kOutside},
      {kUnquoted, '\n', "\n", kUnquoted}, {kUnquoted, '\t', "\t", kUnquoted},
      {kUnquoted, '\r', "\r", kUnquoted}, {kUnquoted, '"', "\"", kUnquoted},
      {kUnquoted, '\'', "'", kUnquoted},  {kUnquoted, '\xE3', "\xE3", kUnquoted},
  };
  for (const Step& s : table) {
    AnchorScanner scanner;
    scanner.SetState(s.from);
    std::string out;
    scanner.Feed(&s.byte, 1, out);
    SCOPED_TRACE(StateName(s.from) + " fed " + ByteName(s.byte));
    EXPECT_EQ(out, s.writes);
    EXPECT_EQ(StateName(scanner.State()), StateName(s.to));
  }
}

struct PageCase {
  const char* page;
  const char* links;
};

TEST(AnchorScanner, TakesTheValuesTheTableLeadsTo) {
  const std::vector<PageCase> cases = {
      {R"(<a href="pics/x.jpg">)", "pics/x.jpg\n"},
      {R"(<A HREF="PICS/X.JPG">)", "PICS/X.JPG\n"},
      {"<a href=x.jpg>", "x.jpg\n"},
      {"<a href=x.jpg target=_top>", "x.jpg\n"},
      {"<a href='x.jpg'>", "'x.jpg'\n"},
      {R"(<a href= "x.jpg">)", " \"x.jpg\"\n"},
      {R"(<a href = "x.jpg"> text <img src=y.gif> <b>if=3 </b>)", "3\n"},
      {R"(<a onclick="f=1" href="y.html">)", "1\"\n"},
      {R"(<a href="x.jpg" xf="y.jpg">)", "x.jpg\n"},
      {R"(<a href="">)", "\n"},
      {R"(<a name="top"></a><p>x</p><a href="y.html">)", "y.html\n"},
      {R"(<a name="top"><form action=f ref=1><a href="y.html">)", "1\ny.html\n"},
      {"<a\thref=\"x.jpg\">", ""},
      {R"(<area href="x.jpg"><abbr href="y">)", ""},
      {R"(< a href="x.jpg">)", ""},
      {R"(<<a href="x.jpg">)", ""},
      {R"(<a hreff="x.jpg"><a hrefF=y.jpg>)", ""},
      {"<a\nhref=\"x.jpg\">", "x.jpg\n"},
      {"<a\rhref=\"x.jpg\">", ""},
      {"<a href=\"x\ny.jpg\">", "x\ny.jpg\n"},
      {"<a href=x.jpg\n>", "x.jpg\n\n"},
      {R"(<a href="x.jpg)", "x.jpg"},
      {"<a href=x.jpg", "x.jpg"},
      {R"(<a href="1"><a href="2">)", "1\n2\n"},
      {"", ""},
      {"<p>no anchors at all</p>", ""},
      {"<a href=\"\xE3\x81\x82\xEF\xBC\xA6=.jpg\">", "\xE3\x81\x82\xEF\xBC\xA6=.jpg\n"},
  };
  for (const PageCase& c : cases) EXPECT_EQ(Scan(c.page), c.links) << c.page;
}

TEST(AnchorScanner, GivesTheSameLinksWhereverTheBlocksAreCut) {
  const std::string page =
      "<html><a href=\"one.jpg\">1</a> <A\nHREF=two.gif>2</A><a name=x>"
      "text f = no <b>bold</b> ref=three.zip <a href=\"multi\nline.jpg\"> "
      "<a href=last.jpg";
  const std::string whole = Scan(page);
  ASSERT_EQ(whole, "one.jpg\ntwo.gif\nthree.zip\nmulti\nline.jpg\nlast.jpg");
  for (size_t cut = 1; cut <= page.size(); ++cut) {
    AnchorScanner scanner;
    std::string out;
    for (size_t pos = 0; pos < page.size(); pos += cut)
      scanner.Feed(page.data() + pos, std::min(cut, page.size() - pos), out);
    EXPECT_EQ(out, whole) << "blocks of " << cut;
  }
}

// The whole stage on files: the page read in text mode, the link list kept
// by an empty custom extension and written as a list against a base.
class ScanAnchorLinksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CHarvestApp& app = env.App();
    app.m_bImage = 0;
    app.m_bExtra = 1;
    app.m_strExtent = "";  // every line passes
    engine.m_strBaseUrl = "http://a/b/";
    engine.m_strSaveFolder = env.HomeDir();
    engine.m_nOutPutType = 2;
    engine.m_nFileSelect = 2;
  }
  std::string Output() { return ReadBytes(env.HomeDir() + "vimbel.txt"); }

  TestEnvironment env;
  RecordingEngine engine{env.App()};
};

TEST_F(ScanAnchorLinksTest, ReadsThePageInTextMode) {
  struct Case {
    std::string page;
    std::string output;
  };
  const std::vector<Case> cases = {
      {"<a\r\nhref=x.jpg>", "http://a/b/x.jpg\r\n"},
      {"<a\r\r\nhref=x.jpg>", ""},  // CR CR LF: the first CR ends the test
      {"<a href=\"x\r\ny.jpg\">", "http://a/b/x\r\nhttp://a/b/y.jpg\r\n"},
      {"<a href=\"x\ry.jpg\">", "http://a/b/xy.jpg\r\n"},  // a lone CR is kept, then dropped
      {std::string("<a href=x.jpg>\x1A<a href=y.jpg>"), "http://a/b/x.jpg\r\n"},
      {std::string("<a href=\"x.j\x1Apg\">"), "http://a/b/x.j\r\n"},
      {"", ""},
  };
  for (const Case& c : cases) {
    ::unlink((env.HomeDir() + "vimbel.txt").c_str());
    WriteBytes(env.Path("page"), c.page);
    FileFailure failure = ScanAnchorLinks(engine, env.Path("page"));
    EXPECT_FALSE(failure) << c.page;
    EXPECT_EQ(Output(), c.output) << c.page;
    EXPECT_TRUE(Exists(env.Path("page"))) << "the page is the run's to delete";
    EXPECT_FALSE(Exists(*LinkListPath())) << "the link list outlived the run";
  }
}

TEST_F(ScanAnchorLinksTest, ReportsAPageItCannotReadAndWritesNothing) {
  WriteBytes(env.HomeDir() + "vimbel.txt", "kept\r\n");
  FileFailure failure = ScanAnchorLinks(engine, env.Path("missing"));
  EXPECT_EQ(failure.kind, FileFailure::kCannotRead);
  EXPECT_EQ(failure.path, env.Path("missing"));
  EXPECT_EQ(Output(), "kept\r\n");
  EXPECT_FALSE(Exists(*LinkListPath()));
}

TEST_F(ScanAnchorLinksTest, ReportsALinkListItCannotCreate) {
  WriteBytes(env.Path("page"), "<a href=x.jpg>");
  const std::string linkPath = *LinkListPath();
  ASSERT_TRUE(CreateFolder(linkPath));  // something else stands there
  FileFailure failure = ScanAnchorLinks(engine, env.Path("page"));
  EXPECT_EQ(failure.kind, FileFailure::kCannotCreate);
  EXPECT_EQ(failure.path, linkPath);
  EXPECT_FALSE(Exists(env.HomeDir() + "vimbel.txt"));
}

#ifndef _WIN32  // the private folder of the POSIX build
TEST_F(ScanAnchorLinksTest, RefusesATemporaryFolderThatIsALink) {
  WriteBytes(env.Path("page"), "<a href=x.jpg>");
  CreateFolder(env.Path("elsewhere"));
  ASSERT_EQ(::symlink(env.Path("elsewhere").c_str(), env.Path("runtime/vimbel").c_str()), 0);
  FileFailure failure = ScanAnchorLinks(engine, env.Path("page"));
  EXPECT_EQ(failure.kind, FileFailure::kCannotCreate);
  EXPECT_FALSE(Exists(env.Path("elsewhere/") + texts::kLinkScratchName));
}
#endif

}  // namespace

// The anchor scan on stored bytes against the table as written: the text-mode
// view made the plain way, then the table one byte at a time. The scanner
// skips and copies whole runs and judges CRs and Ctrl-Z itself; wherever the
// blocks are cut, its link list must be the reference's.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "engine/anchor_scanner.h"
#include "engine/page_scan.h"
#include "platform/text_file.h"
#include "tests/support/test_environment.h"

using testing_support::TestEnvironment;
using testing_support::WriteBytes;

namespace {

std::string TextModeView(const std::string& stored) {
  std::string text;
  for (size_t i = 0; i < stored.size(); ++i) {
    if (stored[i] == '\x1A') break;
    if (stored[i] == '\r' && i + 1 < stored.size() && stored[i + 1] == '\n') continue;
    text.push_back(stored[i]);
  }
  return text;
}

std::string ReferenceLinks(const std::string& stored) {
  int state = kOutside;
  std::string out;
  for (char c : TextModeView(stored)) {
    switch (state) {
      case kOutside:
        if (c == '<') state = kTagOpen;
        break;
      case kTagOpen:
        state = (c == 'a' || c == 'A') ? kAnchorName : kOutside;
        break;
      case kAnchorName:
        state = (c == ' ' || c == '\n') ? kInAnchor : kOutside;
        break;
      case kInAnchor:
        if (c == 'f' || c == 'F') state = kAfterF;
        break;
      case kAfterF:
        state = c == '=' ? kValueStart : kInAnchor;
        break;
      case kValueStart:
        if (c == '"') {
          state = kQuoted;
        } else {
          out += c;
          state = kUnquoted;
        }
        break;
      case kQuoted:
        if (c == '"') {
          out += '\n';
          state = kOutside;
        } else {
          out += c;
        }
        break;
      case kUnquoted:
        if (c == ' ' || c == '>') {
          out += '\n';
          state = kOutside;
        } else {
          out += c;
        }
        break;
    }
  }
  return out;
}

// The stored scan with the page cut into blocks of the given sizes (the last
// one repeated to the end).
std::string StoredLinks(const std::string& page, const std::vector<size_t>& cuts) {
  AnchorScanner scanner;
  std::string out;
  size_t pos = 0;
  for (size_t i = 0; pos < page.size(); ++i) {
    size_t size = std::min(cuts[std::min(i, cuts.size() - 1)], page.size() - pos);
    if (!scanner.FeedStored(page.data() + pos, size, out)) break;
    pos += size;
  }
  scanner.EndStored(out);
  return out;
}

// Pieces that lead the table into each of its states and across them: "<a"
// after runs of "<", CR and LF alone and in pairs, quotes of both kinds,
// f and = apart and together, and now and then a Ctrl-Z.
std::string RandomPage(std::mt19937& random, size_t pieces) {
  static const char* const kPieces[] = {
      "<",
      "<<",
      "<<<a",
      "a",
      "A",
      " ",
      "\n",
      "\r",
      "\r\n",
      "\r\r\n",
      "f",
      "F",
      "=",
      "\"",
      "'",
      ">",
      "\t",
      "x",
      "jpg",
      "<a ",
      "<A\n",
      "<a\r\n",
      "<a\r",
      "href=",
      "HREF=\"",
      "f=\"",
      "ff=",
      "<p>text</p>",
      "\xE3\x81\x82",
      "                                        ",
  };
  std::uniform_int_distribution<size_t> pick(0, std::size(kPieces) - 1);
  std::uniform_int_distribution<int> rare(0, 999);
  std::string page;
  for (size_t i = 0; i < pieces; ++i) page += rare(random) == 0 ? "\x1A" : kPieces[pick(random)];
  return page;
}

TEST(StoredAnchorScan, MatchesTheTableByteByByteWhereverTheBlocksAreCut) {
  std::vector<std::string> pages = {
      "<a\r\nhref=\"x\r\ny.jpg\">",
      "<a\r\r\nhref=x.jpg>",
      "<a href=\"x\ry\r\r\nz\"><a href=u\r\nv\r>",
      "<a href=\r\n>",
      "<a href=\"x.jpg\r",
      "<a href=x\r\x1A<a href=y>",
      "<<a href=1> <<<a href=2> <<<<a href=3> <<<<<a href=4>",
      "<a href=x.jpg>\x1A<a href=y.jpg>",
  };
  std::mt19937 random(20261207);
  for (int i = 0; i < 120; ++i) pages.push_back(RandomPage(random, 20 + i));
  for (const std::string& page : pages) {
    const std::string expected = ReferenceLinks(page);
    SCOPED_TRACE(testing::PrintToString(page));
    // The text-mode scan on the reference's view of the bytes.
    AnchorScanner text;
    std::string textOut;
    const std::string view = TextModeView(page);
    text.Feed(view.data(), view.size(), textOut);
    EXPECT_EQ(textOut, expected);
    // Two blocks, cut at every place; and blocks of every small size.
    for (size_t cut = 0; cut <= page.size(); ++cut)
      ASSERT_EQ(StoredLinks(page, {cut, page.size()}), expected) << "cut at " << cut;
    for (size_t size = 1; size <= 33; ++size)
      ASSERT_EQ(StoredLinks(page, {size}), expected) << "blocks of " << size;
  }
}

// Long pages: values and lines far longer than a block, every kind of line
// end inside them, and "<a" at every offset from a block's start.
TEST(StoredAnchorScan, MatchesTheTableOnLongPagesReadFromAFile) {
  std::mt19937 random(7);
  std::string page;
  for (int i = 0; i < 40; ++i)
    page += std::string(static_cast<size_t>(i), ' ') + "<a href=\"v.jpg\">";
  page += "<a href=\"";
  for (int i = 0; i < 30000; ++i) page += i % 3 == 0 ? "ab\r\n" : i % 3 == 1 ? "cd\r" : "e\n";
  page += "\"> <a href=";
  for (int i = 0; i < 30000; ++i) page += i % 2 ? "\r\r\nxy" : "q\r";
  page += "> <A\r\nHREF=last";
  page += RandomPage(random, 60000);

  const std::string expected = ReferenceLinks(page);
  std::uniform_int_distribution<size_t> size(1, 70000);
  std::vector<size_t> cuts;
  for (int i = 0; i < 200; ++i) cuts.push_back(size(random));
  EXPECT_TRUE(StoredLinks(page, cuts) == expected);
  EXPECT_TRUE(StoredLinks(page, {4096}) == expected);

  // And from a file, block by block as a run reads it, into the link list
  // (stored in text mode, read back the same way).
  TestEnvironment env;
  WriteBytes(env.Path("page"), page);
  ASSERT_FALSE(ScanPageFile(env.Path("page"), env.Path("links")));
  platform::TextReader links;
  ASSERT_TRUE(links.Open(env.Path("links")));
  std::string list;
  for (int c; (c = links.GetChar()) != EOF;) list.push_back(static_cast<char>(c));
  EXPECT_TRUE(list == expected) << list.size() << " bytes, not " << expected.size();
}

}  // namespace

// Browser reading from page to addresses: what a page's markup gives, how it
// is resolved and which addresses are kept, once each, in the order met.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "engine/browser_links.h"
#include "engine/browser_page_scan.h"
#include "engine/page_scan.h"
#include "platform/thread_start.h"
#include "settings/output_choice.h"
#include "tests/support/recording_engine.h"
#include "tests/support/test_environment.h"

using testing_support::TestEnvironment;

namespace {

enum Kinds { kImage = 1, kArchive = 2, kWave = 4, kMovie = 8, kExe = 16, kAll = 32, kExtra = 64 };

struct Row {
  const char* what;
  std::string page;
  int kinds;
  bool embedded;
  std::vector<std::string> expected;
  std::string contentType = "";
  const char* extent = ".???";
};

// The addresses a run writes for `page`, read from http://h/d/p.html.
std::vector<std::string> Harvest(const Row& row) {
  TestEnvironment env;
  CHarvestApp& app = env.App();
  app.m_bImage = (row.kinds & kImage) ? 1 : 0;
  app.m_bArchive = (row.kinds & kArchive) ? 1 : 0;
  app.m_bWave = (row.kinds & kWave) ? 1 : 0;
  app.m_bMovie = (row.kinds & kMovie) ? 1 : 0;
  app.m_bExe = (row.kinds & kExe) ? 1 : 0;
  app.m_bAllLinks = (row.kinds & kAll) ? 1 : 0;
  app.m_bExtra = (row.kinds & kExtra) ? 1 : 0;
  app.m_strExtent = row.extent;
  const std::string pagePath = env.Path("page.html");
  const std::string linkPath = env.Path("links");
  testing_support::WriteBytes(pagePath, row.page);
  BrowserPage page;
  EXPECT_FALSE(
      ScanPageAsBrowser(pagePath, false, true, row.contentType, row.embedded, linkPath, page));
  BrowserLinks links(app, "http://h/d/p.html", page.baseHref, page.encoding);
  std::vector<std::string> kept;
  const std::string records = testing_support::ReadBytes(linkPath);
  for (size_t start = 0; start < records.size();) {
    size_t end = records.find('\n', start);
    auto record = ParseBrowserRecord(std::string_view(records).substr(start, end - start));
    EXPECT_TRUE(record) << records;
    if (record)
      if (const std::string* href = links.Take(*record)) kept.push_back(*href);
    start = end + 1;
  }
  return kept;
}

// The window's engine on `page`, stored as a local file and read as if it
// stood at http://h/d/, writing to vimbel.html or vimbel.txt in the home
// folder.
HarvestOutcome RunOnLocalPage(TestEnvironment& env, const std::string& page, int outputType) {
  testing_support::RecordingEngine engine{env.App()};
  engine.m_strSaveFolder = env.HomeDir();
  engine.m_nFileSelect = kFixedOutputFile;
  engine.m_nOutPutType = outputType;
  engine.m_strSourceFile = env.Path("page.html");
  testing_support::WriteBytes(engine.m_strSourceFile, page);
  engine.SetAddress("http://h/d/");
  engine.OnOK();
  return engine.m_lastOutcome;
}

}  // namespace

TEST(BrowserReading, FromPageToAddresses) {
  const Row rows[] = {
      {"values: quoted either way or not, references decoded",
       "<a href=\"a.jpg?x=1&amp;y=2\">A</a> <A HREF='b.JPG'>B</a> <a href=c.gif>C</a>"
       "<a href=\"&#x64;.jpg\">D</a>",
       kImage,
       false,
       {"http://h/d/a.jpg?x=1&y=2", "http://h/d/b.JPG", "http://h/d/c.gif", "http://h/d/d.jpg"}},
      {"only href is href, and the first of two",
       "<a typeof=\"t.jpg\" xhref=\"x.jpg\" href=\"real.jpg\">R</a><a href=\"one.jpg\" "
       "href=\"two.jpg\">",
       kImage,
       false,
       {"http://h/d/real.jpg", "http://h/d/one.jpg"}},
      {"nothing inside comments, scripts, styles, text areas, titles, templates",
       "<title><a href=\"t.jpg\"></title><!-- <a href=\"c.jpg\"> --><script>"
       "document.write('<a href=\"s.jpg\">')</script><style>a{}<a href=\"st.jpg\"></style>"
       "<textarea><a href=\"ta.jpg\"></textarea><template><a href=\"tp.jpg\"><template></template>"
       "<a href=\"tp2.jpg\"></template><noscript><a href=\"ns.jpg\"></noscript>"
       "<xmp><a href=\"x.jpg\"></xmp><iframe><a href=\"if.jpg\"></iframe><a href=\"after.jpg\">",
       kImage,
       false,
       {"http://h/d/ns.jpg", "http://h/d/after.jpg"}},
      {"the first <base href> is the base, wherever it stands",
       "<a href=\"x.jpg\"></a><base target=\"_top\"><base href=\"http://cdn.example/p/\">"
       "<base href=\"http://other/\"><a href=\"../y.jpg\">",
       kImage,
       false,
       {"http://cdn.example/p/x.jpg", "http://cdn.example/y.jpg"}},
      {"area, and SVG links with href or xlink:href",
       "<map><area href=\"m.jpg\"></map><svg><a xlink:href=\"s.jpg\"><text>t</text></a>"
       "<![CDATA[<a href=\"cdata.jpg\">]]></svg><a href=\"h.jpg\">",
       kImage,
       false,
       {"http://h/d/m.jpg", "http://h/d/s.jpg", "http://h/d/h.jpg"}},
      {"written as the URL parser serializes them; what does not parse is no link",
       "<a href=\" HTTP://Example.COM:80/a/../b/./c.JPG \"><a href=\"\\img\\x.gif\">"
       "<a href=\"http://exa mple.com/x.jpg\"><a href=\"sp ace/\xE5\x86\x99.jpg\">"
       "<a href=\"http://[::1]:8080/v6.jpg#frag\"><a href=\"ja/\tx.jpg\">",
       kImage,
       false,
       {"http://example.com/b/c.JPG", "http://h/img/x.gif", "http://h/d/sp%20ace/%E5%86%99.jpg",
        "http://[::1]:8080/v6.jpg#frag", "http://h/d/ja/x.jpg"}},
      {"kinds by the end of the path, never the query; each address once",
       "<a href=\"view.php?f=x.jpg\"><a href=\"x.webp\"><a href=\"X.WEBP\"><a href=\"x.webp\">"
       "<a href=\"a.7z\"><a href=\"s.opus\"><a href=\"m.mkv?dl=1\"><a href=\"p.msi\">"
       "<a href=\"x.webp#top\"><a href=\"e%2Ejpg\"><a href=\"e.%4A%70g\"><a href=\"e%2Ejp\">"
       "<a href=\"%E5%86%99%2Ezip\">",
       kImage | kArchive | kWave | kMovie | kExe,
       false,
       {"http://h/d/x.webp", "http://h/d/X.WEBP", "http://h/d/a.7z", "http://h/d/s.opus",
        "http://h/d/m.mkv?dl=1", "http://h/d/p.msi", "http://h/d/x.webp#top", "http://h/d/e%2Ejpg",
        "http://h/d/e.%4A%70g", "http://h/d/%E5%86%99%2Ezip"}},
      {"every link, and the custom kind's several extensions",
       "<a href=\"\">self</a><a href=\"mailto:a@b\"><a href=\"x.raw\"><a href=\"y.CR2\">",
       kAll,
       false,
       {"http://h/d/p.html", "mailto:a@b", "http://h/d/x.raw", "http://h/d/y.CR2"}},
      {"custom extensions alone",
       "<a href=\"x.raw\"><a href=\"y.CR2\"><a href=\"z.jpg\"><a href=\"raw\">",
       kExtra,
       false,
       {"http://h/d/x.raw", "http://h/d/y.CR2"},
       "",
       ".raw, cr2"},
      {"embedded files: the largest picture, lazy ones, never data:",
       "<img src=\"small.jpg\" srcset=\"small.jpg 480w, big.jpg 1600w, mid.jpg 800w\">"
       "<picture><source srcset=\"e2.webp 2x, e1.webp\"><img src=\"e.jpg\"></picture>"
       "<img src=\"data:image/gif;base64,R0lGOD\" data-src=\"lazy.png\">"
       "<img data-srcset=\"l1.jpg 1x, l2.jpg 3x\" src=\"ph.gif\"><img src=\"data:,x\">"
       "<img src=\"plain\"><input type=IMAGE src=\"btn.png\"><video poster=\"v.jpg\" "
       "src=\"v.webm\"><source src=\"v.mp4\"></video><audio src=\"a.mp3\"><source "
       "src=\"a.ogg\"></audio>",
       kImage | kMovie | kWave,
       true,
       {"http://h/d/big.jpg", "http://h/d/e2.webp", "http://h/d/lazy.png", "http://h/d/l2.jpg",
        "http://h/d/plain", "http://h/d/btn.png", "http://h/d/v.webm", "http://h/d/v.jpg",
        "http://h/d/v.mp4", "http://h/d/a.mp3", "http://h/d/a.ogg"}},
      {"a thumbnail inside an anchor to its picture is left out",
       "<a href=\"full.jpg\"><img src=\"thumb.jpg\"></a><a href=\"page.html\"><img "
       "src=\"shown.jpg\"></a><img src=\"alone.jpg\">",
       kImage,
       true,
       {"http://h/d/full.jpg", "http://h/d/shown.jpg", "http://h/d/alone.jpg"}},
      {"embedded files only when asked",
       "<img src=\"i.jpg\"><a href=\"l.jpg\">",
       kImage,
       false,
       {"http://h/d/l.jpg"}},
      {"a query in the document's encoding, the path in UTF-8",
       "<meta charset=\"shift_jis\"><a href=\"\x93\xfa.jpg?q=\x93\xfa\">",
       kImage,
       false,
       {"http://h/d/%E6%97%A5.jpg?q=%93%FA"}},
      {"the answer's charset before the page's",
       "<meta charset=\"utf-8\"><a href=\"\xa4\xa2.jpg?q=\xa4\xa2\">",
       kImage,
       false,
       {"http://h/d/%E3%81%82.jpg?q=%A4%A2"},
       "text/html; charset=EUC-JP"},
      {"undeclared and not UTF-8: Shift_JIS",
       "<a href=\"\x82\xa0.jpg\">",
       kImage,
       false,
       {"http://h/d/%E3%81%82.jpg"}},
  };
  for (const Row& row : rows) EXPECT_EQ(Harvest(row), row.expected) << row.what;
}

// The run itself: a local page read as a browser does, written as gallery
// lines that a browser reads back as the very addresses; the profile's
// choice of reading decides, and the exact reading stays as it was.
// A UTF-8 page is read in windows of a megabyte: a character, well-formed
// or not, that one window ends in and the next completes reads as it does
// whole.
TEST(BrowserReading, CharactersCutByTheReadersWindows) {
  struct Cut {
    std::string bytes;
    size_t before;  // of them, in the first window
    std::string expected;
  };
  const Cut cuts[] = {
      {"\xE6\x97\xA5", 1, "%E6%97%A5"},
      {"\xE6\x97\xA5", 2, "%E6%97%A5"},
      {"\xF0\x9F\x98\x80", 3, "%F0%9F%98%80"},
      {"\xE6\x97x", 1, "%EF%BF%BDx"},
      {"\xE6\x97x", 2, "%EF%BF%BDx"},
      {"\xFFx", 1, "%EF%BF%BDx"},
      {"\xE6\xE6\x97\xA5", 1, "%EF%BF%BD%E6%97%A5"},
  };
  const std::string head = "<meta charset=utf-8><a href=\"";
  for (const Cut& cut : cuts) {
    Row row{"", head, kImage, false, {"http://h/d/" + cut.expected + ".jpg"}};
    row.page.append((1 << 20) - head.size() - cut.before, 'y');
    row.page += cut.bytes + ".jpg\">";
    row.expected[0].insert(11, (1 << 20) - head.size() - cut.before, 'y');
    EXPECT_EQ(Harvest(row), row.expected) << cut.expected << " cut after " << cut.before;
  }
}

TEST(BrowserReading, TheRunWritesWhatABrowserReadsBack) {
  const std::string page =
      "<base href=\"http://cdn.example/p/\"><a href=\"a.jpg?x=1&amp;y=&quot;2&quot;\">"
      "</a><img src=\"i.png\"><a href=\"a.jpg?x=1&amp;y=&quot;2&quot;\">";
  struct Row {
    int browser;
    std::string expected;
  };
  const Row rows[] = {
      {1,
       "<IMG SRC=\"http://cdn.example/p/a.jpg?x=1&amp;y=%222%22\"><BR>\r\n"
       "<IMG SRC=\"http://cdn.example/p/i.png\"><BR>\r\n"},
      {0,
       "<IMG SRC=\"http://h/d/a.jpg?x=1&amp;y=&quot;2&quot;\"><BR>\r\n"
       "<IMG SRC=\"http://h/d/a.jpg?x=1&amp;y=&quot;2&quot;\"><BR>\r\n"},
  };
  for (const Row& row : rows) {
    TestEnvironment env;
    env.App().m_bImage = 1;
    env.App().m_bBrowser = row.browser;
    env.App().m_bEmbedded = 1;
    EXPECT_EQ(RunOnLocalPage(env, page, kOutputGallery), HarvestOutcome::kCompleted);
    EXPECT_EQ(testing_support::ReadBytes(env.HomeDir() + "vimbel.html"), row.expected)
        << row.browser;
  }
}

// The run resolves the links as the page is read, against the base known
// then; a <base href> that turns up later still decides every address. The
// addresses go to the output as whole lines.
TEST(BrowserReading, TheRunResolvesEveryLinkAgainstTheFirstBaseWhereverItStands) {
  struct Row {
    const char* what;
    std::string page;
    std::string expected;
    std::string before = "";  // the output file's, ending mid-line
  };
  const Row rows[] = {
      {"after a line another writer left unended", "<a href=\"a.jpg\"><a href=\"b.gif\">",
       "torn\r\nhttp://h/d/a.jpg\r\nhttp://h/d/b.gif\r\n", "torn"},
      {"a base after links",
       "<a href=\"a.jpg\"></a><img src=\"i.png\"><base href=\"http://b/q/\">"
       "<a href=\"../c.jpg\"><a href=\"a.jpg\">",
       "http://b/q/a.jpg\r\nhttp://b/q/i.png\r\nhttp://b/c.jpg\r\n"},
      {"a base in a template before links, a real one after",
       "<template><base href=\"http://t/\"></template><a href=\"a.jpg\"><base href=\"http://b/\">",
       "http://b/a.jpg\r\n"},
      {"a base after links that does not parse", "<a href=\"a.jpg\"><base href=\"http://[x\">",
       "http://h/d/a.jpg\r\n"},
      {"two bases, both before links",
       "<base href=\"e/\"><base href=\"http://b/\"><a href=\"a.jpg\">", "http://h/d/e/a.jpg\r\n"},
  };
  // Without helper threads the same work is done on the run's own; where
  // the resolved list cannot be written, the link list serves.
  for (const bool refused : {false, true})
    for (const bool blocked : {false, true})
      for (const Row& row : rows) {
        platform::RefuseThreadStartsForTest(refused);
        TestEnvironment env;
        if (blocked) testing_support::CreateFolder(*ResolvedListPath(""));
        env.App().m_bImage = 1;
        env.App().m_bBrowser = 1;
        env.App().m_bEmbedded = 1;
        if (!row.before.empty())
          testing_support::WriteBytes(env.HomeDir() + "vimbel.txt", row.before);
        const HarvestOutcome outcome = RunOnLocalPage(env, row.page, kOutputList);
        platform::RefuseThreadStartsForTest(false);
        EXPECT_EQ(outcome, HarvestOutcome::kCompleted) << row.what << refused << blocked;
        EXPECT_EQ(testing_support::ReadBytes(env.HomeDir() + "vimbel.txt"), row.expected)
            << row.what << refused << blocked;
      }
}

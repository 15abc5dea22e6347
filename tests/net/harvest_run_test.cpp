// Whole runs from the start button, of a downloaded page and of a local
// one, to the output file.
#include <filesystem>
#include <iterator>
#include <random>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <string>
#include <thread>
#include <vector>

#include "platform/thread_start.h"
#include "tests/net/net_fixture.h"

namespace net_tests {
namespace {

using test::HttpRoute;
using testing_support::Exists;
using testing_support::ReadBytes;
using testing_support::WriteBytes;

constexpr unsigned kError = 16;
const Shown kDone{"終了しました。", "正常終了", 0};
const Shown kIncompleteWarning{"ﾌｧｲﾙが正常に読み込めませんでした。", "警告", 48};

const char kGalleryPage[] =
    "<html><body>\n"
    "<a href=\"pics/one.jpg\">one</a>\n"
    "<a href=two.gif>two</a>\n"
    "<a href=\"http://elsewhere.example/three.jpeg\">three</a>\n"
    "<a href=\"notes.txt\">notes</a>\n"
    "</body></html>\n";

class HarvestRun : public LoopbackTest {
 protected:
  void SetUp() override {
    LoopbackTest::SetUp();
    CHarvestApp& app = env.App();
    app.m_bImage = 1;
    app.m_strExtent = ".???";
    engine.m_strSaveFolder = env.HomeDir();
    engine.m_nOutPutType = 2;  // list
    engine.m_nFileSelect = 2;  // vimbel.txt
  }

#ifdef _WIN32
  std::string ScratchFolder() const { return env.Path("tmp/"); }  // the user's own
#else
  std::string ScratchFolder() const { return env.Path("runtime/vimbel/"); }
#endif
  std::string PageScratch() const { return ScratchFolder() + "vimbel.tmp"; }
  std::string LinkScratch() const { return ScratchFolder() + "#vimbel#.tmp"; }
  std::string Output() const { return env.HomeDir() + "vimbel.txt"; }

  std::string Listed(const std::string& base) const {
    return base + "pics/one.jpg\r\n" + base + "two.gif\r\n" +
           "http://elsewhere.example/three.jpeg\r\n";
  }
};

TEST_F(HarvestRun, ADownloadedPageEndsInTheOutputFile) {
  server.Route("/dir/page.html", HttpRoute::Page(200, kGalleryPage));
  // As a terminal copies it: the line break is no part of the address.
  engine.SetAddress(" " + server.Url("/dir/page.html") + "\r\n");
  engine.OnOK();

  const std::string base = server.Url("/dir/");
  EXPECT_EQ(engine.m_strBaseUrl, base);
  EXPECT_EQ(ReadBytes(Output()), Listed(base));
  EXPECT_EQ(Messages(engine), std::vector<Shown>{kDone});
  EXPECT_EQ(engine.StatusTexts().back(), "Version1.03");
  EXPECT_EQ(engine.m_lastOutcome, HarvestOutcome::kCompleted);
  EXPECT_FALSE(Exists(PageScratch()));
  EXPECT_FALSE(Exists(LinkScratch()));

  // A second run appends.
  engine.OnOK();
  EXPECT_EQ(ReadBytes(Output()), Listed(base) + Listed(base));
}

// Links are relative to where the page was read from, and the output file
// named after the base takes the same one.
TEST_F(HarvestRun, ARedirectedPageIsResolvedAgainstItsFinalAddress) {
  test::HttpServer other;
  ASSERT_TRUE(other.Start("127.0.0.2"));
  server.Route("/gallery", HttpRoute::Redirect("/gallery/", 301));
  server.Route("/gallery/", HttpRoute::Page(200, kGalleryPage));
  server.Route("/old/page.html", HttpRoute::Redirect(other.Url("/new/dir/page.html")));
  other.Route("/new/dir/page.html", HttpRoute::Page(200, kGalleryPage));
  const std::string port = std::to_string(server.Port());
  const std::string otherPort = std::to_string(other.Port());
  struct Case {
    std::string typed;
    std::string base;
    std::string outputName;
  };
  const Case cases[] = {
      {server.Url("/gallery"), server.Url("/gallery/"),
       "http___127.0.0.1_" + port + "_gallery_.txt"},
      {server.Url("/old/page.html"), other.Url("/new/dir/"),
       "http___127.0.0.2_" + otherPort + "_new_dir_.txt"},
  };
  engine.m_nFileSelect = 1;  // named after the base address
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    engine.ClearRecords();
    engine.SetAddress(c.typed);
    engine.OnOK();
    EXPECT_EQ(Messages(engine), std::vector<Shown>{kDone});
    EXPECT_EQ(engine.m_strBaseUrl, c.base);
    EXPECT_EQ(ReadBytes(env.HomeDir() + c.outputName), Listed(c.base));
  }
}

TEST_F(HarvestRun, ALocalPageIsCopiedWithoutAskingTheNetwork) {
  const std::string page = env.Path("saved.html");
  WriteBytes(page, kGalleryPage);
  engine.m_strSourceFile = page;
  engine.SetAddress("http://example.com/gallery/\n");
  engine.OnOK();

  EXPECT_EQ(engine.m_strBaseUrl, "http://example.com/gallery/");
  EXPECT_EQ(ReadBytes(Output()), Listed("http://example.com/gallery/"));
  EXPECT_EQ(Messages(engine), std::vector<Shown>{kDone});
  EXPECT_EQ(engine.m_lastOutcome, HarvestOutcome::kCompleted);
  EXPECT_FALSE(Exists(PageScratch()));
  EXPECT_EQ(ReadBytes(page), kGalleryPage);
  EXPECT_EQ(server.RequestCount(), 0u);
}

// The system may refuse the run its helper threads (an address-space or
// thread limit): the run then does their work itself, to the same end.
TEST_F(HarvestRun, ARunWithoutHelperThreadsEndsAsOneWithThem) {
  server.Route("/dir/page.html", HttpRoute::Page(200, kGalleryPage));
  WriteBytes(env.Path("saved.html"), kGalleryPage);
  platform::RefuseThreadStartsForTest(true);
  engine.SetAddress(server.Url("/dir/page.html"));
  engine.OnOK();
  engine.m_strSourceFile = env.Path("saved.html");
  engine.SetAddress(server.Url("/dir/"));
  engine.OnOK();
  platform::RefuseThreadStartsForTest(false);

  const std::string base = server.Url("/dir/");
  EXPECT_EQ(ReadBytes(Output()), Listed(base) + Listed(base));
  EXPECT_EQ(Messages(engine), (std::vector<Shown>{kDone, kDone}));
  EXPECT_FALSE(Exists(PageScratch()));
  EXPECT_FALSE(Exists(LinkScratch()));
}

// A downloaded page is scanned as it arrives, yet must give the links a
// scan of the page as stored (each LF as CR LF) gives, whatever line ends it
// has and wherever the reads cut it: a local page, handed the stored
// bytes, tells what those are. A CR LF right after "<a" is where the two
// views differ; neither may look past a Ctrl-Z.
TEST_F(HarvestRun, ADownloadedPageIsScannedAsItIsStored) {
  const char* const kPieces[] = {"<a href=\"", "<A HREF=", "x.jpg", "y.GIF\"",          ">",
                                 "\r",         "\n",       "\r\n",  "\r\r\n",           "\t",
                                 " ",          "z",        "\"",    "<a\r\nhref=p.jpg "};
  std::mt19937 random(1207);
  std::uniform_int_distribution<size_t> pick(0, std::size(kPieces) - 1);
  std::string page;
  while (page.size() < 300'000) page += kPieces[pick(random)];
  page += "<a href=last.jpg>\x1A<a href=hidden.jpg>";
  server.Route("/dir/page.html", HttpRoute::Page(200, page));
  engine.SetAddress(server.Url("/dir/page.html"));
  engine.OnOK();
  const std::string downloaded = ReadBytes(Output());
  std::filesystem::remove(Output());

  std::string stored;
  for (char c : page) stored += c == '\n' ? "\r\n" : std::string(1, c);
  WriteBytes(env.Path("saved.html"), stored);
  engine.m_strSourceFile = env.Path("saved.html");
  engine.SetAddress(server.Url("/dir/"));
  engine.OnOK();

  const std::string base = server.Url("/dir/");
  EXPECT_GT(downloaded.size(), 100'000u);
  EXPECT_NE(downloaded.find(base + "last.jpg\r\n"), std::string::npos);
  EXPECT_EQ(downloaded.find("hidden"), std::string::npos);
  EXPECT_TRUE(ReadBytes(Output()) == downloaded);
  EXPECT_EQ(Messages(engine), (std::vector<Shown>{kDone, kDone}));
}

#ifndef _WIN32
// A pipe gives its bytes once: the copy and the scan must not share them.
TEST_F(HarvestRun, ALocalPageMayComeFromAPipe) {
  const std::string pipe = env.Path("page.fifo");
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  std::thread writer([&] { WriteBytes(pipe, kGalleryPage); });
  engine.m_strSourceFile = pipe;
  engine.SetAddress("http://example.com/gallery/");
  engine.OnOK();
  writer.join();
  EXPECT_EQ(ReadBytes(Output()), Listed("http://example.com/gallery/"));
  EXPECT_EQ(Messages(engine), std::vector<Shown>{kDone});
}
#endif

TEST_F(HarvestRun, TheStartButtonRefusesBeforeTouchingAnything) {
  struct Case {
    const char* name;
    std::string sourceFile;
    std::string address;
    std::string message;
  };
  const std::string page = env.Path("saved.html");
  WriteBytes(page, kGalleryPage);
  const std::vector<Case> cases = {
      {"empty address", "", "", "ｲﾝﾀｰﾈｯﾄｱﾄﾞﾚｽが入力されていません。"},
      {"blank address", "", " \t\r\n", "ｲﾝﾀｰﾈｯﾄｱﾄﾞﾚｽが入力されていません。"},
      {"empty base", page, "", "ｲﾝﾀｰﾈｯﾄｱﾄﾞﾚｽが入力されていません。"},
      {"base without a final slash", page, "http://server/dir",
       "ﾍﾞｰｽとなるｱﾄﾞﾚｽが正しく入力されていません。"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    engine.ClearRecords();
    engine.m_strSourceFile = c.sourceFile;
    engine.m_strBaseUrl = "unchanged";
    engine.SetAddress(c.address);
    engine.OnOK();
    EXPECT_EQ(Messages(engine), (std::vector<Shown>{{c.message, "エラー", kError}}));
    EXPECT_TRUE(engine.StatusTexts().empty());
    EXPECT_EQ(engine.m_strBaseUrl, "unchanged");
    EXPECT_EQ(engine.m_lastOutcome, HarvestOutcome::kNotRun);
#ifdef _WIN32  // the user's temporary folder is always there
    EXPECT_FALSE(Exists(PageScratch()));
#else
    EXPECT_FALSE(Exists(ScratchFolder()));
#endif
    EXPECT_FALSE(Exists(Output()));
  }
}

// Runs that stop: the user hears why, no completion message, no output, no
// scratch file left, and the status line goes back to idle.
TEST_F(HarvestRun, StoppedRunsSayWhyAndNothingElse) {
  server.Route("/missing.html", HttpRoute::Page(404, ""));
  struct Case {
    const char* name;
    std::string address;
    std::string sourceFile;
    std::string messageStart;
  };
  const std::string gone = env.Path("gone.html");
  const std::vector<Case> cases = {
      {"404", server.Url("/missing.html"), "", "指定されたファイルが存在しません。\n"},
      {"refused", "http://127.0.0.1:" + std::to_string(test::UnusedLoopbackPort()) + "/a/", "",
       "ｻｰﾊﾞｰに接続できませんでした。\n"},
      {"unknown host", "http://nohost.invalid/a/b.html", "", "ｻｰﾊﾞｰに接続できませんでした。\n"},
      {"local page gone", "http://example.com/", gone, "ﾌｧｲﾙを読み込めませんでした。\n" + gone},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    engine.ClearRecords();
    engine.m_strSourceFile = c.sourceFile;
    engine.SetAddress(c.address);
    engine.OnOK();
    ASSERT_EQ(engine.Messages().size(), 1u);
    EXPECT_EQ(engine.Messages()[0].text.rfind(c.messageStart, 0), 0u) << engine.Messages()[0].text;
    EXPECT_EQ(engine.Messages()[0].type, kError);
    EXPECT_EQ(engine.StatusTexts().back(), "Version1.03");
    EXPECT_EQ(engine.m_lastOutcome, HarvestOutcome::kStopped);
    EXPECT_FALSE(Exists(PageScratch()));
    EXPECT_FALSE(Exists(Output()));
  }
}

// The user's stop (Escape, the close box) while the server is awaited or the
// page arrives: not a word, no page left behind, the output as it was, and
// the status line idle again.
TEST_F(HarvestRun, AStoppedRunLeavesNothingBehindAndSaysNothing) {
  std::string gallery;
  for (int i = 0; gallery.size() < 200 * 1024; ++i)
    gallery += "<a href=\"pics/" + std::to_string(i) + ".jpg\">x</a>\n";
  server.Route("/big/page.html", HttpRoute::Page(200, gallery));
  HttpRoute stalled = HttpRoute::Page(200, kGalleryPage);
  stalled.cut = HttpRoute::Cut::kStall;
  stalled.cutAfter = 20;
  server.Route("/stalled/page.html", stalled);
  test::SilentLoopbackServer silent;

  struct Case {
    const char* name;
    std::string address;
    int stopAtCheck;
  };
  const std::vector<Case> cases = {
      {"while the server is silent", silent.Url("/page.html"), 3},
      {"during a long read", server.Url("/big/page.html"), 20},
      {"while the page stalls", server.Url("/stalled/page.html"), 5},
  };
  const std::string earlier = "http://earlier/run.jpg\r\n";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteBytes(Output(), earlier);
    engine.ClearRecords();
    engine.StopAtCheck(c.stopAtCheck);
    engine.SetAddress(c.address);
    engine.OnOK();
    EXPECT_EQ(Messages(engine), std::vector<Shown>{});
    EXPECT_EQ(engine.StatusTexts().back(), "Version1.03");
    EXPECT_EQ(engine.m_lastOutcome, HarvestOutcome::kStopped);
    EXPECT_FALSE(Exists(PageScratch()));
    EXPECT_FALSE(Exists(LinkScratch()));
    EXPECT_EQ(ReadBytes(Output()), earlier);
  }
  engine.StopAtCheck(0);
}

TEST_F(HarvestRun, ShortPagesAreReadAgainUpToTheLimitThenHarvested) {
  HttpRoute shortPage = HttpRoute::Page(200, kGalleryPage);
  shortPage.declaredLength = sizeof kGalleryPage + 100;
  server.Route("/short.html", shortPage);
  const std::string base = server.Url("/");
  for (int times : {0, 2}) {
    SCOPED_TRACE(times);
    env.App().m_nTimes = times;
    engine.ClearRecords();
    const size_t before = server.RequestCount("/short.html");
    engine.SetAddress(server.Url("/short.html"));
    engine.OnOK();
    EXPECT_EQ(server.RequestCount("/short.html") - before, static_cast<size_t>(times) + 1);
    EXPECT_EQ(Messages(engine), (std::vector<Shown>{kIncompleteWarning, kDone}));
    EXPECT_EQ(engine.m_lastOutcome, HarvestOutcome::kIncomplete);
  }
  EXPECT_EQ(ReadBytes(Output()), Listed(base) + Listed(base));
}

TEST_F(HarvestRun, CredentialsReachTheServerButNeverTheOutputName) {
  HttpRoute guarded = HttpRoute::Page(200, kGalleryPage);
  guarded.basicAuth = std::make_pair("id", "p:a@s/s");
  server.Route("/dir/page.html", guarded);
  engine.m_nFileSelect = 1;  // named after the base address
  engine.QueueCredentials("id", "p:a@s/s");
  engine.SetAddress(server.Url("/dir/page.html"));
  engine.OnOK();

  const std::string base = server.Url("/dir/");
  EXPECT_EQ(engine.m_strBaseUrl, base);
  const std::string named =
      env.HomeDir() + "http___127.0.0.1_" + std::to_string(server.Port()) + "_dir_.txt";
  EXPECT_EQ(ReadBytes(named), Listed(base));
  EXPECT_EQ(Messages(engine), std::vector<Shown>{kDone});
  EXPECT_EQ(server.LastRequest().path, "/dir/page.html");
}

TEST_F(HarvestRun, ScanAndWriteFailuresAreReportedAndScratchFilesRemoved) {
  server.Route("/page.html", HttpRoute::Page(200, kGalleryPage));
  const std::string missingFolder = env.Path("no such folder/");
  struct Case {
    const char* name;
    std::string saveFolder;
    bool blockLinkScratch;  // a folder stands where the link list goes
    std::string message;
  };
  const std::vector<Case> cases = {
      {"output cannot be opened", missingFolder, false,
       "ﾌｧｲﾙに書き込めませんでした。\n" + missingFolder + "vimbel.txt"},
      {"link list cannot be created", env.HomeDir(), true,
       "ﾌｧｲﾙを作成できませんでした。\n" + LinkScratch()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    engine.ClearRecords();
    engine.m_strSaveFolder = c.saveFolder;
    if (c.blockLinkScratch) {
      ASSERT_TRUE(testing_support::CreateFolder(LinkScratch()));
    }
    engine.SetAddress(server.Url("/page.html"));
    engine.OnOK();

    EXPECT_EQ(Messages(engine), (std::vector<Shown>{{c.message, "エラー", kError}}));
    EXPECT_EQ(engine.m_lastOutcome, HarvestOutcome::kStopped);
    EXPECT_EQ(engine.StatusTexts().back(), "Version1.03");
    EXPECT_FALSE(Exists(PageScratch()));
    if (c.blockLinkScratch) {
      std::filesystem::remove(LinkScratch());
    } else {
      EXPECT_FALSE(Exists(LinkScratch()));
    }
    EXPECT_FALSE(Exists(Output()));
  }
}

#ifndef _WIN32  // the private folder of the POSIX build
TEST_F(HarvestRun, ARefusedScratchFolderStopsTheRun) {
  ASSERT_EQ(
      ::symlink(env.Dir().c_str(), ScratchFolder().substr(0, ScratchFolder().size() - 1).c_str()),
      0);
  server.Route("/page.html", HttpRoute::Page(200, kGalleryPage));
  engine.SetAddress(server.Url("/page.html"));
  engine.OnOK();

  ASSERT_EQ(engine.Messages().size(), 1u);
  EXPECT_EQ(engine.Messages()[0].text.rfind("ﾌｧｲﾙを作成できませんでした。\n", 0), 0u);
  EXPECT_EQ(engine.Messages()[0].caption, "エラー");
  EXPECT_EQ(engine.m_lastOutcome, HarvestOutcome::kStopped);
  EXPECT_EQ(server.RequestCount(), 0u);
  EXPECT_FALSE(Exists(Output()));
}
#endif

}  // namespace
}  // namespace net_tests

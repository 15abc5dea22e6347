// The output file: its name, its lines, and what happens when it cannot be
// written.
#include <fcntl.h>
#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/link_output.h"
#include "engine/page_scan.h"
#include "tests/support/recording_engine.h"
#include "tests/support/test_environment.h"

using testing_support::CreateFolder;
using testing_support::Exists;
using testing_support::ReadBytes;
using testing_support::RecordingEngine;
using testing_support::TestEnvironment;
using testing_support::WriteBytes;

namespace {

TEST(OutputFilePath, NamesTheFileByModeAndFormat) {
  struct Case {
    int fileSelect, outputType;
    const char* base;
    const char* name;
  };
  const std::vector<Case> cases = {
      {2, 1, "http://a/b/c/", "vimbel.html"},
      {2, 2, "http://a/b/c/", "vimbel.txt"},
      {2, 3, "http://a/b/c/", "vimbel.txt"},
      {1, 1, "http://a/b/c/", "http___a_b_c_.html"},
      {1, 2, "http://a/b/c/", "http___a_b_c_.txt"},
      {0, 2, "http://a/b/c/", "http___a_b_c_.txt"},
      {1, 1, "http://", "http___.html"},
      {1, 2, "http://u:p@h:80/a?b=1&c/", "http___u_p@h_80_a?b=1&c_.txt"},
      {1, 2, "/../../etc/", "_.._.._etc_.txt"},
  };
  TestEnvironment env;
  RecordingEngine engine{env.App()};
  engine.m_strSaveFolder = "/save/";
  for (const Case& c : cases) {
    engine.m_nFileSelect = c.fileSelect;
    engine.m_nOutPutType = c.outputType;
    engine.m_strBaseUrl = c.base;
    EXPECT_EQ(engine.OutputFilePath(), std::string("/save/") + c.name) << c.base;
  }
}

class WriteLinkListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env.App().m_bImage = 1;
    engine.m_strBaseUrl = "http://a/b/c/";
    engine.m_strSaveFolder = env.HomeDir();
    engine.m_nFileSelect = 1;
    engine.m_nOutPutType = 1;
    linkList = *LinkListPath();
  }

  TestEnvironment env;
  RecordingEngine engine{env.App()};
  std::string linkList;
};

TEST_F(WriteLinkListTest, AppendsTheKeptLinksAsGalleryOrList) {
  const std::string links = "x.jpg\r\n../img/Y.GIF\r\nhttp://d/z.jpeg\r\npage.html\r\n";
  WriteBytes(linkList, links);
  EXPECT_FALSE(engine.WriteLinkList(linkList));
  EXPECT_FALSE(Exists(linkList));
  EXPECT_EQ(ReadBytes(env.HomeDir() + "http___a_b_c_.html"),
            "<IMG SRC=\"http://a/b/c/x.jpg\"><BR>\r\n"
            "<IMG SRC=\"http://a/b/img/Y.GIF\"><BR>\r\n"
            "<IMG SRC=\"http://d/z.jpeg\"><BR>\r\n");

  engine.m_nOutPutType = 2;
  for (int run = 0; run < 2; ++run) {
    WriteBytes(linkList, links);
    EXPECT_FALSE(engine.WriteLinkList(linkList));
  }
  const std::string list = "http://a/b/c/x.jpg\r\nhttp://a/b/img/Y.GIF\r\nhttp://d/z.jpeg\r\n";
  EXPECT_EQ(ReadBytes(env.HomeDir() + "http___a_b_c_.txt"), list + list);
}

TEST_F(WriteLinkListTest, KeepsLongLinesWholeAndTheLastLineWithoutLf) {
  const std::string longName(5000, 'n');
  WriteBytes(linkList, "http://d/" + longName + ".jpg\nlast.gif");
  engine.m_nOutPutType = 2;
  EXPECT_FALSE(engine.WriteLinkList(linkList));
  EXPECT_EQ(ReadBytes(env.HomeDir() + "http___a_b_c_.txt"),
            "http://d/" + longName + ".jpg\r\nhttp://a/b/c/last.gif\r\n");
}

TEST_F(WriteLinkListTest, CreatesTheFileEvenWhenNothingPasses) {
  env.App().m_bImage = 0;
  WriteBytes(linkList, "x.jpg\n");
  EXPECT_FALSE(engine.WriteLinkList(linkList));
  EXPECT_TRUE(Exists(env.HomeDir() + "http___a_b_c_.html"));
  EXPECT_EQ(ReadBytes(env.HomeDir() + "http___a_b_c_.html"), "");
}

// A front end that sends the output somewhere of its own choosing.
class RedirectedEngine : public RecordingEngine {
 public:
  using RecordingEngine::RecordingEngine;
  std::string m_target;
  std::string OutputFilePath() const override { return m_target; }
};

TEST_F(WriteLinkListTest, ReportsAnOutputFileItCannotOpenWriteOrClose) {
  struct Case {
    const char* what;
    std::string saveFolder;
    std::string base;
  };
  const std::vector<Case> cases = {
      {"missing save folder", env.Path("nowhere/"), "http://a/b/c/"},
      {"name too long", env.HomeDir(), "http://a/" + std::string(300, 'p') + "/"},
      {"a folder stands there", env.HomeDir(), "http://a/b/c/"},
  };
  CreateFolder(env.HomeDir() + "http___a_b_c_.html");
  for (const Case& c : cases) {
    engine.m_strSaveFolder = c.saveFolder;
    engine.m_strBaseUrl = c.base;
    WriteBytes(linkList, "x.jpg\n");
    FileFailure failure = engine.WriteLinkList(linkList);
    EXPECT_EQ(failure.kind, FileFailure::kCannotWrite) << c.what;
    EXPECT_EQ(failure.path, engine.OutputFilePath()) << c.what;
    EXPECT_FALSE(Exists(linkList)) << c.what;
  }

  RedirectedEngine full{env.App()};  // a full disk
  full.m_target = "/dev/full";
  WriteBytes(linkList, "x.jpg\n");
  FileFailure failure = full.WriteLinkList(linkList);
  EXPECT_EQ(failure.kind, FileFailure::kCannotWrite);
  EXPECT_EQ(failure.path, "/dev/full");
  EXPECT_FALSE(Exists(linkList));
}

#ifndef _WIN32  // file size limits, links and FIFOs are POSIX's
// A file size limit for the process, as a full disk or a quota would stop
// the writes; the limit and SIGXFSZ are put back when it goes.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    m_oldHandler = ::signal(SIGXFSZ, SIG_IGN);
    ::getrlimit(RLIMIT_FSIZE, &m_old);
    rlimit limit = m_old;
    limit.rlim_cur = bytes;
    m_set = ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &m_old);
    ::signal(SIGXFSZ, m_oldHandler);
  }
  bool Set() const { return m_set; }

 private:
  rlimit m_old{};
  sighandler_t m_oldHandler;
  bool m_set = false;
};

// Each run adds whole lines: a line an earlier writer left unfinished is
// ended first, and a run that cannot write all of its lines takes back
// what it wrote, to the byte.
TEST_F(WriteLinkListTest, TheOutputOnlyEverGainsWholeLines) {
  std::string links, lines;
  for (int i = 0; i < 300; ++i) {
    const std::string name = "pics/" + std::string(80, 'a' + i % 26) + std::to_string(i) + ".jpg";
    links += name + "\n";
    lines += "<IMG SRC=\"http://a/b/c/" + name + "\"><BR>\r\n";
  }
  const std::string torn = "<IMG SRC=\"http://a/b/c/x.jpg\"><BR>\r\n<IMG SRC=\"http://a/b";
  struct Case {
    const char* what;
    std::string before;
    bool fileSizeLimit;
    std::string after;
  };
  const std::vector<Case> cases = {
      {"new file", "", false, lines},
      {"ends in LF", "earlier\r\n", false, "earlier\r\n" + lines},
      {"ends in a lone LF", "earlier\n", false, "earlier\n" + lines},
      {"torn last line", torn, false, torn + "\r\n" + lines},
      {"full disk", "earlier\r\n", true, "earlier\r\n"},
      {"full disk after a torn line", torn, true, torn},
  };
  const std::string output = env.HomeDir() + "http___a_b_c_.html";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ::unlink(output.c_str());
    if (!c.before.empty()) WriteBytes(output, c.before);
    WriteBytes(linkList, links);
    FileFailure failure;
    {
      // Room for a part of the lines only.
      FileSizeLimit limit(c.fileSizeLimit ? c.before.size() + 1000 : RLIM_INFINITY);
      ASSERT_TRUE(limit.Set());
      failure = engine.WriteLinkList(linkList);
    }
    EXPECT_EQ(ReadBytes(output), c.after);
    EXPECT_FALSE(Exists(linkList));
    if (c.fileSizeLimit) {
      EXPECT_EQ(FileFailureText(failure), "ﾌｧｲﾙに書き込めませんでした。\n" + output +
                                              "\nﾌｧｲﾙは書き込む前の状態に戻しました。");
    } else {
      EXPECT_FALSE(failure) << FileFailureText(failure);
    }
  }
}

// Whatever stands at the output path, the run never waits on it and never
// writes anywhere but into a regular file the user's own links lead to.
TEST_F(WriteLinkListTest, AppendsOnlyToARegularFileOfTheUsersOwn) {
  const std::string output = env.HomeDir() + "http___a_b_c_.html";
  const std::string victim = env.Path("victim");
  const std::string line = "<IMG SRC=\"http://a/b/c/x.jpg\"><BR>\r\n";
  const uid_t other = ::geteuid() + 1;
  // A link that another user planted; false when the test cannot plant one.
  auto plant = [&](const std::string& target, const std::string& at) {
    return ::symlink(target.c_str(), at.c_str()) == 0 && ::lchown(at.c_str(), other, other) == 0;
  };
  int reader = -1;
  const std::string mine = "mine\n";
  struct Case {
    const char* what;
    std::function<bool()> setUp;  // false: cannot be set up here
    bool refused;
    std::optional<std::string> victimAfter;  // nullopt: no such file
  };
  const std::vector<Case> cases = {
      {"FIFO without a reader", [&] { return ::mkfifo(output.c_str(), 0600) == 0; }, true, mine},
      {"FIFO with a reader",
       [&] {
         if (::mkfifo(output.c_str(), 0600) != 0) return false;
         reader = ::open(output.c_str(), O_RDONLY | O_NONBLOCK);
         return reader >= 0;
       },
       true, mine},
      {"own link to a device", [&] { return ::symlink("/dev/null", output.c_str()) == 0; }, true,
       mine},
      {"own link to a file", [&] { return ::symlink(victim.c_str(), output.c_str()) == 0; }, false,
       mine + line},
      {"own link to an own link to a file",
       [&] {
         return ::symlink(victim.c_str(), env.Path("hop").c_str()) == 0 &&
                ::symlink("../hop", output.c_str()) == 0;
       },
       false, mine + line},
      {"planted link to a file", [&] { return plant(victim, output); }, true, mine},
      {"own link to a planted link",
       [&] { return plant(victim, env.Path("hop")) && ::symlink("../hop", output.c_str()) == 0; },
       true, mine},
      {"planted link to nothing yet",
       [&] { return ::unlink(victim.c_str()) == 0 && plant(victim, output); }, true, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ::unlink(output.c_str());
    ::unlink(env.Path("hop").c_str());
    WriteBytes(victim, mine);
    if (!c.setUp()) {
      if (::geteuid() != 0) continue;  // planting a link of another user takes root
      FAIL() << "cannot set up";
    }
    WriteBytes(linkList, "x.jpg\n");
    FileFailure failure = engine.WriteLinkList(linkList);
    if (c.refused) {
      EXPECT_EQ(FileFailureText(failure), "ﾌｧｲﾙに書き込めませんでした。\n" + output);
    } else {
      EXPECT_FALSE(failure) << FileFailureText(failure);
    }
    EXPECT_EQ(Exists(victim) ? std::optional(ReadBytes(victim)) : std::nullopt, c.victimAfter);
    EXPECT_FALSE(Exists(linkList));
    if (reader >= 0) {
      char byte;
      EXPECT_LE(::read(reader, &byte, 1), 0) << "something reached the FIFO";
      ::close(reader);
      reader = -1;
    }
  }
}

#endif

TEST_F(WriteLinkListTest, ReportsALinkListItCannotReadAndLeavesTheOutputAlone) {
  WriteBytes(env.HomeDir() + "http___a_b_c_.html", "earlier\r\n");
  FileFailure failure = engine.WriteLinkList(env.Path("missing"));
  EXPECT_EQ(failure.kind, FileFailure::kCannotRead);
  EXPECT_EQ(failure.path, env.Path("missing"));
  EXPECT_EQ(ReadBytes(env.HomeDir() + "http___a_b_c_.html"), "earlier\r\n");
}

}  // namespace

// The output file: its name, its lines, and what happens when it cannot be
// written.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/anchor_scanner.h"
#include "engine/link_output.h"
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

TEST_F(WriteLinkListTest, ReportsALinkListItCannotReadAndLeavesTheOutputAlone) {
  WriteBytes(env.HomeDir() + "http___a_b_c_.html", "earlier\r\n");
  FileFailure failure = engine.WriteLinkList(env.Path("missing"));
  EXPECT_EQ(failure.kind, FileFailure::kCannotRead);
  EXPECT_EQ(failure.path, env.Path("missing"));
  EXPECT_EQ(ReadBytes(env.HomeDir() + "http___a_b_c_.html"), "earlier\r\n");
}

}  // namespace

// vimbel-cli from the outside: a real process against the loopback server,
// judged by its exit status, standard output and standard error.
#ifdef VIMBEL_CLI_PATH

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <string>
#include <vector>

#include "tests/net/net_fixture.h"

extern char** environ;

namespace net_tests {
namespace {

using test::HttpRoute;
using testing_support::ReadBytes;
using testing_support::WriteBytes;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

const char kPage[] =
    "<a href=\"a.jpg\">a</a> <a href=\"sub/b.gif\">b</a> <a href=\"c.zip\">c</a>\n";

class CliRun : public LoopbackTest {
 protected:
  // Runs vimbel-cli with `args`; standard input is not a terminal. The test
  // environment (HOME, profile, scratch folder) is inherited.
  Outcome Run(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {VIMBEL_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> raw;
    for (auto& a : argv) raw.push_back(a.data());
    raw.push_back(nullptr);
    const std::string outPath = env.Path("cli.out"), errPath = env.Path("cli.err");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    Outcome outcome;
    if (posix_spawn(&pid, raw[0], &actions, nullptr, raw.data(), environ) == 0) {
      int status = 0;
      if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) outcome.status = WEXITSTATUS(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    outcome.out = ReadBytes(outPath);
    outcome.err = ReadBytes(errPath);
    return outcome;
  }
};

TEST_F(CliRun, ExitStatusFollowsHowTheRunEnded) {
  server.Route("/dir/page.html", HttpRoute::Page(200, kPage));
  HttpRoute shortPage = HttpRoute::Page(200, kPage);
  shortPage.declaredLength = sizeof kPage + 10;
  server.Route("/dir/short.html", shortPage);
  server.Route("/dir/missing.html", HttpRoute::Page(404, ""));
  HttpRoute guarded = HttpRoute::Page(200, kPage);
  guarded.basicAuth = std::make_pair("id", "pw");
  server.Route("/dir/guarded.html", guarded);
  const std::string base = server.Url("/dir/");
  const std::string listed = base + "a.jpg\r\n" + base + "sub/b.gif\r\n";

  struct Case {
    const char* name;
    std::vector<std::string> args;
    int status;
    std::string out;
    std::string errContains;
  };
  const std::vector<Case> cases = {
      {"complete", {"--stdout", "--list", "--types", "image", base + "page.html"}, 0, listed,
       "正常終了: 終了しました。"},
      {"incomplete", {"--stdout", "--list", "--types", "image", base + "short.html"}, 1, listed,
       "警告: ﾌｧｲﾙが正常に読み込めませんでした。"},
      {"not found", {"--stdout", "--list", base + "missing.html"}, 2, "",
       "404 Not Found: 指定されたファイルが存在しません。"},
      {"prompt without a terminal", {"--stdout", "--list", base + "guarded.html"}, 2, "", ""},
      {"refused",
       {"--stdout", "--list",
        "http://127.0.0.1:" + std::to_string(test::UnusedLoopbackPort()) + "/"},
       2, "", "エラー: ｻｰﾊﾞｰに接続できませんでした。\n"},
      {"no address", {"--stdout"}, 64, "", "vimbel-cli: "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Outcome outcome = Run(c.args);
    EXPECT_EQ(outcome.status, c.status) << outcome.err;
    EXPECT_EQ(outcome.out, c.out);
    EXPECT_NE(outcome.err.find(c.errContains), std::string::npos) << outcome.err;
    if (c.status >= 2) {
      EXPECT_EQ(outcome.err.find("終了しました。"), std::string::npos);
    }
  }
  EXPECT_EQ(server.RequestCount("/dir/guarded.html"), 1u);
}

TEST_F(CliRun, ALocalPageWithItsBaseAddressGoesToTheOutputFile) {
  const std::string page = env.Path("saved page.html");
  WriteBytes(page, kPage);
  const std::string out = env.Path("out/");
  ASSERT_EQ(::mkdir(out.c_str(), 0700), 0);

  Outcome outcome = Run({"--list", "--append", "--types", "image,archive", "--save-folder", out,
                         "--open", page, "http://example.com/gallery/"});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(ReadBytes(out + "vimbel.txt"),
            "http://example.com/gallery/a.jpg\r\nhttp://example.com/gallery/sub/b.gif\r\n"
            "http://example.com/gallery/c.zip\r\n");
  EXPECT_EQ(server.RequestCount(), 0u);

  // The base address must name a directory.
  outcome = Run({"--list", "--save-folder", out, "--open", page, "http://example.com/gallery"});
  EXPECT_NE(outcome.status, 0);
  EXPECT_NE(outcome.err.find("ﾍﾞｰｽとなるｱﾄﾞﾚｽが正しく入力されていません。"), std::string::npos)
      << outcome.err;
}

}  // namespace
}  // namespace net_tests

#endif  // VIMBEL_CLI_PATH

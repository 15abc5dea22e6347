// vimbel-cli from the outside: the real program against the loopback
// server, with its exit status, standard output and standard error.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/instance_lock.h"
#include "tests/net/net_fixture.h"

extern char** environ;

namespace net_tests {
namespace {

using test::HttpRoute;
using testing_support::Exists;
using testing_support::ReadBytes;
using testing_support::WriteBytes;

struct CliResult {
  int exit = -1;
  std::string out;
  std::string err;
};

const char kGallery[] =
    "<html><body>\n"
    "<a href=\"photos/one.jpg\">one</a>\n"
    "<a href=\"../two.GIF\">two</a>\n"
    "<a href=\"http://elsewhere/three.jpeg\">three</a>\n"
    "<a href=\"notes.html\">notes</a>\n"
    "<a href=\"pack.zip\">pack</a>\n"
    "</body></html>\n";

class VimbelCli : public LoopbackTest {
 protected:
  // Runs the program with `args`; its standard input is `input` from a file,
  // so it is never a terminal.
  CliResult Run(const std::vector<std::string>& args, const std::string& input = "") {
    return Finish(Start(args, input));
  }

  // Starts the program as Run does; -1 when it cannot be started.
  pid_t Start(const std::vector<std::string>& args, const std::string& input = "") {
    WriteBytes(env.Path("stdin"), input);
    std::vector<std::string> argv{VIMBEL_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv;
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, env.Path("stdin").c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, env.Path("stdout").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, env.Path("stderr").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, VIMBEL_CLI_PATH, &actions, nullptr, cargv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
      ADD_FAILURE() << "cannot start " << VIMBEL_CLI_PATH;
      return -1;
    }
    return pid;
  }

  // Waits for the program Start started, and gathers what it left.
  CliResult Finish(pid_t pid) {
    CliResult r;
    if (pid < 0) return r;
    int status = 0;
    waitpid(pid, &status, 0);
    r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = ReadBytes(env.Path("stdout"));
    r.err = ReadBytes(env.Path("stderr"));
    return r;
  }

  std::string Home() const { return env.HomeDir(); }
};

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST_F(VimbelCli, ExitStatusTellsHowTheRunEnded) {
  server.Route("/dir/page.html", HttpRoute::Page(200, kGallery));
  HttpRoute shortPage = HttpRoute::Page(200, kGallery);
  shortPage.declaredLength = sizeof kGallery + 100;
  server.Route("/short.html", shortPage);
  server.Route("/broken.html", HttpRoute::Page(500, "oops"));
  HttpRoute guarded = HttpRoute::Page(200, kGallery);
  guarded.basicAuth = std::make_pair(std::string("u"), std::string("p"));
  server.Route("/guarded.html", guarded);
  const std::string refused = "http://127.0.0.1:" + std::to_string(test::UnusedLoopbackPort()) + "/";

  struct Case {
    std::vector<std::string> args;
    int exit;
    std::string stderrHas;
    bool completed;
  };
  const Case cases[] = {
      {{"--stdout", server.Url("/dir/page.html")}, 0, "正常終了: 終了しました。", true},
      {{"--stdout", "--times", "0", server.Url("/short.html")}, 1,
       "警告: ﾌｧｲﾙが正常に読み込めませんでした。", true},
      {{"--stdout", server.Url("/missing.html")}, 2,
       "404 Not Found: 指定されたファイルが存在しません。\nアドレスをよく確かめてからもう一度実行してください。\n",
       false},
      {{"--stdout", server.Url("/broken.html")}, 2,
       "Error Code 500: その他のエラーが発生しました。(code 500)", false},
      {{"--stdout", refused}, 2, "エラー: ｻｰﾊﾞｰに接続できませんでした。\n", false},
      // The password prompt needs a terminal; without one it is cancelled.
      {{"--stdout", server.Url("/guarded.html")}, 2, "", false},
      {{"--stdout", ""}, 2, "エラー: ｲﾝﾀｰﾈｯﾄｱﾄﾞﾚｽが入力されていません。", false},
      {{"--stdout", "--bogus", server.Url("/dir/page.html")}, 64, "vimbel-cli: unknown option --bogus",
       false},
  };
  for (const Case& c : cases) {
    const CliResult r = Run(c.args, "user\npassword\n");
    const std::string what = c.args.back();
    EXPECT_EQ(r.exit, c.exit) << what << "\n" << r.err;
    EXPECT_TRUE(Has(r.err, c.stderrHas)) << what << "\n" << r.err;
    EXPECT_EQ(Has(r.err, "終了しました。"), c.completed) << what << "\n" << r.err;
    // Standard error is no terminal here: no status line is drawn on it.
    EXPECT_FALSE(Has(r.err, "\x1b[K")) << what;
    EXPECT_FALSE(Has(r.err, "接続中")) << what;
  }
  // The cancelled prompt ends the run without a word and without a retry.
  EXPECT_EQ(Run({server.Url("/guarded.html")}).err, "");
  EXPECT_EQ(server.RequestCount("/guarded.html"), 2u);
  EXPECT_EQ(server.RequestCount("/short.html"), 1u);
  EXPECT_FALSE(Exists(env.ProfilePath())) << "the terminal writes no profile";
}

TEST_F(VimbelCli, StdoutGetsTheOutputLinesAndNoFileIsWritten) {
  server.Route("/dir/page.html", HttpRoute::Page(200, kGallery));
  const std::string base = server.Url("/dir/");
  CliResult r = Run({"--stdout", "--list", server.Url("/dir/page.html")});
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(r.out, base + "photos/one.jpg\r\n" + server.Url("/two.GIF") +
                       "\r\nhttp://elsewhere/three.jpeg\r\n");
  EXPECT_FALSE(Exists(Home() + "vimbel.txt"));

  // The gallery, and the archive type added: the image-only rule forces a list.
  r = Run({"--stdout", "--types", "archive", server.Url("/dir/page.html")});
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(r.out, base + "pack.zip\r\n");
  r = Run({"--stdout", "--html", "--types", "image", server.Url("/dir/page.html")});
  EXPECT_TRUE(Has(r.out, "<IMG SRC=\"" + base + "photos/one.jpg\"><BR>\r\n")) << r.out;
}

TEST_F(VimbelCli, OutputFileInTheSaveFolderIsAppendedTo) {
  server.Route("/dir/page.html", HttpRoute::Page(200, kGallery));
  const std::string base = server.Url("/dir/");
  ASSERT_EQ(Run({"--list", "--types", "archive", server.Url("/dir/page.html")}).exit, 0);
  ASSERT_EQ(Run({"--list", "--types", "archive", server.Url("/dir/page.html")}).exit, 0);
  EXPECT_EQ(ReadBytes(Home() + "vimbel.txt"), base + "pack.zip\r\n" + base + "pack.zip\r\n");

  // Named after the base address, in another folder.
  const std::string out = env.Path("out");
  ASSERT_EQ(::mkdir(out.c_str(), 0700), 0);
  const CliResult r = Run({"--url-name", "--save-folder", out, "--types", "archive",
                           server.Url("/dir/page.html")});
  EXPECT_EQ(r.exit, 0) << r.err;
  std::string flat = base;
  for (char& c : flat)
    if (c == ':' || c == '/') c = '_';
  EXPECT_EQ(ReadBytes(out + "/" + flat + ".txt"), base + "pack.zip\r\n");
}

TEST_F(VimbelCli, LocalPageIsHarvestedAgainstItsBaseAddressWithoutTheNetwork) {
  WriteBytes(env.Path("page.html"), kGallery);
  CliResult r = Run({"--stdout", "--list", "--open", env.Path("page.html"), "http://ex.com/a/b/"});
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(r.out, "http://ex.com/a/b/photos/one.jpg\r\nhttp://ex.com/a/two.GIF\r\n"
                   "http://elsewhere/three.jpeg\r\n");
  EXPECT_EQ(server.RequestCount(), 0u);

  struct Case {
    std::vector<std::string> args;
    int exit;
    const char* stderrHas;
  };
  const Case cases[] = {
      {{"--open", env.Path("page.html"), "http://ex.com/a/b"}, 2,
       "エラー: ﾍﾞｰｽとなるｱﾄﾞﾚｽが正しく入力されていません。"},
      {{"--open", env.Path("page.html")}, 64, "base ADDRESS"},
      {{"--open", env.Path("nothing.html"), "http://ex.com/"}, 2, "ﾌｧｲﾙが見つかりませんでした。"},
  };
  for (const Case& c : cases) {
    r = Run(c.args);
    EXPECT_EQ(r.exit, c.exit) << c.args.back() << "\n" << r.err;
    EXPECT_TRUE(Has(r.err, c.stderrHas)) << r.err;
    EXPECT_EQ(r.out, "");
  }
}

TEST_F(VimbelCli, InternetShortcutGivesTheAddress) {
  server.Route("/dir/page.html", HttpRoute::Page(200, kGallery));
  WriteBytes(env.Path("Gallery.URL"),
             "[InternetShortcut]\r\nURL=" + server.Url("/dir/page.html") + "\r\n");
  CliResult r = Run({"--stdout", "--list", "--open", env.Path("Gallery.URL")});
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_TRUE(Has(r.out, server.Url("/dir/photos/one.jpg") + "\r\n")) << r.out;
  EXPECT_EQ(server.RequestCount("/dir/page.html"), 1u);

  WriteBytes(env.Path("empty.url"), "[InternetShortcut]\r\n");
  r = Run({"--open", env.Path("empty.url")});
  EXPECT_EQ(r.exit, 2);
  EXPECT_TRUE(Has(r.err, "ｲﾝﾀｰﾈｯﾄｼｮｰﾄｶｯﾄにｱﾄﾞﾚｽがありません。")) << r.err;
  EXPECT_EQ(Run({"--open", env.Path("Gallery.URL"), "http://x/"}).exit, 64);
}

TEST_F(VimbelCli, RefusesToRunBesideARunningInstance) {
  // The scratch files have fixed names: a second harvest at the same time
  // would overwrite the first one's page.
  server.Route("/dir/page.html", HttpRoute::Page(200, kGallery));
  bool held = true;
  platform::InstanceLock* lock = platform::CreateInstanceLock("vimbel", &held);
  ASSERT_NE(lock, nullptr);
  ASSERT_FALSE(held);
  const CliResult r = Run({"--stdout", server.Url("/dir/page.html")});
  platform::CloseInstanceLock(lock);
  EXPECT_EQ(r.exit, 2);
  EXPECT_TRUE(Has(r.err, "vimbel is running")) << r.err;
  EXPECT_EQ(server.RequestCount(), 0u);
  EXPECT_EQ(Run({"--stdout", server.Url("/dir/page.html")}).exit, 0) << "free again";
}

// Ctrl-C, a closed terminal, a kill or a closed pipe in the middle of a
// download: the page scratch file goes with the program.
TEST_F(VimbelCli, ASignalEndsTheRunWithoutLeavingScratchFiles) {
  HttpRoute stalled = HttpRoute::Page(200, std::string(64 * 1024, 'x'));
  stalled.cut = HttpRoute::Cut::kStall;
  stalled.cutAfter = 8 * 1024;
  server.Route("/stalled.html", stalled);
  const std::string scratch = env.Path("runtime/vimbel/vimbel.tmp");
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
    SCOPED_TRACE(signal);
    const size_t asked = server.RequestCount("/stalled.html");
    const pid_t pid = Start({server.Url("/stalled.html")});
    ASSERT_GT(pid, 0);
    // Until the page is being read into its scratch file.
    for (int wait = 0; wait < 500 && !(Exists(scratch) && server.RequestCount("/stalled.html") > asked);
         ++wait)
      ::usleep(10 * 1000);
    EXPECT_TRUE(Exists(scratch)) << "the download never began";
    ::usleep(50 * 1000);  // the answer's first bytes on their way
    ::kill(pid, signal);
    const CliResult r = Finish(pid);
    EXPECT_EQ(r.exit, 128 + signal) << r.err;
    EXPECT_FALSE(Exists(scratch));
  }
}

TEST_F(VimbelCli, HelpAndVersionGoToStandardOutput) {
  CliResult r = Run({"--help"});
  EXPECT_EQ(r.exit, 0);
  EXPECT_TRUE(Has(r.out, "usage: vimbel-cli"));
  r = Run({"--version"});
  EXPECT_EQ(r.exit, 0);
  EXPECT_EQ(r.out, "vimbel-cli Version1.03\n");
}

}  // namespace
}  // namespace net_tests

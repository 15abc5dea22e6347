// vimbel-cli from the outside: the real program against the loopback
// server, with its exit status, standard output and standard error.
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <pty.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/file_io.h"
#include "platform/file_system.h"
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
  // so it is never a terminal. Standard output and error go to files, or to
  // the descriptors given.
  CliResult Run(const std::vector<std::string>& args, const std::string& input = "", int outFd = -1,
                int errFd = -1) {
    return Finish(Start(args, input, outFd, errFd), outFd, errFd);
  }

  // Starts the program as Run does; -1 when it cannot be started.
  pid_t Start(const std::vector<std::string>& args, const std::string& input = "", int outFd = -1,
              int errFd = -1) {
    WriteBytes(env.Path("stdin"), input);
    std::vector<std::string> argv{VIMBEL_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> cargv;
    for (auto& a : argv) cargv.push_back(a.data());
    cargv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (inputFd >= 0)
      posix_spawn_file_actions_adddup2(&actions, inputFd, 0);
    else
      posix_spawn_file_actions_addopen(&actions, 0, env.Path("stdin").c_str(), O_RDONLY, 0);
    if (outFd >= 0)
      posix_spawn_file_actions_adddup2(&actions, outFd, 1);
    else
      posix_spawn_file_actions_addopen(&actions, 1, env.Path("stdout").c_str(),
                                       O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (errFd >= 0)
      posix_spawn_file_actions_adddup2(&actions, errFd, 2);
    else
      posix_spawn_file_actions_addopen(&actions, 2, env.Path("stderr").c_str(),
                                       O_WRONLY | O_CREAT | O_TRUNC, 0600);
    // A new session: no controlling terminal of the test's to ask on. An
    // ignored SIGXFSZ would be inherited, and hide what the program itself
    // does about a file-size limit.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGXFSZ);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF);
    // The limit is inherited: the test's own is lowered for the moment of
    // the start only.
    rlimit ownLimit{};
    ::getrlimit(RLIMIT_FSIZE, &ownLimit);
    if (fileSizeLimit != RLIM_INFINITY) {
      rlimit lowered = ownLimit;
      lowered.rlim_cur = fileSizeLimit;
      ::setrlimit(RLIMIT_FSIZE, &lowered);
    }
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, VIMBEL_CLI_PATH, &actions, &attr, cargv.data(), environ);
    if (fileSizeLimit != RLIM_INFINITY) ::setrlimit(RLIMIT_FSIZE, &ownLimit);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
      ADD_FAILURE() << "cannot start " << VIMBEL_CLI_PATH;
      return -1;
    }
    return pid;
  }

  // Waits for the program Start started, and gathers what it left in the
  // files standing in for descriptors not given.
  CliResult Finish(pid_t pid, int outFd = -1, int errFd = -1) {
    CliResult r;
    if (pid < 0) return r;
    int status = 0;
    waitpid(pid, &status, 0);
    r.exit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (outFd < 0) r.out = ReadBytes(env.Path("stdout"));
    if (errFd < 0) r.err = ReadBytes(env.Path("stderr"));
    return r;
  }

  std::string Home() const { return env.HomeDir(); }

  // The file-size limit (ulimit -f) the program is started with.
  rlim_t fileSizeLimit = RLIM_INFINITY;
  // Standard input, when not the file of `input`.
  int inputFd = -1;
};

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The scratch files left in `folder`, by name, sorted.
std::vector<std::string> ScratchFilesIn(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name.size() > 4 && name.compare(name.size() - 4, 4, ".tmp") == 0) names.push_back(name);
    }
    ::closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
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
  const std::string refused =
      "http://127.0.0.1:" + std::to_string(test::UnusedLoopbackPort()) + "/";

  struct Case {
    std::vector<std::string> args;
    int exit;
    std::string stderrHas;
    bool completed;
  };
  const Case cases[] = {
      {{"--stdout", server.Url("/dir/page.html")}, 0, "正常終了: 終了しました。", true},
      {{"--stdout", "--times", "0", server.Url("/short.html")},
       1,
       "警告: ﾌｧｲﾙが正常に読み込めませんでした。",
       true},
      {{"--stdout", server.Url("/missing.html")},
       2,
       "404 Not Found: "
       "指定されたファイルが存在しません。\nアドレスをよく確かめてからもう一度実行してください。\n",
       false},
      {{"--stdout", server.Url("/broken.html")},
       2,
       "Error Code 500: その他のエラーが発生しました。(code 500)",
       false},
      {{"--stdout", refused},
       2,
       "エラー: ｻｰﾊﾞｰに接続できませんでした。\nｻｰﾊﾞｰに接続を拒否されました。\n",
       false},
      // The password prompt needs a terminal; without one the run stops
      // and says how to give them.
      {{"--stdout", server.Url("/guarded.html")},
       2,
       "the page needs an ID and password, and there is no terminal to ask for them on; give "
       "them with --user ID[:PASSWORD] or --netrc\n",
       false},
      {{"--stdout", ""}, 2, "エラー: ｲﾝﾀｰﾈｯﾄｱﾄﾞﾚｽが入力されていません。", false},
      {{"--stdout", "--bogus", server.Url("/dir/page.html")},
       64,
       "vimbel-cli: unknown option --bogus",
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
  // Nothing is read from standard input for the prompt, and nothing retried.
  EXPECT_EQ(server.RequestCount("/guarded.html"), 1u);
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
  const CliResult r =
      Run({"--url-name", "--save-folder", out, "--types", "archive", server.Url("/dir/page.html")});
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
  EXPECT_EQ(r.out,
            "http://ex.com/a/b/photos/one.jpg\r\nhttp://ex.com/a/two.GIF\r\n"
            "http://elsewhere/three.jpeg\r\n");
  EXPECT_EQ(server.RequestCount(), 0u);

  struct Case {
    std::vector<std::string> args;
    int exit;
    const char* stderrHas;
  };
  const Case cases[] = {
      {{"--open", env.Path("page.html"), "http://ex.com/a/b"},
       2,
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

// The window's one instance holds its lock and its fixed scratch names all
// day: a terminal run neither waits for it nor touches its files.
TEST_F(VimbelCli, RunsBesideTheWindowWithScratchFilesOfItsOwn) {
  server.Route("/dir/page.html", HttpRoute::Page(200, kGallery));
  bool held = true;
  platform::InstanceLock* lock = platform::CreateInstanceLock("vimbel", &held);
  ASSERT_NE(lock, nullptr);
  ASSERT_FALSE(held);
  const std::string folder = *platform::TempFolder();
  const std::string windowsPage = "the window's page, half read";
  WriteBytes(folder + "vimbel.tmp", windowsPage);
  WriteBytes(folder + "#vimbel#.tmp", "the window's links\n");
  const CliResult r = Run({"--stdout", "--list", server.Url("/dir/page.html")});
  platform::CloseInstanceLock(lock);
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_TRUE(Has(r.out, server.Url("/dir/photos/one.jpg"))) << r.out;
  EXPECT_EQ(ReadBytes(folder + "vimbel.tmp"), windowsPage);
  EXPECT_EQ(ReadBytes(folder + "#vimbel#.tmp"), "the window's links\n");
  EXPECT_EQ(ScratchFilesIn(folder), (std::vector<std::string>{"#vimbel#.tmp", "vimbel.tmp"}));
}

// Ctrl-C, a closed terminal, a kill or a closed pipe in the middle of a
// download: the page scratch file goes with the program.
TEST_F(VimbelCli, ASignalEndsTheRunWithoutLeavingScratchFiles) {
  HttpRoute stalled = HttpRoute::Page(200, std::string(64 * 1024, 'x'));
  stalled.cut = HttpRoute::Cut::kStall;
  stalled.cutAfter = 8 * 1024;
  server.Route("/stalled.html", stalled);
  const std::string folder = env.Path("runtime/vimbel/");
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
    SCOPED_TRACE(signal);
    const size_t asked = server.RequestCount("/stalled.html");
    const pid_t pid = Start({server.Url("/stalled.html")});
    ASSERT_GT(pid, 0);
    // Until the page is being read into its scratch file.
    const std::string page = "vimbel-" + std::to_string(pid) + "-0.tmp";
    for (int wait = 0;
         wait < 500 && !(Exists(folder + page) && server.RequestCount("/stalled.html") > asked);
         ++wait)
      ::usleep(10 * 1000);
    EXPECT_TRUE(Exists(folder + page)) << "the download never began";
    ::usleep(50 * 1000);  // the answer's first bytes on their way
    ::kill(pid, signal);
    const CliResult r = Finish(pid);
    EXPECT_EQ(r.exit, 128 + signal) << r.err;
    EXPECT_EQ(ScratchFilesIn(folder), std::vector<std::string>{});
  }
}

// ulimit -f: the output that would pass the limit is cut back to its length
// before the run, as on a full disk, and the scratch files go.
TEST_F(VimbelCli, AFileSizeLimitCutsTheOutputBackAndSaysSo) {
  // Short links on the page and a long base address: the output passes the
  // limit long before the page's scratch copy or the link list would.
  std::string page;
  for (int i = 0; i < 2000; ++i) page += "<a href=\"p" + std::to_string(i) + ".jpg\">x</a>\n";
  WriteBytes(env.Path("page.html"), page);
  const std::string base = "http://ex.com/" + std::string(300, 'd') + "/";
  const std::string before = "earlier.jpg\r\n";
  WriteBytes(Home() + "vimbel.txt", before);
  fileSizeLimit = 128 * 1024;
  ASSERT_LT(page.size(), fileSizeLimit);
  const CliResult r = Run({"--list", "--types", "image", "--open", env.Path("page.html"), base});
  EXPECT_EQ(r.exit, 2) << r.err;
  EXPECT_TRUE(Has(r.err, "ﾌｧｲﾙに書き込めませんでした。")) << r.err;
  EXPECT_TRUE(Has(r.err, Home() + "vimbel.txt\nﾌｧｲﾙは書き込む前の状態に戻しました。")) << r.err;
  EXPECT_EQ(ReadBytes(Home() + "vimbel.txt"), before);
  EXPECT_EQ(ScratchFilesIn(env.Path("runtime/vimbel/")), std::vector<std::string>{});
}

// A local page that its scratch copy cannot hold (a full scratch folder; a
// size limit here): the message names the scratch file, not the page.
TEST_F(VimbelCli, AScratchCopyThatCannotBeWrittenIsNamedAsSuch) {
  WriteBytes(env.Path("page.html"), kGallery + std::string(256 * 1024, ' '));
  fileSizeLimit = 64 * 1024;
  const CliResult r = Run({"--list", "--open", env.Path("page.html"), "http://ex.com/"});
  EXPECT_EQ(r.exit, 2) << r.err;
  EXPECT_TRUE(Has(r.err, "ﾌｧｲﾙに書き込めませんでした。\n" + env.Path("runtime/vimbel/vimbel-")))
      << r.err;
  EXPECT_FALSE(Has(r.err, "ﾌｧｲﾙを読み込めませんでした。")) << r.err;
  EXPECT_EQ(ScratchFilesIn(env.Path("runtime/vimbel/")), std::vector<std::string>{});
}

// Ctrl-C, a closed terminal or a kill while the output is being appended
// to: the file is left as it was, never with a partial last line.
TEST_F(VimbelCli, ASignalDuringTheAppendLeavesTheOutputAsItWas) {
  // Every output line the same length, so that whole lines can be told.
  std::string page;
  constexpr int kLinks = 200000;
  for (int i = 0; i < kLinks; ++i) {
    const std::string n = std::to_string(1000000 + i);
    page += "<a href=\"p" + n + ".jpg\">x</a>\n";
  }
  WriteBytes(env.Path("page.html"), page);
  const std::string base = "http://ex.com/" + std::string(300, 'd') + "/";
  const size_t lineLength = base.size() + std::string("p1000000.jpg\r\n").size();
  const std::string output = Home() + "vimbel.txt";
  const std::string before = "earlier.jpg\r\n";
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal);
    WriteBytes(output, before);
    const pid_t pid = Start({"--list", "--types", "image", "--open", env.Path("page.html"), base});
    ASSERT_GT(pid, 0);
    struct stat st {};
    for (int wait = 0; wait < 20000; ++wait) {
      if (::stat(output.c_str(), &st) == 0 && static_cast<size_t>(st.st_size) > before.size())
        break;
      ::usleep(500);
    }
    ::kill(pid, signal);
    const CliResult r = Finish(pid);
    ASSERT_EQ(r.exit, 128 + signal) << "ended before the signal came: " << r.err;
    const std::string after = ReadBytes(output);
    ASSERT_EQ(after.compare(0, before.size(), before), 0);
    EXPECT_EQ((after.size() - before.size()) % lineLength, 0u)
        << "a partial line: " << after.size() - before.size() << " bytes appended";
  }
}

// A local page of `count` links "<prefix><n>.jpg", every output line the
// same length; and the list output it gives against `base`.
struct LinkPage {
  std::string page;
  std::string lines;
};
LinkPage ManyLinks(const std::string& prefix, int count, const std::string& base) {
  LinkPage made;
  for (int i = 0; i < count; ++i) {
    const std::string name = prefix + std::to_string(1000000 + i) + ".jpg";
    made.page += "<a href=\"" + name + "\">x</a>\n";
    made.lines += base + name + "\r\n";
  }
  return made;
}

std::string Drain(int master);

// Reads what the program shows on the pseudo-terminal `master` until
// `text` is among it; false after 10 s without.
bool WaitForText(int master, const std::string& text) {
  std::string shown;
  char buffer[4096];
  while (shown.find(text) == std::string::npos) {
    pollfd p{master, POLLIN, 0};
    if (::poll(&p, 1, 10000) != 1) return false;
    const ssize_t n = ::read(master, buffer, sizeof buffer);
    if (n <= 0) return false;
    shown.append(buffer, static_cast<size_t>(n));
  }
  return true;
}

// The output file held as another run holds it while it appends.
class HeldOutput {
 public:
  explicit HeldOutput(const std::string& path)
      : m_fd(::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600)) {
    m_locked = m_fd >= 0 && platform::file_io::LockForAppend(m_fd, [] { return false; }) ==
                                platform::file_io::AppendLock::kLocked;
  }
  ~HeldOutput() { Release(); }
  bool Locked() const { return m_locked; }
  void Append(const std::string& bytes) {
    ASSERT_EQ(::write(m_fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }
  void Release() {
    if (m_fd < 0) return;
    platform::file_io::UnlockForAppend(m_fd);
    ::close(m_fd);
    m_fd = -1;
  }

 private:
  int m_fd;
  bool m_locked = false;
};

// Two calls appending to one file at once: each waits for the other's whole
// append (and says so on its status line), so the file holds both sets of
// lines, each whole and together.
TEST_F(VimbelCli, AppendsToOneFileAtOnceNeverMix) {
  const std::string baseA = "http://a.example/" + std::string(40, 'a') + "/";
  const std::string baseB = "http://b.example/" + std::string(40, 'b') + "/";
  const LinkPage a = ManyLinks("pa", 100000, baseA), b = ManyLinks("pb", 100000, baseB);
  WriteBytes(env.Path("a.html"), a.page);
  WriteBytes(env.Path("b.html"), b.page);
  const std::string output = Home() + "vimbel.txt";
  const std::string before = "earlier.jpg\r\n", held = "held.jpg\r\n";
  WriteBytes(output, before);

  HeldOutput other(output);
  ASSERT_TRUE(other.Locked());
  int masterA, slaveA, masterB, slaveB;
  ASSERT_EQ(::openpty(&masterA, &slaveA, nullptr, nullptr, nullptr), 0);
  ASSERT_EQ(::openpty(&masterB, &slaveB, nullptr, nullptr, nullptr), 0);
  const std::vector<std::string> opts{"--list", "--types", "image", "--open"};
  auto with = [&opts](const std::string& page, const std::string& base) {
    std::vector<std::string> all = opts;
    all.push_back(page);
    all.push_back(base);
    return all;
  };
  const pid_t pidA = Start(with(env.Path("a.html"), baseA), "", -1, slaveA);
  const pid_t pidB = Start(with(env.Path("b.html"), baseB), "", -1, slaveB);
  const bool waitedA = WaitForText(masterA, "他の書き込みを待っています");
  const bool waitedB = WaitForText(masterB, "他の書き込みを待っています");
  other.Append(held);
  other.Release();
  const CliResult ra = Finish(pidA, -1, slaveA), rb = Finish(pidB, -1, slaveB);
  for (int fd : {masterA, slaveA, masterB, slaveB}) ::close(fd);
  EXPECT_TRUE(waitedA && waitedB) << "a run did not wait for the held file";
  EXPECT_EQ(ra.exit, 0);
  EXPECT_EQ(rb.exit, 0);
  const std::string after = ReadBytes(output);
  const bool aFirst = after.compare(before.size() + held.size(), baseA.size(), baseA) == 0;
  EXPECT_TRUE(after == before + held + (aFirst ? a.lines + b.lines : b.lines + a.lines))
      << after.size() << " bytes, of which "
      << before.size() + held.size() + a.lines.size() + b.lines.size() << " expected";
}

// ulimit -f stops a run's append while another run's lines came in since
// it opened the file: the cut-back takes back its own lines only.
TEST_F(VimbelCli, AFailedAppendIsCutBackWithoutAnotherRunsLines) {
  const std::string base = "http://ex.com/" + std::string(300, 'd') + "/";
  WriteBytes(env.Path("page.html"), ManyLinks("p", 2000, base).page);
  const std::string output = Home() + "vimbel.txt";
  const std::string before = "earlier.jpg\r\n";
  WriteBytes(output, before);
  std::string others;
  for (int i = 0; i < 1000; ++i) others += "http://other.example/" + std::to_string(i) + ".jpg\r\n";

  HeldOutput other(output);
  ASSERT_TRUE(other.Locked());
  int master, slave;
  ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  fileSizeLimit = 128 * 1024;
  const pid_t pid =
      Start({"--list", "--types", "image", "--open", env.Path("page.html"), base}, "", -1, slave);
  const bool waited = WaitForText(master, "他の書き込みを待っています");
  other.Append(others);
  other.Release();
  const CliResult r = Finish(pid, -1, slave);
  ::close(slave);
  const std::string shown = Drain(master);
  ::close(master);
  EXPECT_TRUE(waited);
  EXPECT_EQ(r.exit, 2);
  EXPECT_TRUE(Has(shown, "ﾌｧｲﾙは書き込む前の状態に戻しました。")) << shown;
  EXPECT_EQ(ReadBytes(output), before + others);
}

// --new-only: of a page whose links the file holds half of (the other
// half, written as the program writes them), only the rest is written,
// each link once, in the page's order; lines are compared whole as written.
TEST_F(VimbelCli, NewOnlyWritesTheLinksTheFileDoesNotHold) {
  const std::string base = "http://ex.com/g/";
  std::string page;
  for (int i = 0; i < 40; ++i) page += "<a href=\"p" + std::to_string(i) + ".jpg\">x</a>\n";
  page += "<a href=\"p3.jpg\">again</a><a href=\"p4.jpg\">again</a>\n";
  WriteBytes(env.Path("page.html"), page);

  struct Case {
    const char* form;
    std::string (*line)(const std::string& link);
  };
  const Case cases[] = {
      {"--list", [](const std::string& link) { return link + "\r\n"; }},
      {"--html", [](const std::string& link) { return "<IMG SRC=\"" + link + "\"><BR>\r\n"; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.form);
    const std::string output =
        Home() + (c.form == std::string("--list") ? "vimbel.txt" : "vimbel.html");
    // The file holds the even links, the start of an odd link's line as a
    // line, and an odd link in the other form: neither of those two counts.
    std::string before = c.line(base + "p1.jpg").substr(0, 5) + "\r\n";
    std::string expected;
    for (int i = 0; i < 40; ++i) {
      const std::string line = c.line(base + "p" + std::to_string(i) + ".jpg");
      (i % 2 == 0 ? before : expected) += line;
    }
    before += c.form == std::string("--list") ? "<IMG SRC=\"" + base + "p5.jpg\"><BR>\r\n"
                                              : base + "p5.jpg\r\n";
    WriteBytes(output, before);
    CliResult r =
        Run({c.form, "--types", "image", "--new-only", "--open", env.Path("page.html"), base});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(ReadBytes(output), before + expected);
    // The page again: nothing is new.
    r = Run({c.form, "--types", "image", "--new-only", "--open", env.Path("page.html"), base});
    EXPECT_EQ(r.exit, 0) << r.err;
    EXPECT_EQ(ReadBytes(output), before + expected);
  }
  // To standard output, each link once.
  const CliResult r =
      Run({"--list", "--new-only", "--stdout", "--open", env.Path("page.html"), base});
  std::string each;
  for (int i = 0; i < 40; ++i) each += base + "p" + std::to_string(i) + ".jpg\r\n";
  EXPECT_EQ(r.out, each);
}

TEST_F(VimbelCli, HelpAndVersionGoToStandardOutput) {
  CliResult r = Run({"--help"});
  EXPECT_EQ(r.exit, 0);
  EXPECT_TRUE(Has(r.out, "usage: vimbel-cli"));
  r = Run({"--version"});
  EXPECT_EQ(r.exit, 0);
  EXPECT_EQ(r.out, "vimbel-cli Version1.03\n");
}

TEST_F(VimbelCli, SeveralAddressesRunInTurnAndTheWorstStatusIsTheProgramsOwn) {
  server.Route("/a/page.html", HttpRoute::Page(200, kGallery));
  server.Route("/b/page.html", HttpRoute::Page(200, "<a href=\"b.zip\">b</a>"));
  HttpRoute shortPage = HttpRoute::Page(200, "<a href=\"s.zip\">s</a>");
  shortPage.declaredLength = 500;
  server.Route("/short.html", shortPage);
  const std::string a = server.Url("/a/page.html"), b = server.Url("/b/page.html");
  const std::string shortUrl = server.Url("/short.html"), missing = server.Url("/missing.html");

  struct Case {
    std::vector<std::string> args;
    std::string input;
    int exit;
    std::string out;
  };
  const std::vector<std::string> opts{"--stdout", "--list", "--types", "archive", "--times", "0"};
  auto with = [&opts](std::vector<std::string> more) {
    std::vector<std::string> all = opts;
    all.insert(all.end(), more.begin(), more.end());
    return all;
  };
  const Case cases[] = {
      {with({a, b}), "", 0, server.Url("/a/pack.zip") + "\r\n" + server.Url("/b/b.zip") + "\r\n"},
      // A failed run in the middle does not stop the ones after it.
      {with({shortUrl, missing, b}), "", 2,
       server.Url("/s.zip") + "\r\n" + server.Url("/b/b.zip") + "\r\n"},
      {with({b, shortUrl}), "", 1, server.Url("/b/b.zip") + "\r\n" + server.Url("/s.zip") + "\r\n"},
      // One address a line, as a script or a file gives them: LF or CR LF,
      // empty lines passed over, the last line without its end.
      {with({"-"}), "\n" + b + "\r\n\n" + a, 0,
       server.Url("/b/b.zip") + "\r\n" + server.Url("/a/pack.zip") + "\r\n"},
      {with({"-"}), "", 0, ""},
  };
  for (const Case& c : cases) {
    const CliResult r = Run(c.args, c.input);
    EXPECT_EQ(r.exit, c.exit) << c.args.back() << "\n" << r.err;
    EXPECT_EQ(r.out, c.out) << c.args.back();
  }
  EXPECT_EQ(server.RequestCount("/missing.html"), 1u);
}

// -P: the runs overlap, later pages answer first, yet the output and the
// messages are those of the runs one after another, byte for byte, in the
// file, on standard output and on standard error, addresses given on the
// command line or on standard input.
TEST_F(VimbelCli, RunsAtOnceWriteAndSayWhatRunsInTurnWould) {
  HttpRoute slow = HttpRoute::Page(200, kGallery);
  slow.answerDelay = std::chrono::milliseconds(300);
  server.Route("/slow/page.html", slow);
  HttpRoute slowMissing = HttpRoute::Page(404, "gone\n");
  slowMissing.answerDelay = std::chrono::milliseconds(150);
  server.Route("/slow-missing.html", slowMissing);
  server.Route("/moved.html", HttpRoute::Redirect(server.Url("/there/page.html")));
  server.Route("/there/page.html", HttpRoute::Page(200, "<a href=\"t.jpg\">t</a>"));
  HttpRoute guarded = HttpRoute::Page(200, "<a href=\"g.jpg\">g</a><a href=\"h.gif\">h</a>");
  guarded.basicAuth = std::make_pair(std::string("u"), std::string("p"));
  server.Route("/guarded/page.html", guarded);
  HttpRoute shortPage = HttpRoute::Page(200, "<a href=\"s.jpg\">s</a>");
  shortPage.declaredLength = 500;
  server.Route("/short.html", shortPage);
  server.Route("/fast/page.html", HttpRoute::Page(200, kGallery));
  const std::vector<std::string> addresses{
      server.Url("/slow/page.html"),    server.Url("/missing.html"),      server.Url("/moved.html"),
      server.Url("/slow-missing.html"), server.Url("/guarded/page.html"), server.Url("/short.html"),
      server.Url("/fast/page.html"),    server.Url("/missing.html")};
  std::string input;
  for (const std::string& address : addresses) input += address + "\n";

  struct Case {
    std::vector<std::string> output;  // where the lines go
    bool fromStdin;
  };
  const Case cases[] = {{{"--stdout"}, false}, {{}, false}, {{}, true}};
  for (const Case& c : cases) {
    auto call = [&](const char* parallel) {
      std::vector<std::string> args{"--list", "--types", "image", "--times", "0",
                                    "--user", "u:p",     "-P",    parallel};
      args.insert(args.end(), c.output.begin(), c.output.end());
      if (c.fromStdin)
        args.push_back("-");
      else
        args.insert(args.end(), addresses.begin(), addresses.end());
      ::unlink((Home() + "vimbel.txt").c_str());
      CliResult r = Run(args, c.fromStdin ? input : "");
      if (c.output.empty()) r.out = ReadBytes(Home() + "vimbel.txt");
      return r;
    };
    const CliResult inTurn = call("1"), atOnce = call("4");
    SCOPED_TRACE(c.output.empty() ? (c.fromStdin ? "file, standard input" : "file") : "stdout");
    EXPECT_TRUE(Has(inTurn.out, server.Url("/guarded/g.jpg"))) << inTurn.out;
    EXPECT_TRUE(Has(inTurn.out, server.Url("/there/t.jpg"))) << inTurn.out;
    EXPECT_TRUE(Has(inTurn.err, "404 Not Found")) << inTurn.err;
    EXPECT_EQ(inTurn.exit, 2);
    EXPECT_EQ(atOnce.exit, inTurn.exit);
    EXPECT_EQ(atOnce.out, inTurn.out);
    EXPECT_EQ(atOnce.err, inTurn.err);
  }
}

TEST_F(VimbelCli, QuietShowsOnlyWarningsAndErrors) {
  server.Route("/dir/page.html", HttpRoute::Page(200, kGallery));
  HttpRoute shortPage = HttpRoute::Page(200, kGallery);
  shortPage.declaredLength = sizeof kGallery + 100;
  server.Route("/short.html", shortPage);
  CliResult r = Run({"-q", "--stdout", server.Url("/dir/page.html")});
  EXPECT_EQ(r.exit, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(Has(r.out, "one.jpg")) << r.out;
  r = Run({"--quiet", "--times", "0", "--stdout", server.Url("/short.html"),
           server.Url("/missing.html")});
  EXPECT_EQ(r.exit, 2);
  EXPECT_TRUE(Has(r.err, "警告: ﾌｧｲﾙが正常に読み込めませんでした。")) << r.err;
  EXPECT_TRUE(Has(r.err, "404 Not Found: ")) << r.err;
  EXPECT_FALSE(Has(r.err, "終了しました")) << r.err;
}

TEST_F(VimbelCli, UserAndNetrcAnswerThePagesRequestForCredentials) {
  HttpRoute guarded = HttpRoute::Page(200, kGallery);
  guarded.basicAuth = std::make_pair(std::string("u"), std::string("p:w"));
  server.Route("/dir/guarded.html", guarded);
  const std::string url = server.Url("/dir/guarded.html");
  const std::string links = server.Url("/dir/photos/one.jpg") + "\r\n";
  WriteBytes(env.Path("netrc"), "machine 127.0.0.1 login u password p:w\n");
  WriteBytes(env.Path("wrong-netrc"), "machine 127.0.0.1 login u password nope\n");

  struct Case {
    std::vector<std::string> args;
    int exit;
    // Requests of the guarded page. libcurl probes without credentials
    // before it sends those of the address: a retry costs two.
    size_t requests;
    std::string stderrHas;
  };
  const Case cases[] = {
      {{"--user", "u:p:w", url}, 0, 3, "正常終了"},
      // The first answer only: refused, they are not sent again, and there
      // is no terminal to ask on.
      {{"--user=u:nope", url}, 2, 3, "give them with --user ID[:PASSWORD] or --netrc"},
      // An ID alone wants its password from the terminal.
      {{"--user", "u", url}, 2, 1, "no terminal"},
      // Each run of a call gets its own first answer.
      {{"--user", "u:p:w", url, url}, 0, 6, "正常終了"},
      {{"--netrc-file", env.Path("netrc"), url}, 0, 2, "正常終了"},
      {{"--netrc-file", env.Path("wrong-netrc"), url}, 2, 2, "--netrc"},
      {{"--netrc-file", env.Path("wrong-netrc"), "--user", "u:p:w", url}, 0, 4, "正常終了"},
      {{"--netrc-file", env.Path("absent"), url}, 2, 0, "cannot read the netrc file"},
  };
  size_t before = 0;
  for (const Case& c : cases) {
    std::vector<std::string> args{"--stdout", "--list"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const CliResult r = Run(args);
    const std::string what = c.args.front() + " " + c.args[1];
    EXPECT_EQ(r.exit, c.exit) << what << "\n" << r.err;
    EXPECT_EQ(server.RequestCount("/dir/guarded.html") - before, c.requests) << what;
    EXPECT_TRUE(Has(r.err, c.stderrHas)) << what << "\n" << r.err;
    if (c.exit == 0) {
      EXPECT_TRUE(Has(r.out, links)) << what;
    }
    before = server.RequestCount("/dir/guarded.html");
  }

  // With --netrc, ~/.netrc; the ID and password stay out of every message.
  WriteBytes(Home() + ".netrc", "machine 127.0.0.1 login u password p:w\n");
  const CliResult r = Run({"--stdout", "--netrc", url});
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_FALSE(Has(r.err, "p:w"));

  // The file answers for the address's own host: a host a redirect leads
  // to gets none of its entries, its own or the default.
  test::HttpServer login;
  ASSERT_TRUE(login.Start("127.0.0.2"));
  login.Route("/login.html", guarded);
  server.Route("/away.html", HttpRoute::Redirect(login.Url("/login.html")));
  WriteBytes(env.Path("hosts-netrc"),
             "machine 127.0.0.2 login u password p:w\ndefault login u password p:w\n");
  const CliResult away =
      Run({"--stdout", "--netrc-file", env.Path("hosts-netrc"), server.Url("/away.html")});
  EXPECT_EQ(away.exit, 2) << away.err;
  ASSERT_GT(login.RequestCount(), 0u);
  for (const auto& request : login.Requests())
    EXPECT_EQ(request.headers.count("authorization"), 0u) << request.target;
}

// Ctrl-C at the password prompt: the terminal echoes again once the
// program has ended.
TEST_F(VimbelCli, CtrlCAtThePasswordPromptTurnsEchoBackOn) {
  HttpRoute guarded = HttpRoute::Page(200, kGallery);
  guarded.basicAuth = std::make_pair(std::string("u"), std::string("p"));
  server.Route("/guarded.html", guarded);
  int master = -1, slave = -1;
  ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  inputFd = slave;
  const pid_t pid = Start({"--user", "u", server.Url("/guarded.html")}, "", -1, slave);
  ASSERT_GT(pid, 0);
  std::string shown;
  char buffer[256];
  while (shown.find("パスワード ：") == std::string::npos) {
    pollfd p{master, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 10000), 1) << "no prompt: " << shown;
    const ssize_t n = ::read(master, buffer, sizeof buffer);
    ASSERT_GT(n, 0);
    shown.append(buffer, static_cast<size_t>(n));
  }
  ::usleep(100 * 1000);  // until the read waits
  ::kill(pid, SIGINT);
  EXPECT_EQ(Finish(pid).exit, 128 + SIGINT);
  termios mode{};
  ASSERT_EQ(::tcgetattr(slave, &mode), 0);
  EXPECT_TRUE(mode.c_lflag & ECHO);
  ::close(slave);
  ::close(master);
}

TEST_F(VimbelCli, APasswordGivenOnTheCommandLineLeavesTheProcessList) {
  HttpRoute stalled = HttpRoute::Page(200, std::string(4096, 'x'));
  stalled.cut = HttpRoute::Cut::kStall;
  stalled.cutAfter = 10;
  server.Route("/stalled.html", stalled);
  std::string a0 = VIMBEL_CLI_PATH, a1 = "--stdout", a2 = "--user", a3 = "me:s3cret",
              a4 = server.Url("/stalled.html");
  char* argv[] = {a0.data(), a1.data(), a2.data(), a3.data(), a4.data(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, VIMBEL_CLI_PATH, &actions, nullptr, argv, environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  // While the page stalls, the program is running with its arguments read.
  for (int i = 0; i < 200 && server.RequestCount("/stalled.html") == 0; ++i) ::usleep(10'000);
  const std::string cmdline = ReadBytes("/proc/" + std::to_string(pid) + "/cmdline");
  ::kill(pid, SIGKILL);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(Has(cmdline, std::string("me:") + std::string(6, '*'))) << cmdline;
  EXPECT_FALSE(Has(cmdline, "s3cret"));
}

// `{ echo a; vimbel-cli --stdout ...; echo b; } > f` keeps its order: the
// program writes where standard output stands and leaves it there.
TEST_F(VimbelCli, StdoutIsTheDescriptorAsGivenInTheScriptsOrder) {
  server.Route("/dir/page.html", HttpRoute::Page(200, kGallery));
  const std::string links = server.Url("/dir/photos/one.jpg") + "\r\n" + server.Url("/two.GIF") +
                            "\r\nhttp://elsewhere/three.jpeg\r\n";
  const std::string cli = std::string("'") + VIMBEL_CLI_PATH + "' --stdout --list '" +
                          server.Url("/dir/page.html") + "' </dev/null 2>/dev/null";
  const std::string file = env.Path("f"), piped = env.Path("piped");
  WriteBytes(file, "old contents, longer than a and b\n");
  const std::string script = "{ echo a; " + cli + "; echo b; } > '" + file + "'; { echo a; " + cli +
                             "; echo b; } | cat > '" + piped + "'";
  ASSERT_EQ(std::system(script.c_str()), 0);
  EXPECT_EQ(ReadBytes(file), "a\n" + links + "b\n");
  EXPECT_EQ(ReadBytes(piped), "a\n" + links + "b\n");
}

// What a terminal shows after `bytes`: a CR goes back to the line's start
// and ESC [ K erases the rest of it.
std::vector<std::string> Screen(const std::string& bytes) {
  std::vector<std::string> lines{""};
  size_t column = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::string& line = lines.back();
    if (bytes.compare(i, 3, "\x1b[K") == 0) {
      line.erase(column);
      i += 2;
    } else if (bytes[i] == '\r') {
      column = 0;
    } else if (bytes[i] == '\n') {
      lines.emplace_back();
      column = 0;
    } else {
      if (column < line.size())
        line[column] = bytes[i];
      else
        line.push_back(bytes[i]);
      ++column;
    }
  }
  return lines;
}

// Everything the other end of the pseudo-terminal `master` has been sent.
std::string Drain(int master) {
  std::string got;
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(master, buffer, sizeof buffer)) > 0)
    got.append(buffer, static_cast<size_t>(n));
  return got;
}

TEST_F(VimbelCli, OnATerminalControlBytesShowEscapedAndTheStatusLineGoes) {
  server.Route("/dir/page.html",
               HttpRoute::Page(200, "<a href=\"x\x1b]0;owned\x07y\x7f.jpg\">x</a>"));
  int outMaster, outSlave, errMaster, errSlave;
  ASSERT_EQ(::openpty(&outMaster, &outSlave, nullptr, nullptr, nullptr), 0);
  ASSERT_EQ(::openpty(&errMaster, &errSlave, nullptr, nullptr, nullptr), 0);
  const CliResult r =
      Run({"--stdout", "--list", server.Url("/dir/page.html")}, "", outSlave, errSlave);
  ::close(outSlave);
  ::close(errSlave);
  const std::string out = Drain(outMaster), err = Drain(errMaster);
  ::close(outMaster);
  ::close(errMaster);
  EXPECT_EQ(r.exit, 0) << err;
  EXPECT_TRUE(Has(out, server.Url("/dir/x\\x1B]0;owned\\x07y\\x7F.jpg"))) << out;
  EXPECT_FALSE(Has(out, "\x1b")) << "no control byte reaches the terminal";
  // The status line was drawn, and is gone once the run has ended.
  EXPECT_TRUE(Has(err, "\x1b[K")) << err;
  const std::vector<std::string> screen = Screen(err);
  for (const std::string& line : screen) {
    EXPECT_FALSE(Has(line, "ﾊﾞｲﾄ") || Has(line, "接続中") || Has(line, "Version")) << line;
  }
  EXPECT_TRUE(Has(err, "正常終了: 終了しました。")) << err;

  // To a file the link goes as the page spelled it.
  EXPECT_EQ(Run({"--stdout", "--list", server.Url("/dir/page.html")}).out,
            server.Url("/dir/x\x1b]0;owned\x07y\x7f.jpg") + "\r\n");
}

}  // namespace
}  // namespace net_tests

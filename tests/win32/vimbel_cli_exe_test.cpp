// vimbel-cli.exe from the outside, as a script on Windows starts it: the
// exit status, the output lines on redirected standard output, and the
// Japanese texts on redirected standard error as UTF-8 with CR LF.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/file_io.h"
#include "platform/file_system.h"
#include "platform/windows/wide_text.h"
#include "tests/net/net_fixture.h"
// Last: its macros would rename what the headers above declare.
#include "platform/windows/windows_api.h"

namespace net_tests {
namespace {

using platform::win32::Widen;
using test::HttpRoute;
using testing_support::ReadBytes;
using testing_support::WriteBytes;

// One argument as the C runtime splits the command line again: quoted,
// with the backslashes before a quote (and before the closing quote)
// doubled.
std::wstring Quoted(const std::wstring& arg) {
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (const wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    out.push_back(c);
  }
  out.append(2 * backslashes, L'\\');
  out.push_back(L'"');
  return out;
}

struct CliResult {
  int exit = -1;
  std::string out;
  std::string err;
};

class VimbelCliExe : public LoopbackTest {
 protected:
  CliResult Run(const std::vector<std::string>& args) { return Finish(Start(args)); }

  // Starts the program with `args`, its standard streams the files
  // "<name>stdin", "<name>stdout" and "<name>stderr"; a process without a
  // handle when it cannot be started.
  struct Started {
    PROCESS_INFORMATION process{};
    std::string name;
  };
  Started Start(const std::vector<std::string>& args, const std::string& name = "") {
    std::wstring line = Quoted(Widen(VIMBEL_CLI_PATH));
    for (const std::string& arg : args) line += L" " + Quoted(Widen(arg));
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    auto open = [&](const std::string& path, bool write) {
      return ::CreateFileW(Widen(path).c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                           write ? CREATE_ALWAYS : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    const HANDLE streams[] = {open(env.Path(name + "stdin"), false),
                              open(env.Path(name + "stdout"), true),
                              open(env.Path(name + "stderr"), true)};
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = streams[0];
    startup.hStdOutput = streams[1];
    startup.hStdError = streams[2];
    Started started;
    started.name = name;
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                          &startup, &started.process)) {
      ADD_FAILURE() << "cannot start " << VIMBEL_CLI_PATH;
      started.process = {};
    }
    for (const HANDLE stream : streams) ::CloseHandle(stream);
    return started;
  }

  CliResult Finish(const Started& started) {
    CliResult r;
    if (!started.process.hProcess) return r;
    ::WaitForSingleObject(started.process.hProcess, INFINITE);
    DWORD exit = 0;
    ::GetExitCodeProcess(started.process.hProcess, &exit);
    ::CloseHandle(started.process.hThread);
    ::CloseHandle(started.process.hProcess);
    r.exit = static_cast<int>(exit);
    r.out = ReadBytes(env.Path(started.name + "stdout"));
    r.err = ReadBytes(env.Path(started.name + "stderr"));
    return r;
  }
};

TEST_F(VimbelCliExe, ExitStatusOutputLinesAndMessagesAsOnLinux) {
  server.Route("/dir/page.html",
               HttpRoute::Page(200, "<a href=\"one.jpg\">1</a><a href=\"../two.zip\">2</a>\n"));
  const std::string refused =
      "http://127.0.0.1:" + std::to_string(test::UnusedLoopbackPort()) + "/";
  struct Case {
    std::vector<std::string> args;
    int exit;
    std::string out;
    std::string err;
  };
  const Case cases[] = {
      {{"--stdout", "--list", server.Url("/dir/page.html")},
       0,
       server.Url("/dir/one.jpg") + "\r\n",
       "正常終了: 終了しました。\r\n"},
      {{"--stdout", "--list", "--types", "archive", server.Url("/dir/page.html")},
       0,
       server.Url("/two.zip") + "\r\n",
       "正常終了: 終了しました。\r\n"},
      {{"--stdout", refused},
       2,
       "",
       "エラー: ｻｰﾊﾞｰに接続できませんでした。\r\nｻｰﾊﾞｰに接続を拒否されました。\r\n"},
      {{"--bogus"}, 64, "", "vimbel-cli: unknown option --bogus (see vimbel-cli --help)\r\n"},
      {{"--version"}, 0, "vimbel-cli Version1.03\r\n", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.back());
    const CliResult r = Run(c.args);
    EXPECT_EQ(r.exit, c.exit) << r.err;
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, c.err);
  }
}

// The netrc file as a Windows editor writes it answers the address's own
// host, and no host a redirect leads to, whatever entry it has for it.
TEST_F(VimbelCliExe, NetrcAnswersTheAddressHostOnly) {
  HttpRoute guarded = HttpRoute::Page(200, "<a href=\"one.jpg\">1</a>\n");
  guarded.basicAuth = std::make_pair(std::string("u"), std::string("p:w"));
  server.Route("/dir/guarded.html", guarded);
  test::HttpServer login;
  ASSERT_TRUE(login.Start("127.0.0.2"));
  login.Route("/login.html", guarded);
  server.Route("/away.html", HttpRoute::Redirect(login.Url("/login.html")));
  WriteBytes(env.Path("netrc"),
             "machine 127.0.0.1\r\n  login u\r\n  password \"p:w\"\r\n"
             "machine 127.0.0.2 login u password p:w\r\ndefault login u password p:w\r\n");

  CliResult r = Run(
      {"--stdout", "--list", "--netrc-file", env.Path("netrc"), server.Url("/dir/guarded.html")});
  EXPECT_EQ(r.exit, 0) << r.err;
  EXPECT_EQ(r.out, server.Url("/dir/one.jpg") + "\r\n");

  r = Run({"--stdout", "--list", "--netrc-file", env.Path("netrc"), server.Url("/away.html")});
  EXPECT_EQ(r.exit, 2) << r.err;
  ASSERT_GT(login.RequestCount(), 0u);
  for (const auto& request : login.Requests())
    EXPECT_EQ(request.headers.count("authorization"), 0u) << request.target;
}

// Two calls at once, each with scratch names of its own in the user's
// temporary folder, appending to one file: each waits for the other's
// whole append on the file's LockFileEx lock, so both sets of lines are
// there, each whole and together.
TEST_F(VimbelCliExe, TwoCallsAppendToOneFileInTurn) {
  auto page = [](const std::string& prefix, const std::string& base, std::string& lines) {
    std::string made;
    for (int i = 0; i < 50000; ++i) {
      const std::string name = prefix + std::to_string(1000000 + i) + ".jpg";
      made += "<a href=\"" + name + "\">x</a>\n";
      lines += base + name + "\r\n";
    }
    return made;
  };
  const std::string baseA = "http://a.example/", baseB = "http://b.example/";
  std::string linesA, linesB;
  WriteBytes(env.Path("a.html"), page("pa", baseA, linesA));
  WriteBytes(env.Path("b.html"), page("pb", baseB, linesB));
  const std::string output = env.HomeDir() + "vimbel.txt";
  const std::string before = "earlier.jpg\r\n", held = "held.jpg\r\n";
  WriteBytes(output, before);
  const std::string folder = *platform::TempFolder();
  auto scratchFiles = [&folder] {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(Widen(folder))) {
      const std::string name = entry.path().filename().string();
      if (name.find("vimbel") != std::string::npos) names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
  };

  // Held as another run holds it while it appends.
  const int other = platform::OpenOwnFileToAppend(output);
  ASSERT_GE(other, 0);
  ASSERT_EQ(platform::file_io::LockForAppend(other, [] { return false; }),
            platform::file_io::AppendLock::kLocked);
  const Started a = Start({"--list", "--types", "image", "--open", env.Path("a.html"), baseA}, "a");
  const Started b = Start({"--list", "--types", "image", "--open", env.Path("b.html"), baseB}, "b");
  // Each keeps its link list, named after its process, while it waits.
  const std::vector<std::string> waiting{
      "#vimbel-" + std::to_string(a.process.dwProcessId) + "-0#.tmp",
      "#vimbel-" + std::to_string(b.process.dwProcessId) + "-0#.tmp"};
  std::vector<std::string> expected = waiting;
  std::sort(expected.begin(), expected.end());
  for (int wait = 0; wait < 400 && scratchFiles() != expected; ++wait) ::Sleep(50);
  EXPECT_EQ(scratchFiles(), expected);
  ::Sleep(300);
  ASSERT_TRUE(platform::file_io::WriteAll(other, held));
  platform::file_io::UnlockForAppend(other);
  platform::file_io::Close(other);

  const CliResult ra = Finish(a), rb = Finish(b);
  EXPECT_EQ(ra.exit, 0) << ra.err;
  EXPECT_EQ(rb.exit, 0) << rb.err;
  const std::string after = ReadBytes(output);
  const bool aFirst = after.compare(before.size() + held.size(), baseA.size(), baseA) == 0;
  EXPECT_TRUE(after == before + held + (aFirst ? linesA + linesB : linesB + linesA))
      << after.size() << " bytes";
  EXPECT_EQ(scratchFiles(), std::vector<std::string>{});
}

}  // namespace
}  // namespace net_tests

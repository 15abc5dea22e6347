// vimbel-cli.exe from the outside, as a script on Windows starts it: the
// exit status, the output lines on redirected standard output, and the
// Japanese texts on redirected standard error as UTF-8 with CR LF.
#include <string>
#include <vector>

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
  CliResult Run(const std::vector<std::string>& args) {
    std::wstring line = Quoted(Widen(VIMBEL_CLI_PATH));
    for (const std::string& arg : args) line += L" " + Quoted(Widen(arg));
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    auto open = [&](const std::string& path, bool write) {
      return ::CreateFileW(Widen(path).c_str(), write ? GENERIC_WRITE : GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                           write ? CREATE_ALWAYS : OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    const HANDLE streams[] = {open(env.Path("stdin"), false), open(env.Path("stdout"), true),
                              open(env.Path("stderr"), true)};
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = streams[0];
    startup.hStdOutput = streams[1];
    startup.hStdError = streams[2];
    PROCESS_INFORMATION process{};
    const BOOL started = ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                          nullptr, &startup, &process);
    for (const HANDLE stream : streams) ::CloseHandle(stream);
    CliResult r;
    if (!started) {
      ADD_FAILURE() << "cannot start " << VIMBEL_CLI_PATH;
      return r;
    }
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exit = 0;
    ::GetExitCodeProcess(process.hProcess, &exit);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    r.exit = static_cast<int>(exit);
    r.out = ReadBytes(env.Path("stdout"));
    r.err = ReadBytes(env.Path("stderr"));
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

}  // namespace
}  // namespace net_tests

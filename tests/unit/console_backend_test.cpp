// The terminal backend: message lines, the status line, and the prompt a
// modal dialog becomes, with the terminal replaced by a pipe and a memory
// stream.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/console/console_backend.h"
#include "resources/dialog_templates.h"
#include "tests/support/test_environment.h"
#include "ui/password_dlg.h"

using namespace platform;
using platform::console::ConsoleBackend;
using platform::console::ConsoleStreams;

namespace {

// A console whose input is `typed` and whose output is kept in memory.
class FakeTerminal {
 public:
  FakeTerminal(const std::string& typed, bool inputIsTerminal, bool outIsTerminal) {
    int fds[2];
    if (pipe(fds) != 0) std::abort();
    m_readFd = fds[0];
    EXPECT_EQ(write(fds[1], typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
    close(fds[1]);
    m_out = open_memstream(&m_buf, &m_len);
    ConsoleStreams s;
    s.inputFd = m_readFd;
    s.out = m_out;
    s.inputIsTerminal = inputIsTerminal;
    s.outIsTerminal = outIsTerminal;
    m_console = std::make_unique<ConsoleBackend>(s);
    SetWindowBackend(m_console.get());
  }
  ~FakeTerminal() {
    SetWindowBackend(nullptr);
    m_console.reset();
    std::fclose(m_out);
    std::free(m_buf);
    close(m_readFd);
  }
  ConsoleBackend& Console() { return *m_console; }
  std::string Output() {
    std::fflush(m_out);
    return std::string(m_buf, m_len);
  }
  // What is left of the typed input.
  std::string Unread() {
    std::string rest;
    char c;
    while (read(m_readFd, &c, 1) == 1) rest.push_back(c);
    return rest;
  }

 private:
  int m_readFd = -1;
  std::FILE* m_out = nullptr;
  char* m_buf = nullptr;
  size_t m_len = 0;
  std::unique_ptr<ConsoleBackend> m_console;
};

}  // namespace

TEST(ConsoleBackend, MessageBoxIsOneCaptionAndTextLine) {
  FakeTerminal t("", false, false);
  t.Console().MessageBox(nullptr, "ｻｰﾊﾞｰに接続できませんでした。\nrefused", "エラー", MB_ICONERROR);
  t.Console().MessageBox(nullptr, "untitled", "", 0);
  EXPECT_EQ(t.Output(), "エラー: ｻｰﾊﾞｰに接続できませんでした。\nrefused\nvimbel: untitled\n");
}

TEST(ConsoleBackend, StatusLineOnlyOnATerminalUpdatedInPlace) {
  {
    FakeTerminal t("", false, false);
    t.Console().ShowStatus("接続中．．．");
    t.Console().ClearStatus();
    EXPECT_EQ(t.Output(), "");
  }
  FakeTerminal t("", false, true);
  t.Console().ShowStatus("接続中．．．");
  t.Console().ShowStatus("29 ﾊﾞｲﾄ(28%)");
  // A message first takes the status line away, so it starts on a clean line.
  t.Console().MessageBox(nullptr, "終了しました。", "正常終了", 0);
  EXPECT_EQ(t.Output(),
            "\r接続中．．．\x1b[K\r29 ﾊﾞｲﾄ(28%)\x1b[K\r\x1b[K正常終了: 終了しました。\n");
}

TEST(ConsoleBackend, EveryFieldOfTheCredentialsPromptHasItsLabel) {
  const DialogTemplate& t = resources::kPasswordDialog;
  const ControlTemplate* label = console::LabelOf(t, *t.Find(resources::IDC_EDIT_USERID));
  ASSERT_NE(label, nullptr);
  EXPECT_STREQ(label->caption, "ＩＤ ：");
  label = console::LabelOf(t, *t.Find(resources::IDC_EDIT_PASSWORD));
  ASSERT_NE(label, nullptr);
  EXPECT_STREQ(label->caption, "パスワード ：");
}

TEST(ConsoleBackend, CredentialsPromptAsksForEachFieldThenPressesOk) {
  testing_support::TestEnvironment env;
  FakeTerminal t("someone\r\np@ss:w/rd\nleft for later\n", true, true);
  CPasswordDlg dlg;
  EXPECT_EQ(dlg.DoModal(), IDOK);
  EXPECT_EQ(env.App().m_strUserId, "someone");
  EXPECT_EQ(env.App().m_strPassword, "p@ss:w/rd");
  const std::string out = t.Output();
  EXPECT_NE(
      out.find("パスワードの入力: ＩＤとパスワードを入力してください．\nＩＤ ：パスワード ："),
      std::string::npos)
      << out;
  EXPECT_EQ(out.find("p@ss"), std::string::npos) << "the password is never shown";
  // The prompt takes its two lines and nothing more from the input.
  EXPECT_EQ(t.Unread(), "left for later\n");
}

TEST(ConsoleBackend, PromptCountsAsCancelWithoutATerminalOrAtTheEndOfInput) {
  struct Case {
    const char* typed;
    bool terminal;
  };
  for (const Case c : {Case{"id\npw\n", false}, Case{"only-id\n", true}, Case{"", true}}) {
    testing_support::TestEnvironment env;
    env.App().m_strUserId = "earlier";
    FakeTerminal t(c.typed, c.terminal, false);
    CPasswordDlg dlg;
    EXPECT_EQ(dlg.DoModal(), IDCANCEL) << c.typed;
    EXPECT_EQ(env.App().m_strUserId, "earlier") << c.typed;
  }
}

// A password typed or pasted the moment its label shows is read, and never
// echoed: echo is off before the label is written, and nothing typed is
// thrown away when it goes off or comes back.
TEST(ConsoleBackend, APasswordTypedAsTheLabelShowsIsReadAndNeverShown) {
  int master = -1, slave = -1;
  ASSERT_EQ(::openpty(&master, &slave, nullptr, nullptr, nullptr), 0);
  std::FILE* out = ::fdopen(::dup(slave), "w");
  ASSERT_NE(out, nullptr);
  ConsoleStreams s;
  s.inputFd = slave;
  s.out = out;
  s.inputIsTerminal = s.outIsTerminal = true;
  ConsoleBackend console(s);
  const std::string label = "パスワード ：";
  for (int round = 0; round < 100; ++round) {
    SCOPED_TRACE(round);
    const std::string password = "pw" + std::to_string(round) + "x";
    std::string shown;
    std::atomic<bool> answered = false;
    std::thread typist([&] {
      // Types as soon as the label shows, then gathers what the terminal
      // shows until the prompt has returned; a prompt still waiting after
      // a second gets an empty line.
      char buffer[256];
      bool typed = false;
      for (int idle = 0;;) {
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, 10) <= 0) {
          if (answered) break;
          if (typed && ++idle == 100) (void)!::write(master, "\n", 1);
          continue;
        }
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0) break;
        shown.append(buffer, static_cast<size_t>(n));
        if (!typed && shown.find(label) != std::string::npos) {
          typed = true;
          (void)!::write(master, (password + "\n").data(), password.size() + 1);
        }
      }
    });
    const std::optional<std::string> got = console.AskHidden(label);
    answered = true;
    typist.join();
    EXPECT_EQ(got.value_or("(none)"), password);
    EXPECT_EQ(shown.find(password), std::string::npos) << shown;
    termios mode{};
    ASSERT_EQ(::tcgetattr(slave, &mode), 0);
    ASSERT_TRUE(mode.c_lflag & ECHO) << "echo is back after the prompt";
    if (HasFailure()) break;
  }
  std::fclose(out);
  ::close(slave);
  ::close(master);
}

// A file handed from a second start to the running window through the
// user's named pipe: what arrives, what is dropped, and how the window's
// message loop gets to it.
#include "platform/instance_handover.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/dialog.h"
#include "platform/instance_lock.h"
#include "platform/thread_start.h"
#include "platform/windows/wide_text.h"
#include "platform/win32/win32_backend.h"
#include "resources/dialog_templates.h"
#include "tests/support/test_environment.h"
#include "ui/harvest_dlg.h"
// Last: its macros would rename what the headers above declare.
#include "platform/windows/windows_api.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using platform::CDialog;
using platform::MessageMap;
using platform::win32::Widen;

// Waits for a handover and takes it, as the window's message loop would.
std::optional<std::string> AcceptWithin(platform::HandoverListener& listener, DWORD limitMs) {
  const auto event = reinterpret_cast<HANDLE>(listener.Handle());
  if (::WaitForSingleObject(event, limitMs) != WAIT_OBJECT_0) return std::nullopt;
  return listener.Accept();
}

TEST(InstanceHandover, AHandoverNobodyTakesInTimeIsDroppedAndTheNextOneArrives) {
  testing_support::TestEnvironment env;
  const auto start = Clock::now();
  EXPECT_FALSE(platform::HandOverFile("vimbel", "C:\\x.url")) << "no instance listens";
  EXPECT_LT(Clock::now() - start, 500ms);

  auto listener = platform::HandoverListener::Listen("vimbel");
  ASSERT_NE(listener, nullptr);
  // The instance is busy past the sender's wait: the sender gives up, and
  // the file is not opened when the instance gets to it later.
  EXPECT_FALSE(platform::HandOverFile("vimbel", "C:\\late.url", 200));
  EXPECT_EQ(listener->Accept(), std::nullopt);
  EXPECT_EQ(listener->Accept(), std::nullopt) << "nothing else waits";

  // The pipe takes the next sender, also one whose path outgrows its buffer.
  std::string longName;
  for (int i = 0; i < 2000; ++i) longName += "ア";
  const std::string given[] = {env.Path("sub/../画像 ｱ.url"), env.Path(longName + ".url")};
  const std::string arrives[] = {env.Path("画像 ｱ.url"), given[1]};
  for (int i = 0; i < 2; ++i) {
    auto sent = std::async(std::launch::async,
                           [&given, i] { return platform::HandOverFile("vimbel", given[i]); });
    EXPECT_EQ(AcceptWithin(*listener, 3000), arrives[i]);
    EXPECT_TRUE(sent.get()) << "acknowledged: " << i;
  }
}

constexpr UINT kBusy = 1;  // a command that works for long, polling for a stop
constexpr UINT kGiveUp = 2;

// A window watching the listener that is busy in a command when a handover
// comes: it takes nothing in during the command, and the handover once the
// command has ended.
class CWatchingDlg : public CDialog {
 public:
  explicit CWatchingDlg(platform::HandoverListener& listener)
      : CDialog(resources::kPasswordDialog), m_listener(listener) {}

  std::optional<std::string> m_taken;
  bool m_takenWhileBusy = false;
  std::future<bool> m_sent;

 protected:
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    Watch(m_listener.Handle(), [this] {
      m_takenWhileBusy = m_busy;
      m_taken = m_listener.Accept();
      EndDialog(IDOK);
    });
    SetTimer(kBusy, 10);
    SetTimer(kGiveUp, 10000);  // a handover that never comes fails the test, not the run
    return TRUE;
  }
  void OnTimer(UINT id) {
    if (id == kGiveUp) return EndDialog(IDCANCEL);
    KillTimer(kBusy);
    ::PostMessageW(::FindWindowW(L"#32770", Widen(resources::kPasswordDialog.caption).c_str()),
                   WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
  }
  void OnOK() override {
    m_busy = true;
    m_sent = std::async(std::launch::async,
                        [] { return platform::HandOverFile("vimbel", "C:\\ﾌｧｲﾙ.url"); });
    const ULONGLONG end = ::GetTickCount64() + 300;
    while (::GetTickCount64() < end) {
      PollStopRequest();
      ::Sleep(5);
    }
    m_busy = false;
  }
  const MessageMap& GetMessageMap() const override {
    static const MessageMap map{ON_WM_TIMER(&CWatchingDlg::OnTimer)};
    return map;
  }

 private:
  platform::HandoverListener& m_listener;
  bool m_busy = false;
};

// Also where no thread can be had to watch the pipe: the window looks at it
// itself then.
TEST(InstanceHandover, TheWindowTakesAHandoverOnceItsCommandHasEnded) {
  testing_support::TestEnvironment env;
  auto listener = platform::HandoverListener::Listen("vimbel");
  ASSERT_NE(listener, nullptr);
  platform::win32::Win32Backend backend;
  platform::SetWindowBackend(&backend);
  for (bool refused : {false, true}) {
    SCOPED_TRACE(refused ? "no thread" : "a thread");
    platform::RefuseThreadStartsForTest(refused);
    CWatchingDlg dlg(*listener);
    EXPECT_EQ(dlg.DoModal(), IDOK);
    platform::RefuseThreadStartsForTest(false);
    EXPECT_EQ(dlg.m_taken, "C:\\ﾌｧｲﾙ.url");
    EXPECT_FALSE(dlg.m_takenWhileBusy);
    ASSERT_TRUE(dlg.m_sent.valid());
    EXPECT_TRUE(dlg.m_sent.get());
  }
  platform::SetWindowBackend(nullptr);
}

// The visible top-level windows of `thread`.
std::vector<HWND> WindowsOf(DWORD thread) {
  std::vector<HWND> windows;
  ::EnumThreadWindows(
      thread,
      [](HWND window, LPARAM found) {
        if (::IsWindowVisible(window))
          reinterpret_cast<std::vector<HWND>*>(found)->push_back(window);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&windows));
  return windows;
}

// vimbel.exe started in `folder` with one argument; its exit status.
int RunProgram(const std::string& folder, const std::string& arg) {
  std::wstring line = L"\"" + Widen(VIMBEL_EXE_PATH) + L"\" \"" + Widen(arg) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        Widen(folder).c_str(), &startup, &process))
    return -1;
  const bool ended = ::WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0;
  DWORD status = 0;
  ::GetExitCodeProcess(process.hProcess, &status);
  if (!ended) ::TerminateProcess(process.hProcess, 1);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return ended ? static_cast<int>(status) : -1;
}

// The running main window; a second start of the real program names a file
// relative to its own folder, and the window opens it as a dropped file.
TEST(InstanceHandover, ASecondStartOfTheProgramHandsItsFileToTheMainWindow) {
  testing_support::TestEnvironment env;
  bool held = true;
  platform::InstanceLock* lock = platform::CreateInstanceLock("vimbel", &held);
  ASSERT_FALSE(held);
  const auto listener = platform::HandoverListener::Listen("vimbel");
  ASSERT_NE(listener, nullptr);
  testing_support::WriteBytes(env.Path("ページ ｱ.html"), "<a href=x.jpg>");

  platform::win32::Win32Backend backend;
  platform::SetWindowBackend(&backend);
  CHarvestDlg dlg;
  dlg.m_pHandover = listener.get();
  int status = -2;
  bool boxShown = false;
  std::thread secondStart([&env, &status, &boxShown, ui = ::GetCurrentThreadId()] {
    std::vector<HWND> windows;
    for (int i = 0; i < 200 && (windows = WindowsOf(ui)).empty(); ++i) ::Sleep(50);
    if (windows.empty()) return;
    const HWND window = windows.front();
    status = RunProgram(env.Dir(), "ページ ｱ.html");
    // Behind the handover, which the window took before it acknowledged it;
    // a message box it showed meanwhile is closed first.
    for (int i = 0; i < 50 && ::IsWindow(window); ++i) {
      for (HWND other : WindowsOf(ui)) {
        if (other == window) continue;
        boxShown = true;
        ::PostMessageW(other, WM_COMMAND, IDOK, 0);
      }
      ::PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
      ::Sleep(100);
    }
  });
  dlg.DoModal();
  secondStart.join();
  EXPECT_EQ(status, 0);
  EXPECT_FALSE(boxShown);
  EXPECT_EQ(dlg.m_strSourceFile, env.Path("ページ ｱ.html"));
  platform::SetWindowBackend(nullptr);
  platform::CloseInstanceLock(lock);
}

}  // namespace

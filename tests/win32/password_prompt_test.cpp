// A 401 answered through the real Win32 password dialog: a user on another
// thread finds the dialog, types into its fields and presses a button, as a
// person would; what the dialog stores reaches the server through WinINet.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/win32/win32_backend.h"
#include "platform/windows/wide_text.h"
#include "resources/dialog_templates.h"
#include "tests/support/http_server.h"
#include "tests/support/recording_engine.h"
#include "tests/support/test_environment.h"
#include "ui/password_dlg.h"
// Last: its macros would rename what the headers above declare.
#include "platform/windows/windows_api.h"

namespace {

using platform::win32::Widen;

// The engine of the window: its prompt is the real dialog.
class CDialogPromptEngine : public testing_support::RecordingEngine {
 public:
  using RecordingEngine::RecordingEngine;
  int RunCredentialsPrompt() override {
    CPasswordDlg dlg;
    return dlg.DoModal();
  }
};

// What the user does in the dialog, and what the user saw there.
struct UserAnswer {
  std::string userId;
  std::string password;
  int button;
};
struct Seen {
  int prompts = 0;
  bool fieldsEmpty = true;
  bool passwordHidden = true;
};

// Answers the password dialog each time it shows until `done`: the first
// time with `answer`, any later time with Cancel, so that a prompt shown
// again fails the test instead of waiting for ever.
void AnswerPrompts(const UserAnswer& answer, const std::atomic<bool>& done, Seen& seen) {
  const std::wstring caption = Widen(resources::kPasswordDialog.caption);
  while (!done) {
    HWND dialog = ::FindWindowW(L"#32770", caption.c_str());
    if (!dialog || !::IsWindowVisible(dialog)) {
      ::Sleep(20);
      continue;
    }
    HWND user = ::GetDlgItem(dialog, resources::IDC_EDIT_USERID);
    HWND password = ::GetDlgItem(dialog, resources::IDC_EDIT_PASSWORD);
    seen.fieldsEmpty = seen.fieldsEmpty && ::GetWindowTextLengthW(user) == 0 &&
                       ::GetWindowTextLengthW(password) == 0;
    seen.passwordHidden =
        seen.passwordHidden && (::GetWindowLongW(password, GWL_STYLE) & ES_PASSWORD) != 0;
    const int button = seen.prompts++ == 0 ? answer.button : IDCANCEL;
    ::SetWindowTextW(user, Widen(answer.userId).c_str());
    ::SetWindowTextW(password, Widen(answer.password).c_str());
    ::PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                   reinterpret_cast<LPARAM>(::GetDlgItem(dialog, button)));
    while (!done && ::IsWindow(dialog)) ::Sleep(20);  // until it has gone
  }
}

TEST(Win32PasswordPrompt, A401IsAnsweredThroughTheRealDialog) {
  struct Case {
    const char* name;
    UserAnswer answer;
    std::vector<int> attempts;  // DownloadPage's results, one per attempt
  };
  const Case cases[] = {
      {"OK", {"名前ｱ", "pa:ss word", IDOK}, {0, 1}},
      {"cancel", {"名前ｱ", "pa:ss word", IDCANCEL}, {2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing_support::TestEnvironment env;
    test::HttpServer server;
    ASSERT_TRUE(server.Start());
    test::HttpRoute guarded = test::HttpRoute::Page(200, "secret page");
    guarded.basicAuth = std::make_pair(std::string("名前ｱ"), std::string("pa:ss word"));
    server.Route("/page.html", guarded);

    platform::win32::Win32Backend backend;
    platform::SetWindowBackend(&backend);
    CDialogPromptEngine engine(env.App());
    Seen seen;
    std::atomic<bool> done = false;
    std::thread user(AnswerPrompts, std::cref(c.answer), std::cref(done), std::ref(seen));
    std::string url = server.Url("/page.html");
    std::vector<int> results;
    for (int attempt = 0, result = 0; result == 0 && attempt < 3; ++attempt) {
      result = engine.DownloadPage(url, env.Path("vimbel.tmp"), attempt);
      results.push_back(result);
    }
    done = true;
    user.join();
    platform::SetWindowBackend(nullptr);

    EXPECT_EQ(seen.prompts, 1);
    EXPECT_TRUE(seen.fieldsEmpty) << "the fields start empty";
    EXPECT_TRUE(seen.passwordHidden);
    EXPECT_EQ(results, c.attempts);
    EXPECT_TRUE(engine.Messages().empty());
    if (c.answer.button == IDOK) {
      EXPECT_EQ(server.LastRequest().headers["authorization"],
                "Basic " + test::BasicAuthorization("名前ｱ", "pa:ss word"));
      EXPECT_EQ(testing_support::ReadBytes(env.Path("vimbel.tmp")), "secret page");
    }
  }
}

}  // namespace

// The credentials prompt stores what was typed on OK, and nothing on Cancel.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "resources/dialog_templates.h"
#include "tests/support/headless_ui.h"
#include "tests/support/test_environment.h"
#include "ui/password_dlg.h"

using platform::IDCANCEL;
using platform::IDOK;
using platform::headless::HeadlessWindow;
using testing_support::HeadlessUi;
using testing_support::TestEnvironment;

namespace {

// One prompt: the user types `id` and `password`, then closes it with `close`.
int Prompt(HeadlessUi& ui, const std::string& id, const std::string& password,
           std::function<void(HeadlessWindow&)> close) {
  ui->ExpectModal(resources::IDD_PASSWORD, [&](HeadlessWindow& w) {
    EXPECT_EQ(w.GetItemText(resources::IDC_EDIT_USERID), "") << "fields start empty";
    EXPECT_EQ(w.GetItemText(resources::IDC_EDIT_PASSWORD), "");
    EXPECT_EQ(w.FocusItem(), resources::IDC_EDIT_USERID);
    w.Type(resources::IDC_EDIT_USERID, id);
    w.Type(resources::IDC_EDIT_PASSWORD, password);
    close(w);
  });
  CPasswordDlg dlg;
  return dlg.DoModal();
}

void Enter(HeadlessWindow& w) { w.PressEnter(); }
void Escape(HeadlessWindow& w) { w.PressEscape(); }
void ClickOk(HeadlessWindow& w) { w.Click(IDOK); }
void ClickCancel(HeadlessWindow& w) { w.Click(IDCANCEL); }

}  // namespace

TEST(PasswordDlg, OkStoresBothTextsExactlyAsTyped) {
  for (auto close : {Enter, ClickOk}) {
    TestEnvironment env;
    HeadlessUi ui;
    EXPECT_EQ(Prompt(ui, "user name", " p:a@s/s#word ", close), IDOK);
    EXPECT_EQ(env.App().m_strUserId, "user name");
    EXPECT_EQ(env.App().m_strPassword, " p:a@s/s#word ");
  }
}

TEST(PasswordDlg, CancelKeepsTheEarlierAnswer) {
  for (auto close : {Escape, ClickCancel}) {
    TestEnvironment env;
    HeadlessUi ui;
    ASSERT_EQ(Prompt(ui, "first", "secret", Enter), IDOK);
    EXPECT_EQ(Prompt(ui, "second", "other", close), IDCANCEL);
    EXPECT_EQ(env.App().m_strUserId, "first");
    EXPECT_EQ(env.App().m_strPassword, "secret");
  }
}

TEST(PasswordDlg, AnEmptyOkReplacesAnEarlierAnswerWithEmptyTexts) {
  TestEnvironment env;
  HeadlessUi ui;
  ASSERT_EQ(Prompt(ui, "first", "secret", Enter), IDOK);
  EXPECT_EQ(Prompt(ui, "", "", Enter), IDOK);
  EXPECT_EQ(env.App().m_strUserId, "");
  EXPECT_EQ(env.App().m_strPassword, "");
}

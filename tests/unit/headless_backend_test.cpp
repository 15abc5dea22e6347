// The headless backend plays the user for every program test, so its own
// faults would hide the program's: controls from the templates, Windows'
// click semantics, and answer queues that fail when misused.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/dialog.h"
#include "platform/headless/headless_backend.h"
#include "resources/dialog_templates.h"

using namespace platform;
using platform::headless::HeadlessBackend;
using platform::headless::HeadlessWindow;

namespace {

class CPlainDlg : public CDialog {
 public:
  explicit CPlainDlg(const DialogTemplate& t) : CDialog(t) {}
};

// A backend of its own, so the test can look at the problems it records.
struct Fixture {
  HeadlessBackend backend;
  Fixture() { SetWindowBackend(&backend); }
  ~Fixture() { SetWindowBackend(nullptr); }
};

bool Mentions(const std::vector<std::string>& problems, const std::string& what) {
  for (const auto& p : problems)
    if (p.find(what) != std::string::npos) return true;
  return false;
}

}  // namespace

TEST(HeadlessBackend, ControlsStartAsTheTemplateMakesThem) {
  Fixture f;
  CPlainDlg dlg(resources::kExtractSettingsDialog);
  auto w = f.backend.Open(dlg);
  EXPECT_EQ(w->GetItemText(resources::IDC_CHECK_EXTRA), "任意");
  EXPECT_FALSE(w->IsItemEnabled(resources::IDC_EDIT_EXTENT));  // starts disabled
  EXPECT_TRUE(w->IsItemEnabled(resources::IDC_EDIT_TIMES));
  EXPECT_EQ(w->GetCheck(resources::IDC_CHECK_IMAGE), BST_UNCHECKED);
  EXPECT_EQ(w->FocusItem(), IDOK);  // the first tab stop of this template
  EXPECT_TRUE(f.backend.Finish().empty());
}

TEST(HeadlessBackend, RadioGroupsEndWhereTheNextGroupStarts) {
  Fixture f;
  CPlainDlg dlg(resources::kMainDialog);
  auto w = f.backend.Open(dlg);
  dlg.CheckRadioButton(1001, 1002, 1001);
  dlg.CheckRadioButton(1013, 1014, 1013);
  w->Click(1014);
  EXPECT_EQ(w->GetCheck(1013), BST_UNCHECKED);
  EXPECT_EQ(w->GetCheck(1014), BST_CHECKED);
  EXPECT_EQ(w->GetCheck(1001), BST_CHECKED) << "the format group is another group";
  w->Click(1002);
  EXPECT_EQ(w->GetCheck(1001), BST_UNCHECKED);
  EXPECT_EQ(w->GetCheck(1014), BST_CHECKED);
  w->Click(1002);  // clicking the checked radio keeps it checked
  EXPECT_EQ(w->GetCheck(1002), BST_CHECKED);
  EXPECT_TRUE(f.backend.Finish().empty());
}

TEST(HeadlessBackend, CheckBoxesToggle) {
  Fixture f;
  CPlainDlg dlg(resources::kExtractSettingsDialog);
  auto w = f.backend.Open(dlg);
  w->Click(resources::IDC_CHECK_CLIP);
  EXPECT_EQ(w->GetCheck(resources::IDC_CHECK_CLIP), BST_CHECKED);
  w->Click(resources::IDC_CHECK_CLIP);
  EXPECT_EQ(w->GetCheck(resources::IDC_CHECK_CLIP), BST_UNCHECKED);
}

TEST(HeadlessBackend, ImpossibleUserActionsAreProblems) {
  struct Case {
    const char* what;
    std::function<bool(HeadlessWindow&)> act;
    const char* problem;
  };
  const std::vector<Case> cases{
      {"typing into a disabled edit", [](HeadlessWindow& w) { return w.Type(1000, "x"); },
       "disabled"},
      {"clicking a control that is not there", [](HeadlessWindow& w) { return w.Click(4242); },
       "no dialog"},
      {"typing into a check box", [](HeadlessWindow& w) { return w.Type(1006, "x"); },
       "not an edit"},
      {"firing a timer that does not run", [](HeadlessWindow& w) { return w.FireTimer(1752); },
       "not running"},
      {"dropping on a window that takes no drops",
       [](HeadlessWindow& w) { return w.DropFiles({"/x"}); }, "accepts no dropped files"},
  };
  for (const auto& c : cases) {
    Fixture f;
    CPlainDlg dlg(resources::kExtractSettingsDialog);
    auto w = f.backend.Open(dlg);
    EXPECT_FALSE(c.act(*w)) << c.what;
    EXPECT_TRUE(Mentions(f.backend.Finish(), c.problem)) << c.what;
  }
}

TEST(HeadlessBackend, TheCredentialsPromptHasNoCloseBox) {
  Fixture f;
  CPlainDlg dlg(resources::kPasswordDialog);
  auto w = f.backend.Open(dlg);
  EXPECT_FALSE(w->PressCloseBox());
  EXPECT_FALSE(w->Ended());
  EXPECT_TRUE(Mentions(f.backend.Finish(), "no close box"));
}

TEST(HeadlessBackend, MessageBoxesAreAnsweredInOrderAndLeftoversFail) {
  Fixture f;
  f.backend.AnswerMessageBox(IDOK);
  f.backend.AnswerMessageBox(IDCANCEL);
  f.backend.AnswerMessageBox(IDOK);
  EXPECT_EQ(f.backend.MessageBox(nullptr, "a", "c", MB_ICONERROR), IDOK);
  EXPECT_EQ(f.backend.MessageBox(nullptr, "b", "", 0), IDCANCEL);
  ASSERT_EQ(f.backend.MessageBoxes().size(), 2u);
  EXPECT_EQ(f.backend.MessageBoxes()[1].caption, "vimbel");
  EXPECT_TRUE(Mentions(f.backend.Finish(), "1 message box answer(s) left over"));
  // Finish() empties the queues: a second look finds nothing more.
  EXPECT_TRUE(f.backend.Finish().empty());
}

TEST(HeadlessBackend, AMessageBoxNobodyExpectedFails) {
  Fixture f;
  EXPECT_EQ(f.backend.MessageBox(nullptr, "surprise", "エラー", MB_ICONERROR), IDOK);
  EXPECT_TRUE(Mentions(f.backend.Finish(), "unexpected message box \"エラー: surprise\""));
}

TEST(HeadlessBackend, ModalRunsNeedTheirUserAndTheUserMustEndThem) {
  {
    Fixture f;
    CPlainDlg dlg(resources::kPasswordDialog);
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_TRUE(Mentions(f.backend.Finish(), "no user expected"));
  }
  {
    Fixture f;
    CPlainDlg dlg(resources::kPasswordDialog);
    f.backend.ExpectModal(130, [](HeadlessWindow& w) { w.Type(1000, "id"); });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_TRUE(Mentions(f.backend.Finish(), "left dialog 130 open"));
  }
  {
    Fixture f;
    f.backend.ExpectModal(130, [](HeadlessWindow& w) { w.PressEnter(); });
    EXPECT_TRUE(Mentions(f.backend.Finish(), "1 modal run(s) of dialog 130 expected"));
  }
}

TEST(HeadlessBackend, TheMainWindowsTimersTickWhileASubDialogIsOpen) {
  Fixture f;
  struct CTicking : CDialog {
    CTicking() : CDialog(resources::kMainDialog) {}
    int ticks = 0;
    void OnTimer(UINT) { ++ticks; }
    const MessageMap& GetMessageMap() const override {
      static const MessageMap map{ON_WM_TIMER(&CTicking::OnTimer)};
      return map;
    }
  } main;
  auto mainWindow = f.backend.Open(main);
  main.SetTimer(1752, 1000);
  CPlainDlg sub(resources::kExtractSettingsDialog);
  f.backend.ExpectModal(129, [&](HeadlessWindow& w) {
    EXPECT_EQ(f.backend.ActiveWindow(), &w);
    mainWindow->FireTimer(1752);
    w.PressEscape();
  });
  EXPECT_EQ(sub.DoModal(), IDCANCEL);
  EXPECT_EQ(main.ticks, 1);
  EXPECT_EQ(f.backend.ActiveWindow(), mainWindow.get());
  EXPECT_TRUE(f.backend.Finish().empty());
}

TEST(HeadlessBackend, FolderBrowserRecordsItsRequestAndAnswersFromTheQueue) {
  Fixture f;
  f.backend.AnswerFolderBrowser(std::string("/home/u/pics"));
  FolderBrowseRequest req;
  req.title = "現在のｾｰﾌﾞﾌｫﾙﾀﾞ\n/home/u";
  req.onInitialized = [](IFolderBrowser& b) {
    const std::string folder = "/home/u";
    b.SelectFolder(&folder);
    b.SelectFolder(nullptr);
  };
  EXPECT_EQ(f.backend.BrowseForFolder(req), "/home/u/pics");
  ASSERT_EQ(f.backend.FolderBrowses().size(), 1u);
  EXPECT_EQ(f.backend.FolderBrowses()[0].selections,
            (std::vector<std::optional<std::string>>{"/home/u", std::nullopt}));
  EXPECT_EQ(f.backend.BrowseForFolder(req), std::nullopt);
  EXPECT_TRUE(Mentions(f.backend.Finish(), "unexpected folder browser"));
}

TEST(HeadlessBackend, StatusHistoryKeepsEveryTextTheProgramSet) {
  Fixture f;
  CPlainDlg dlg(resources::kMainDialog);
  auto w = f.backend.Open(dlg);
  dlg.SetDlgItemText(1012, "接続中．．．");
  dlg.SetDlgItemText(1012, "読み込み中");
  w->Type(1000, "typed by the user");
  EXPECT_EQ(w->TextHistory(1012), (std::vector<std::string>{"接続中．．．", "読み込み中"}));
  EXPECT_TRUE(w->TextHistory(1000).empty());
}

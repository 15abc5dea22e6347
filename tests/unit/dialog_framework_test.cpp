// The neutral dialog framework: message-map dispatch, the default OK and
// Cancel handling, data exchange, drops and message boxes, driven through
// the headless backend.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "platform/dialog.h"
#include "resources/dialog_templates.h"
#include "tests/support/headless_ui.h"

using namespace platform;
using testing_support::HeadlessUi;

namespace {

constexpr std::array kControls{
    ControlTemplate{1000, ControlKind::Edit, "", kBorder | kTabStop, 0, 0, 10, 10},
    ControlTemplate{1001, ControlKind::AutoRadioButton, "a", kGroup | kTabStop, 0, 0, 10, 10},
    ControlTemplate{1002, ControlKind::AutoRadioButton, "b", 0, 0, 0, 10, 10},
    ControlTemplate{1003, ControlKind::PushButton, "c", kTabStop, 0, 0, 10, 10},
    ControlTemplate{1004, ControlKind::PushButton, "d", kTabStop, 0, 0, 10, 10},
    ControlTemplate{IDOK, ControlKind::DefPushButton, "OK", kTabStop, 0, 0, 10, 10},
    ControlTemplate{IDCANCEL, ControlKind::PushButton, "Cancel", kTabStop, 0, 0, 10, 10},
};
const DialogTemplate kTestTemplate{
    900, "test", kCaption | kSysMenu | kAcceptFiles, "font", 9, 100, 100, kControls};

// Records what its handlers saw.
class CProbeDlg : public CDialog {
 public:
  explicit CProbeDlg(bool mapOk = false) : CDialog(kTestTemplate), m_mapOk(mapOk) {}

  std::vector<std::string> calls;
  CEdit m_edit;
  bool releaseDrop = true;
  int exchanges = 0;

  void OnButton() { calls.push_back("button"); }
  void OnRange(UINT id) { calls.push_back("range " + std::to_string(id)); }
  void OnTimer(UINT id) { calls.push_back("timer " + std::to_string(id)); }
  void OnPaint() { calls.push_back("paint"); }
  void OnDrop(HDROP drop) {
    calls.push_back("drop " + std::to_string(DragQueryFile(drop, kDragQueryCount, nullptr, 0)));
    if (releaseDrop) DragFinish(drop);
  }
  void OnMappedOk() { calls.push_back("mapped ok"); }

 protected:
  void DoDataExchange(CDataExchange* pDX) override {
    ++exchanges;
    DDX_Control(pDX, 1000, m_edit);
  }
  const MessageMap& GetMessageMap() const override {
    // 1003 stands before the range that also covers it: the first entry wins.
    static const MessageMap map{
        ON_WM_PAINT(&CProbeDlg::OnPaint),
        ON_COMMAND(1003, &CProbeDlg::OnButton),
        ON_COMMAND_RANGE(1001, 1004, &CProbeDlg::OnRange),
        ON_WM_TIMER(&CProbeDlg::OnTimer),
        ON_WM_DROPFILES(&CProbeDlg::OnDrop),
    };
    static const MessageMap withOk = [] {
      MessageMap m = map;
      m.push_back(ON_COMMAND(IDOK, &CProbeDlg::OnMappedOk));
      return m;
    }();
    return m_mapOk ? withOk : map;
  }

 private:
  bool m_mapOk;
};

class CBareDlg : public CDialog {
 public:
  CBareDlg() : CDialog(kTestTemplate) {}
};

}  // namespace

TEST(DialogFramework, CommandsReachTheirEntryFirstMatchWinsAndRangesGetTheId) {
  HeadlessUi ui;
  CProbeDlg dlg;
  auto w = ui->Open(dlg);
  w->Click(1003);
  w->Click(1004);
  w->Click(1002);  // a radio: checks itself, then its command
  EXPECT_EQ(dlg.calls, (std::vector<std::string>{"button", "range 1004", "range 1002"}));
  EXPECT_FALSE(w->Ended());
}

TEST(DialogFramework, OkAndCancelWithoutMapEntriesEndTheDialog) {
  struct Case {
    bool enter;
    int result;
  };
  for (const Case c : {Case{true, IDOK}, Case{false, IDCANCEL}}) {
    HeadlessUi ui;
    CProbeDlg dlg;
    auto w = ui->Open(dlg);
    c.enter ? w->PressEnter() : w->PressEscape();
    EXPECT_TRUE(w->Ended());
    EXPECT_EQ(w->Result(), c.result);
  }
}

TEST(DialogFramework, MappedOkReplacesTheDefaultAndKeepsTheDialogOpen) {
  HeadlessUi ui;
  CProbeDlg dlg(/*mapOk=*/true);
  auto w = ui->Open(dlg);
  w->PressEnter();
  EXPECT_EQ(dlg.calls, std::vector<std::string>{"mapped ok"});
  EXPECT_FALSE(w->Ended());
}

TEST(DialogFramework, InitialisationBindsThroughDataExchange) {
  HeadlessUi ui;
  CProbeDlg dlg;
  EXPECT_FALSE(dlg.m_edit.IsBound());
  auto w = ui->Open(dlg);
  EXPECT_TRUE(dlg.m_edit.IsBound());
  EXPECT_EQ(dlg.exchanges, 1);
  w->Type(1000, "http://a/b/");
  EXPECT_EQ(dlg.m_edit.GetWindowText(), "http://a/b/");
  EXPECT_EQ(dlg.m_edit.GetWindowTextLength(), 11);
  dlg.m_edit.EnableWindow(false);
  EXPECT_FALSE(w->IsItemEnabled(1000));
  // OK runs the exchange once more before it ends the dialog.
  w->PressEnter();
  EXPECT_EQ(dlg.exchanges, 2);
}

TEST(DialogFramework, TimersDropsAndPaintGoThroughTheMap) {
  HeadlessUi ui;
  CProbeDlg dlg;
  auto w = ui->Open(dlg);
  dlg.SetTimer(1752, 1000);
  EXPECT_EQ(w->TimerPeriod(1752), 1000u);
  w->FireTimer(1752);
  dlg.KillTimer(1752);
  EXPECT_FALSE(w->HasTimer(1752));
  w->DropFiles({"/a", "/b"});
  w->Paint();
  EXPECT_EQ(dlg.calls, (std::vector<std::string>{"timer 1752", "drop 2", "paint"}));
}

TEST(DialogFramework, AnUnhandledDropIsReleasedByTheFramework) {
  CBareDlg dlg;
  CDropFiles drop({"/x"});
  dlg.DispatchDropFiles(&drop);
  EXPECT_TRUE(drop.Finished());
}

TEST(DialogFramework, DragQueryFileCountsAndCopiesWithinTheBuffer) {
  CDropFiles drop({"/tmp/page.html", "/b"});
  EXPECT_EQ(DragQueryFile(&drop, kDragQueryCount, nullptr, 0), 2u);
  EXPECT_EQ(DragQueryFile(&drop, 0, nullptr, 0), 14u);
  char small[5];
  EXPECT_EQ(DragQueryFile(&drop, 0, small, sizeof small), 4u);
  EXPECT_STREQ(small, "/tmp");
  char big[64];
  EXPECT_EQ(DragQueryFile(&drop, 1, big, sizeof big), 2u);
  EXPECT_STREQ(big, "/b");
  EXPECT_EQ(DragQueryFile(&drop, 2, big, sizeof big), 0u);
}

TEST(DialogFramework, DoModalWithoutBackendFailsAndControlOpsAreInert) {
  platform::SetWindowBackend(nullptr);
  CProbeDlg dlg;
  EXPECT_EQ(dlg.DoModal(), -1);
  dlg.SetDlgItemText(1000, "x");
  EXPECT_EQ(dlg.GetDlgItemText(1000), "");
  EXPECT_FALSE(dlg.IsDlgItemEnabled(1000));
}

TEST(DialogFramework, CheckRadioButtonChecksOneAndClearsTheRest) {
  HeadlessUi ui;
  CProbeDlg dlg;
  auto w = ui->Open(dlg);
  dlg.CheckRadioButton(1001, 1002, 1001);
  EXPECT_EQ(dlg.IsDlgButtonChecked(1001), BST_CHECKED);
  dlg.CheckRadioButton(1001, 1002, 1002);
  EXPECT_EQ(dlg.IsDlgButtonChecked(1001), BST_UNCHECKED);
  EXPECT_EQ(dlg.IsDlgButtonChecked(1002), BST_CHECKED);
}

TEST(DialogFramework, UntitledMessageBoxesCarryTheProgramsName) {
  HeadlessUi ui;
  CProbeDlg dlg;
  auto w = ui->Open(dlg);
  ui->AnswerMessageBox();
  ui->AnswerMessageBox();
  dlg.MessageBox("no caption", {}, MB_ICONERROR);
  dlg.MessageBox("text", "エラー", MB_ICONWARNING);
  ASSERT_EQ(ui->MessageBoxes().size(), 2u);
  EXPECT_EQ(ui->MessageBoxes()[0].caption, "vimbel");
  EXPECT_EQ(ui->MessageBoxes()[0].Icon(), MB_ICONERROR);
  EXPECT_EQ(ui->MessageBoxes()[0].ownerTemplateId, 900);
  EXPECT_EQ(ui->MessageBoxes()[1].caption, "エラー");
}

TEST(DialogFramework, ModalRunReturnsTheEndDialogValue) {
  HeadlessUi ui;
  CProbeDlg dlg;
  ui->ExpectModal(900, [&](platform::headless::HeadlessWindow& w) {
    EXPECT_EQ(w.FocusItem(), 1000);  // the first tab stop
    dlg.EndDialog(7);
    dlg.EndDialog(8);  // the first end wins
  });
  EXPECT_EQ(dlg.DoModal(), 7);
  EXPECT_FALSE(dlg.HasWindow());
  EXPECT_EQ(ui->ModalRuns(), std::vector<int>{900});
}

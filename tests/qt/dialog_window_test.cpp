// The Qt backend builds every control of every template where the template
// puts it, and follows the dialog manager's rules for keys, groups, timers,
// drops and message boxes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include "platform/qt/dialog_font.h"
#include "resources/dialog_templates.h"
#include "tests/qt/qt_test_support.h"
#include "tests/support/test_environment.h"

using namespace platform;
using namespace qt_test;
using namespace resources;

namespace {

const char* KindName(QWidget* w) {
  if (qobject_cast<QLineEdit*>(w)) return "edit";
  if (qobject_cast<QRadioButton*>(w)) return "radio";
  if (qobject_cast<QCheckBox*>(w)) return "check";
  if (qobject_cast<QPushButton*>(w)) return "button";
  if (qobject_cast<QGroupBox*>(w)) return "group";
  if (qobject_cast<QLabel*>(w)) return "static";
  return "?";
}

const char* KindName(ControlKind kind) {
  switch (kind) {
    case ControlKind::Edit:
      return "edit";
    case ControlKind::PushButton:
    case ControlKind::DefPushButton:
      return "button";
    case ControlKind::AutoRadioButton:
      return "radio";
    case ControlKind::AutoCheckBox:
      return "check";
    case ControlKind::GroupBox:
      return "group";
    case ControlKind::Static:
      return "static";
  }
  return "";
}

QString Caption(QWidget* w) {
  if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
  if (auto* b = qobject_cast<QAbstractButton*>(w)) return b->text();
  if (auto* g = qobject_cast<QGroupBox*>(w)) return g->title();
  if (auto* l = qobject_cast<QLabel*>(w)) return l->text();
  return {};
}

struct TemplateCase {
  const char* name;
  const DialogTemplate* tpl;
  // The name stands in the test's name, so that it reads the same in every
  // run (ctest names each case after the printed value).
  friend void PrintTo(const TemplateCase& c, std::ostream* os) { *os << c.name; }
};

class QtDialogTest : public testing::TestWithParam<TemplateCase> {
 protected:
  testing_support::TestEnvironment env;
};

TEST_P(QtDialogTest, BuildsEveryControlFromItsTemplate) {
  const DialogTemplate& tpl = *GetParam().tpl;
  CDialog dlg(tpl);
  const int result = RunDialog(dlg, [&](DialogWindow& w) {
    const qt::BaseUnits units = w.Units();
    if (qt::SubstituteFamily(QString::fromUtf8(tpl.fontName)) == QStringLiteral("IPAPGothic")) {
      EXPECT_EQ(units.cx, 7);
      EXPECT_EQ(units.cy, 13);
    }
    EXPECT_EQ(w.windowTitle(), QString::fromUtf8(tpl.caption));
    EXPECT_EQ(w.size(), qt::DialogUnitsToPixels(units, 0, 0, tpl.cx, tpl.cy).size());
    EXPECT_EQ(w.minimumSize(), w.maximumSize()) << "a dialog frame does not resize";

    for (std::size_t i = 0; i < tpl.controls.size(); ++i) {
      const ControlTemplate& c = tpl.controls[i];
      SCOPED_TRACE(testing::Message() << "control " << i << " id " << c.id);
      QWidget* widget = w.ControlAt(i);
      ASSERT_NE(widget, nullptr);
      if (c.id != IDC_STATIC) {
        EXPECT_EQ(w.Control(c.id), widget);
      }
      EXPECT_STREQ(KindName(widget), KindName(c.kind));
      EXPECT_EQ(Caption(widget), QString::fromUtf8(c.caption));
      const QRect placed = qt::DialogUnitsToPixels(units, c.x, c.y, c.cx, c.cy);
      if (c.kind == ControlKind::AutoCheckBox || c.kind == ControlKind::AutoRadioButton) {
        // A caption wider than its box may take room up to the dialog's edge.
        EXPECT_EQ(widget->geometry().topLeft(), placed.topLeft());
        EXPECT_EQ(widget->height(), placed.height());
        EXPECT_GE(widget->width(), placed.width());
        EXPECT_LE(widget->geometry().right(), w.width() - 1);
        if (widget->width() > placed.width()) {
          EXPECT_GT(widget->fontMetrics().horizontalAdvance(Caption(widget).remove(u'&')) + 18,
                    placed.width());
        }
      } else {
        EXPECT_EQ(widget->geometry(), placed);
      }
      EXPECT_EQ(widget->isEnabled(), (c.style & kDisabled) == 0);
      if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        EXPECT_EQ(edit->echoMode() == QLineEdit::Password, (c.style & kPassword) != 0);
        EXPECT_EQ((edit->alignment() & Qt::AlignRight) != 0, (c.style & kAlignRight) != 0);
      }
      if (auto* button = qobject_cast<QPushButton*>(widget)) {
        EXPECT_EQ(button->isDefault(), c.kind == ControlKind::DefPushButton);
      }
      if (auto* check = qobject_cast<QAbstractButton*>(widget); check && check->isCheckable()) {
        EXPECT_FALSE(check->isChecked());
      }
      if (auto* label = qobject_cast<QLabel*>(widget)) {
        EXPECT_EQ(label->frameShape() != QFrame::NoFrame, (c.style & kStaticEdge) != 0);
        EXPECT_EQ((label->alignment() & Qt::AlignHCenter) != 0, (c.style & kCenter) != 0);
        EXPECT_EQ((label->alignment() & Qt::AlignVCenter) != 0, (c.style & kCenterImage) != 0);
      }
    }
    // Group boxes lie behind every control they frame.
    const auto children = w.children();
    for (std::size_t i = 0; i < tpl.controls.size(); ++i) {
      if (tpl.controls[i].kind != ControlKind::GroupBox) continue;
      const auto at = children.indexOf(w.ControlAt(i));
      for (std::size_t j = 0; j < tpl.controls.size(); ++j) {
        if (tpl.controls[j].kind == ControlKind::GroupBox) continue;
        EXPECT_LT(at, children.indexOf(w.ControlAt(j)))
            << "group box " << i << " above control " << j;
      }
    }

    const Qt::WindowFlags flags = w.windowFlags();
    EXPECT_EQ(flags.testFlag(Qt::WindowCloseButtonHint), (tpl.style & kSysMenu) != 0);
    EXPECT_EQ(flags.testFlag(Qt::WindowMinimizeButtonHint), (tpl.style & kMinimizeBox) != 0);
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_EQ((flags & Qt::WindowType_Mask) == Qt::Tool, (tpl.style & kToolWindow) != 0);
    EXPECT_EQ(w.acceptDrops(), (tpl.style & kAcceptFiles) != 0);
    PressKey(&w, Qt::Key_Escape);
  });
  EXPECT_EQ(result, IDCANCEL);
}

INSTANTIATE_TEST_SUITE_P(AllTemplates, QtDialogTest,
                         testing::Values(TemplateCase{"MainDialog", &kMainDialog},
                                         TemplateCase{"ExtractSettings", &kExtractSettingsDialog},
                                         TemplateCase{"Password", &kPasswordDialog}));

// A dialog that records what reaches its message map.
class CRecordingDlg : public CDialog {
 public:
  explicit CRecordingDlg(const DialogTemplate& tpl) : CDialog(tpl) {}
  std::vector<int> commands;
  std::vector<UINT> ticks;
  std::vector<std::vector<std::string>> drops;
  bool finishDrops = true;

  std::function<void()> onCommand;

  void OnCommand(UINT id) {
    commands.push_back(static_cast<int>(id));
    if (onCommand) onCommand();
  }
  void OnTimer(UINT id) { ticks.push_back(id); }
  void OnDropFiles(HDROP drop) {
    drops.push_back(drop->Paths());
    if (finishDrops) DragFinish(drop);
  }

 protected:
  const MessageMap& GetMessageMap() const override {
    static const MessageMap map = {
        ON_COMMAND_RANGE(1000, 1999, &CRecordingDlg::OnCommand),
        ON_WM_TIMER(&CRecordingDlg::OnTimer),
        ON_WM_DROPFILES(&CRecordingDlg::OnDropFiles),
    };
    return map;
  }
};

TEST(QtDialogRules, EnterPressesTheDefaultButtonAndTheCloseBoxCancels) {
  testing_support::TestEnvironment env;
  struct Case {
    const char* name;
    std::function<void(DialogWindow&)> act;
    int result;
  };
  const std::vector<Case> cases = {
      {"Enter in the first field",
       [](DialogWindow& w) { PressKey(w.Control(IDC_EDIT_USERID), Qt::Key_Return); }, IDOK},
      {"keypad Enter",
       [](DialogWindow& w) {
         PressKey(w.Control(IDC_EDIT_PASSWORD), Qt::Key_Enter, Qt::KeypadModifier);
       },
       IDOK},
      {"Escape", [](DialogWindow& w) { PressKey(w.Control(IDC_EDIT_USERID), Qt::Key_Escape); },
       IDCANCEL},
      {"the close box", [](DialogWindow& w) { w.close(); }, IDCANCEL},
      {"the Cancel button", [](DialogWindow& w) { Click(w.Control(IDCANCEL)); }, IDCANCEL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CDialog dlg(resources::kPasswordDialog);
    EXPECT_EQ(RunDialog(dlg, c.act), c.result);
    EXPECT_FALSE(dlg.HasWindow());
  }
}

TEST(QtDialogRules, AutoRadiosKeepToTheirGroupAndSendTheirCommand) {
  testing_support::TestEnvironment env;
  CRecordingDlg dlg(resources::kMainDialog);
  RunDialog(dlg, [&](DialogWindow& w) {
    dlg.CheckRadioButton(IDC_RADIO_URLNAME, IDC_RADIO_APPEND, IDC_RADIO_APPEND);
    dlg.CheckRadioButton(IDC_RADIO_HTML, IDC_RADIO_LIST, IDC_RADIO_HTML);
    Click(w.Control(IDC_RADIO_URLNAME));
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_RADIO_URLNAME), BST_CHECKED);
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_RADIO_APPEND), BST_UNCHECKED);
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_RADIO_HTML), BST_CHECKED)
        << "the other group is untouched";
    Click(w.Control(IDC_RADIO_URLNAME));  // a checked radio stays checked
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_RADIO_URLNAME), BST_CHECKED);
    Click(w.Control(IDC_RADIO_LIST));
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_RADIO_HTML), BST_UNCHECKED);
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_RADIO_URLNAME), BST_CHECKED);
    // The arrow keys move within the group and click the radio they reach.
    w.Control(IDC_RADIO_URLNAME)->setFocus();
    PressKey(w.Control(IDC_RADIO_URLNAME), Qt::Key_Down);
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_RADIO_APPEND), BST_CHECKED);
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_RADIO_URLNAME), BST_UNCHECKED);
    // A disabled radio is not clicked.
    dlg.EnableDlgItem(IDC_RADIO_HTML, false);
    Click(w.Control(IDC_RADIO_HTML));
    EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_RADIO_HTML), BST_UNCHECKED);
    PressKey(&w, Qt::Key_Escape);
  });
  EXPECT_EQ(dlg.commands, (std::vector<int>{IDC_RADIO_URLNAME, IDC_RADIO_URLNAME, IDC_RADIO_LIST,
                                            IDC_RADIO_APPEND}));
}

TEST(QtDialogRules, TabFollowsTheTemplateAndEntersARadioGroupAtItsCheckedRadio) {
  testing_support::TestEnvironment env;
  CRecordingDlg dlg(resources::kMainDialog);
  std::vector<int> order;
  RunDialog(dlg, [&](DialogWindow& w) {
    dlg.CheckRadioButton(IDC_RADIO_URLNAME, IDC_RADIO_APPEND, IDC_RADIO_APPEND);
    dlg.CheckRadioButton(IDC_RADIO_HTML, IDC_RADIO_LIST, IDC_RADIO_LIST);
    w.activateWindow();
    w.Control(IDC_EDIT_URL)->setFocus();
    for (int i = 0; i < 6; ++i) {
      PressKey(QApplication::focusWidget() ? QApplication::focusWidget() : &w, Qt::Key_Tab);
      QWidget* focus = w.focusWidget();
      order.push_back(focus ? focus->objectName().mid(7).toInt() : 0);
    }
    PressKey(w.focusWidget(), Qt::Key_Backtab);
    order.push_back(w.focusWidget()->objectName().mid(7).toInt());
    PressKey(&w, Qt::Key_Escape);
  });
  EXPECT_EQ(order, (std::vector<int>{IDC_RADIO_APPEND, IDC_RADIO_LIST, IDC_BUTTON_EXTENDED,
                                     IDC_BUTTON_SAVEFOLDER, IDOK, IDC_EDIT_URL, IDOK}));
}

TEST(QtDialogRules, MessageBoxesCarryTheirIconAndTheProgramsNameAndBelongToTheDialog) {
  testing_support::TestEnvironment env;
  struct Case {
    UINT type;
    const char* caption;
    QMessageBox::Icon icon;
    const char* shownCaption;
  };
  const Case cases[] = {
      {MB_ICONERROR, "エラー", QMessageBox::Critical, "エラー"},
      {MB_ICONWARNING, "", QMessageBox::Warning, "vimbel"},
      {MB_OK, "正常終了", QMessageBox::NoIcon, "正常終了"},
      {MB_OK, "見出しのほうが本文よりずっと長いメッセージ", QMessageBox::NoIcon,
       "見出しのほうが本文よりずっと長いメッセージ"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shownCaption);
    ModalWatcher watcher;
    QRect boxFrame, ownerFrame;
    watcher.m_onBox = [&](QMessageBox& box) {
      boxFrame = box.frameGeometry();
      ownerFrame = box.parentWidget()->window()->frameGeometry();
    };
    CDialog dlg(resources::kMainDialog);
    QWidget* window = nullptr;
    RunDialog(dlg, [&](DialogWindow& w) {
      window = &w;
      EXPECT_EQ(dlg.MessageBox("終了しました。", c.caption, c.type), IDOK);
      PressKey(&w, Qt::Key_Escape);
    });
    ASSERT_EQ(watcher.m_boxes.size(), 1u);
    EXPECT_EQ(watcher.m_boxes[0].text, "終了しました。");
    EXPECT_EQ(watcher.m_boxes[0].caption, c.shownCaption);
    EXPECT_EQ(watcher.m_boxes[0].icon, c.icon);
    EXPECT_EQ(watcher.m_boxes[0].owner, window);
    // The title bar has room for the whole caption beside its buttons, and
    // the box stands over the middle of its owner.
    QFont bold = QApplication::font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    EXPECT_GE(boxFrame.width(),
              metrics.horizontalAdvance(QString::fromUtf8(c.shownCaption)) + 3 * metrics.height());
    EXPECT_LE((boxFrame.center() - ownerFrame.center()).manhattanLength(), 2);
  }
}

// A byte count of any length is drawn whole inside the status line, whose
// place and size stay those of the template; what fits keeps the dialog font.
TEST(QtDialogRules, TheStatusLineDrawsAnyCountWhole) {
  testing_support::TestEnvironment env;
  CDialog dlg(resources::kMainDialog);
  RunDialog(dlg, [&](DialogWindow& w) {
    auto* status = qobject_cast<QLabel*>(w.Control(1012));
    ASSERT_NE(status, nullptr);
    const QRect geometry = status->geometry();
    const QRect area = status->contentsRect();
    struct Row {
      const char* text;
      bool asIs;  // in the dialog font on one line
    };
    const Row rows[] = {
        {"Version1.03", true},
        {"接続中．．．", true},
        {"2048 ﾊﾞｲﾄ(50%)", true},
        {"22375936 ﾊﾞｲﾄ(60%)", false},
        {"5000000000 ﾊﾞｲﾄ(100%)", false},
        {"9223372036854775807 ﾊﾞｲﾄ(100%)", false},
    };
    for (const Row& row : rows) {
      SCOPED_TRACE(row.text);
      dlg.SetDlgItemText(1012, row.text);
      const QString text = QString::fromUtf8(row.text);
      const qt::TextFit fit = qt::FitText(status->font(), area, text, status->alignment());
      const QRect needed = QFontMetrics(fit.font).boundingRect(area, fit.flags, text);
      EXPECT_TRUE(area.contains(needed)) << needed.width() << "x" << needed.height();
      EXPECT_EQ(fit.font == status->font() && (fit.flags & Qt::TextSingleLine), row.asIs);
      EXPECT_EQ(status->geometry(), geometry);
    }
    PressKey(&w, Qt::Key_Escape);
  });
}

TEST(QtDialogRules, TimersTickByIdAlsoUnderMessageBoxesAndRestartWhenSetAgain) {
  testing_support::TestEnvironment env;
  CRecordingDlg dlg(resources::kMainDialog);
  ModalWatcher watcher;
  std::size_t ticksWhileBoxOpen = 0;
  watcher.m_onBox = [&](QMessageBox&) {
    const std::size_t before = dlg.ticks.size();
    Pump(120);
    ticksWhileBoxOpen = dlg.ticks.size() - before;
  };
  RunDialog(dlg, [&](DialogWindow& w) {
    dlg.SetTimer(7, 20);
    dlg.MessageBox("x");
    EXPECT_GT(ticksWhileBoxOpen, 0u);
    dlg.KillTimer(7);
    EXPECT_FALSE(w.HasTimer(7));
    const std::size_t afterKill = dlg.ticks.size();
    Pump(80);
    EXPECT_EQ(dlg.ticks.size(), afterKill);

    dlg.SetTimer(9, 1000);
    Pump(300);
    dlg.SetTimer(9, 1000);  // restarts the period
    QTimer* timer = nullptr;
    const auto timers = w.findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly);
    for (QTimer* t : timers)
      if (t->isActive() && t->interval() == 1000) timer = t;
    ASSERT_NE(timer, nullptr);
    EXPECT_GT(timer->remainingTime(), 900);
    EXPECT_EQ(timers.size(), 1) << "one timer per id";
    PressKey(&w, Qt::Key_Escape);
  });
  for (UINT id : dlg.ticks) EXPECT_EQ(id, 7u);
}

// A second start's file arrives through a watched descriptor; a run, taking
// its stop checks, must not take it meanwhile.
TEST(QtDialogRules, AWatchedDescriptorWaitsWhileACommandRuns) {
  testing_support::TestEnvironment env;
  CRecordingDlg dlg(resources::kMainDialog);
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  int calls = 0;
  int callsDuringCommand = -1;
  dlg.onCommand = [&] {
    ASSERT_EQ(::write(fds[1], "x", 1), 1);
    for (int i = 0; i < 6; ++i) {
      QThread::msleep(25);
      dlg.PollStopRequest();
    }
    callsDuringCommand = calls;
  };
  RunDialog(dlg, [&](DialogWindow& w) {
    dlg.Watch(fds[0], [&] {
      char c;
      if (::read(fds[0], &c, 1) == 1) ++calls;
    });
    Click(w.Control(IDC_RADIO_LIST));
    Pump(100);
    PressKey(&w, Qt::Key_Escape);
  });
  EXPECT_EQ(callsDuringCommand, 0);
  EXPECT_EQ(calls, 1) << "taken once the command has ended";
  ::close(fds[0]);
  ::close(fds[1]);
}

TEST(QtDialogRules, DroppedLocalFilesReachTheDropHandlerWhereverTheyLand) {
  testing_support::TestEnvironment env;
  CRecordingDlg dlg(resources::kMainDialog);
  const std::string a = env.Path("page one.html"), b = env.Path("Link.url");
  RunDialog(dlg, [&](DialogWindow& w) {
    auto drop = [&](QWidget* target, const QList<QUrl>& urls) {
      QMimeData mime;
      mime.setUrls(urls);
      const QPointF at = QRectF(target->rect()).center();
      QDragEnterEvent enter(at.toPoint(), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(target, &enter);
      const bool accepted = enter.isAccepted();
      QDropEvent dropEvent(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(target, &dropEvent);
      Pump(20);
      return accepted;
    };
    EXPECT_TRUE(drop(&w, {QUrl::fromLocalFile(QString::fromStdString(a))}));
    EXPECT_TRUE(drop(w.Control(IDC_EDIT_URL), {QUrl::fromLocalFile(QString::fromStdString(a)),
                                               QUrl::fromLocalFile(QString::fromStdString(b))}));
    EXPECT_FALSE(drop(&w, {QUrl("http://example.com/x.html")})) << "only local files are taken";
    PressKey(&w, Qt::Key_Escape);
  });
  EXPECT_EQ(dlg.drops, (std::vector<std::vector<std::string>>{{a}, {a, b}}));
}

TEST(QtDialogRules, TheClipboardsTextIsReadable) {
  QGuiApplication::clipboard()->setText(QStringLiteral("http://example.com/ページ/"));
  EXPECT_EQ(WindowBackend().ClipboardText(),
            std::optional<std::string>("http://example.com/ページ/"));
  QGuiApplication::clipboard()->clear();
  EXPECT_FALSE(WindowBackend().ClipboardText().has_value());
}

}  // namespace

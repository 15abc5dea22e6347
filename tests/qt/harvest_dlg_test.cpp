// The main dialog in a real window: its state after start-up, the stored
// options, and harvest runs from the keyboard against a loopback server.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTimer>

#include "resources/dialog_templates.h"
#include "settings/profile_keys.h"
#include "tests/qt/qt_test_support.h"
#include "tests/support/http_server.h"
#include "tests/support/test_environment.h"
#include "ui/harvest_dlg.h"

using namespace platform;
using namespace qt_test;
using namespace resources;

namespace {

constexpr const char* kAbsent = "(absent)";

std::string StoredValue(CHarvestApp& app, const char* key) {
  return app.GetProfileString(profile::kSection, key, kAbsent);
}

struct InitCase {
  const char* name;
  std::vector<std::pair<const char*, int>> profile;
  bool htmlEnabled;
  int formatChecked;  // IDC_RADIO_HTML or IDC_RADIO_LIST
  int namingChecked;  // IDC_RADIO_URLNAME or IDC_RADIO_APPEND
  const char* storedOutPutType;
  // The case's name stands in the test's name, so that it reads the same
  // in every run.
  friend void PrintTo(const InitCase& c, std::ostream* os) { *os << c.name; }
};

class MainDialogStart : public testing::TestWithParam<InitCase> {};

TEST_P(MainDialogStart, ShowsTheStoredOptionsUnderTheImageOnlyRule) {
  const InitCase& c = GetParam();
  MainDialog m;
  for (const auto& [key, value] : c.profile)
    m.env.App().WriteProfileInt(profile::kSection, key, value);
  RunDialog(m.dlg, [&](DialogWindow& w) {
    EXPECT_EQ(m.dlg.IsDlgItemEnabled(IDC_RADIO_HTML), c.htmlEnabled);
    const int otherFormat = c.formatChecked == IDC_RADIO_HTML ? IDC_RADIO_LIST : IDC_RADIO_HTML;
    const int otherNaming =
        c.namingChecked == IDC_RADIO_URLNAME ? IDC_RADIO_APPEND : IDC_RADIO_URLNAME;
    EXPECT_EQ(m.dlg.IsDlgButtonChecked(c.formatChecked), BST_CHECKED);
    EXPECT_EQ(m.dlg.IsDlgButtonChecked(otherFormat), BST_UNCHECKED);
    EXPECT_EQ(m.dlg.IsDlgButtonChecked(c.namingChecked), BST_CHECKED);
    EXPECT_EQ(m.dlg.IsDlgButtonChecked(otherNaming), BST_UNCHECKED);
    EXPECT_EQ(m.dlg.m_nOutPutType, c.formatChecked == IDC_RADIO_HTML ? 1 : 2);
    EXPECT_EQ(m.dlg.m_nFileSelect, c.namingChecked == IDC_RADIO_URLNAME ? 1 : 2);
    EXPECT_EQ(m.dlg.GetDlgItemText(IDC_STATIC_STATUS), "Version1.03");
    EXPECT_EQ(qobject_cast<QLabel*>(w.Control(IDC_STATIC_STATUS))->text(),
              QStringLiteral("Version1.03"));
    EXPECT_EQ(m.dlg.m_strSaveFolder, m.env.HomeDir());
    EXPECT_FALSE(w.HasTimer(kWatchTimerId));
    EXPECT_EQ(w.focusWidget(), w.Control(IDC_EDIT_URL));
    EXPECT_FALSE(w.windowIcon().isNull());
    EXPECT_EQ(w.windowIcon().availableSizes().size(), 2);
    PressKey(w.Control(IDC_EDIT_URL), Qt::Key_Escape);
  });
  EXPECT_EQ(StoredValue(m.env.App(), profile::kOutPutType), c.storedOutPutType);
}

// Cases keep their index for a test name: ctest then names each after the
// printed case, as it does not for a generated name.
INSTANTIATE_TEST_SUITE_P(
    Profiles, MainDialogStart,
    testing::Values(
        InitCase{"FirstStart", {}, true, IDC_RADIO_HTML, IDC_RADIO_APPEND, kAbsent},
        InitCase{"ImagesOff", {{"image", 0}}, false, IDC_RADIO_LIST, IDC_RADIO_APPEND, "2"},
        InitCase{"ImagesAndArchives",
                 {{"OutPutType", 1}, {"archive", 1}},
                 false,
                 IDC_RADIO_LIST,
                 IDC_RADIO_APPEND,
                 "2"},
        InitCase{"ExecutablesAlone",
                 {{"image", 0}, {"exe", 1}, {"FileSelect", 1}},
                 false,
                 IDC_RADIO_LIST,
                 IDC_RADIO_URLNAME,
                 "2"},
        InitCase{"CustomExtension", {{"extra", 1}}, false, IDC_RADIO_LIST, IDC_RADIO_APPEND, "2"},
        InitCase{"ListChosenImagesOnly",
                 {{"OutPutType", 2}},
                 true,
                 IDC_RADIO_LIST,
                 IDC_RADIO_APPEND,
                 "2"},
        InitCase{"NamedAfterTheAddress",
                 {{"FileSelect", 1}},
                 true,
                 IDC_RADIO_HTML,
                 IDC_RADIO_URLNAME,
                 kAbsent}));

TEST(MainDialog, EachRadioClickIsStoredAtOnce) {
  MainDialog m;
  struct Step {
    int radio;
    const char* key;
    const char* stored;
  };
  const Step steps[] = {
      {IDC_RADIO_URLNAME, "FileSelect", "1"}, {IDC_RADIO_APPEND, "FileSelect", "2"},
      {IDC_RADIO_LIST, "OutPutType", "2"},    {IDC_RADIO_HTML, "OutPutType", "1"},
      {IDC_RADIO_HTML, "OutPutType", "1"},
  };
  RunDialog(m.dlg, [&](DialogWindow& w) {
    for (const Step& s : steps) {
      SCOPED_TRACE(s.radio);
      Click(w.Control(s.radio));
      EXPECT_EQ(m.dlg.IsDlgButtonChecked(s.radio), BST_CHECKED);
      EXPECT_EQ(StoredValue(m.env.App(), s.key), s.stored);
    }
    EXPECT_EQ(m.dlg.m_nFileSelect, 2);
    EXPECT_EQ(m.dlg.m_nOutPutType, 1);
    PressKey(&w, Qt::Key_Escape);
  });
}

// Records the status line's text each time it is painted.
class PaintRecorder : public QObject {
 public:
  std::vector<std::string> painted;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint)
      painted.push_back(static_cast<QLabel*>(watched)->text().toStdString());
    return false;
  }
};

bool Contains(const std::vector<std::string>& v, const std::string& prefix) {
  for (const auto& s : v)
    if (s.rfind(prefix, 0) == 0) return true;
  return false;
}

const std::string kPage =
    "<html><a href=\"a.jpg\">a</a>\n<A HREF=\"/pics/b.gif\">b</A>\n<a "
    "href=\"c.zip\">c</a></html>\n";

class MainDialogHarvest : public testing::Test, protected MainDialog {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.Start());
    server.Route("/dir/page.html", test::HttpRoute::Page(200, kPage));
  }

  test::HttpServer server;
  ModalWatcher watcher;
};

TEST_F(MainDialogHarvest, EnterInTheAddressFieldRunsAHarvestAndTheWindowStays) {
  PaintRecorder recorder;
  const std::string address = server.Url("/dir/page.html");
  const int result = RunDialog(dlg, [&](DialogWindow& w) {
    w.Control(IDC_STATIC_STATUS)->installEventFilter(&recorder);
    QWidget* field = w.Control(IDC_EDIT_URL);
    TypeText(field, QString::fromStdString(address));
    PressKey(field, Qt::Key_Return);

    EXPECT_TRUE(w.isVisible()) << "the start button never closes the window";
    EXPECT_EQ(dlg.Window(), &w);
    EXPECT_EQ(dlg.GetDlgItemText(IDC_STATIC_STATUS), "Version1.03");
    EXPECT_EQ(dlg.m_lastOutcome, HarvestOutcome::kCompleted);
    // The start button does the same; the output is appended again.
    Click(w.Control(IDOK));
    PressKey(field, Qt::Key_Escape);
  });
  EXPECT_EQ(result, IDCANCEL);

  ASSERT_EQ(watcher.m_boxes.size(), 2u);
  EXPECT_EQ(watcher.m_boxes[0].text, "終了しました。");
  EXPECT_EQ(watcher.m_boxes[0].caption, "正常終了");
  EXPECT_EQ(watcher.m_boxes[0].icon, QMessageBox::NoIcon);
  EXPECT_EQ(server.RequestCount("/dir/page.html"), 2u);

  const std::string base = server.Url("");
  const std::string once =
      "<IMG SRC=\"" + base + "/dir/a.jpg\"><BR>\r\n<IMG SRC=\"" + base + "/pics/b.gif\"><BR>\r\n";
  EXPECT_EQ(testing_support::ReadBytes(env.HomeDir() + "vimbel.html"), once + once);

  // The user saw the run's progress although the run never returned to the
  // event loop.
  EXPECT_TRUE(Contains(recorder.painted, "接続中．．．"));
  EXPECT_TRUE(Contains(recorder.painted, "読み込み中"));
  EXPECT_TRUE(Contains(recorder.painted, std::to_string(kPage.size()) + " ﾊﾞｲﾄ"));
}

// Escape or the close box during a run, also before the server has said a
// word, stops it: no message, nothing written, the status line idle, and
// the window open and ready. Keys and clicks meanwhile are dropped.
TEST_F(MainDialogHarvest, EscapeOrTheCloseBoxStopsARunAndTheWindowStays) {
  test::HttpRoute stalled = test::HttpRoute::Page(200, kPage);
  stalled.cut = test::HttpRoute::Cut::kStall;
  stalled.cutAfter = 10;
  server.Route("/stalled.html", stalled);
  test::SilentLoopbackServer silent;
  struct Case {
    const char* name;
    std::string address;
    bool closeBox;
  };
  const Case cases[] = {
      {"Escape while the page stalls", server.Url("/stalled.html"), false},
      {"the close box while the server is silent", silent.Url("/page.html"), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int result = RunDialog(dlg, [&](DialogWindow& w) {
      dlg.m_editUrl.SetWindowText(c.address);
      // Arrives while the run waits for the server (the stall timeout is
      // 1.5 s here, and would end in a warning).
      QTimer::singleShot(300, &w, [&] {
        TypeText(w.Control(1000), QStringLiteral("x"));
        Click(w.Control(1005));
        if (c.closeBox)
          w.close();
        else
          PressKey(w.Control(1000), Qt::Key_Escape);
      });
      PressKey(w.Control(1000), Qt::Key_Return);
      EXPECT_TRUE(w.isVisible());
      EXPECT_EQ(dlg.Window(), &w);
      EXPECT_EQ(dlg.GetDlgItemText(1012), "Version1.03");
      EXPECT_EQ(dlg.GetDlgItemText(1000), c.address);
      EXPECT_EQ(dlg.m_lastOutcome, HarvestOutcome::kStopped);
      // Ready: the next Escape is the window's own again.
      PressKey(&w, Qt::Key_Escape);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_TRUE(watcher.m_boxes.empty());
    EXPECT_TRUE(watcher.m_dialogsSeen.empty());
    EXPECT_FALSE(testing_support::Exists(env.HomeDir() + "vimbel.html"));
    EXPECT_FALSE(testing_support::Exists(env.Path("runtime/vimbel/vimbel.tmp")));
  }
}

// A message during start-up, before the window is shown, stands in the
// middle of the screen rather than in its corner.
TEST_F(MainDialogHarvest, AMessageBeforeTheWindowShowsIsCentredOnTheScreen) {
  env.App().SetCommandLine({env.Path("missing.html")});
  QPoint boxCentre, screenCentre;
  watcher.m_onBox = [&](QMessageBox& box) {
    boxCentre = box.frameGeometry().center();
    screenCentre = box.screen()->availableGeometry().center();
    dlg.EndDialog(IDCANCEL);  // the window ends before it is ever shown
  };
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  ASSERT_EQ(watcher.m_boxes.size(), 1u);
  EXPECT_EQ(watcher.m_boxes[0].text, "ﾌｧｲﾙが見つかりませんでした。\n" + env.Path("missing.html"));
  EXPECT_LE((boxCentre - screenCentre).manhattanLength(), 2);
}

TEST_F(MainDialogHarvest, AnEmptyFieldIsRefusedInAnErrorBoxOwnedByTheWindow) {
  QWidget* window = nullptr;
  RunDialog(dlg, [&](DialogWindow& w) {
    window = &w;
    PressKey(w.Control(IDC_EDIT_URL), Qt::Key_Return);
    PressKey(&w, Qt::Key_Escape);
  });
  ASSERT_EQ(watcher.m_boxes.size(), 1u);
  EXPECT_EQ(watcher.m_boxes[0].text, "ｲﾝﾀｰﾈｯﾄｱﾄﾞﾚｽが入力されていません。");
  EXPECT_EQ(watcher.m_boxes[0].caption, "エラー");
  EXPECT_EQ(watcher.m_boxes[0].icon, QMessageBox::Critical);
  EXPECT_EQ(watcher.m_boxes[0].owner, window);
  EXPECT_EQ(server.RequestCount(), 0u);
}

TEST_F(MainDialogHarvest, A401OpensThePromptAndItsAnswerReachesTheRetry) {
  test::HttpRoute secret = test::HttpRoute::Page(200, "<a href=\"x.jpg\">x</a>\n");
  secret.basicAuth = std::make_pair(std::string("alice"), std::string("s3 cret"));
  server.Route("/private/index.html", secret);

  struct Case {
    const char* name;
    bool answer;
  };
  for (const Case c : {Case{"answered", true}, Case{"cancelled", false}}) {
    SCOPED_TRACE(c.name);
    watcher.m_boxes.clear();
    QWidget* mainWindow = nullptr;
    bool prompted = false;
    watcher.OnDialog(IDD_PASSWORD, [&](DialogWindow& prompt) {
      prompted = true;
      EXPECT_EQ(prompt.parentWidget(), mainWindow);
      EXPECT_EQ(prompt.focusWidget(), prompt.Control(IDC_EDIT_USERID));
      EXPECT_EQ(prompt.GetItemText(IDC_EDIT_USERID), "");
      EXPECT_EQ(prompt.GetItemText(IDC_EDIT_PASSWORD), "");
      if (!c.answer) {
        PressKey(prompt.Control(IDC_EDIT_USERID), Qt::Key_Escape);
        return;
      }
      TypeText(prompt.Control(IDC_EDIT_USERID), QStringLiteral("alice"));
      TypeText(prompt.Control(IDC_EDIT_PASSWORD), QStringLiteral("s3 cret"));
      EXPECT_NE(qobject_cast<QLineEdit*>(prompt.Control(IDC_EDIT_PASSWORD))->displayText(),
                QStringLiteral("s3 cret"));
      PressKey(prompt.Control(IDC_EDIT_PASSWORD), Qt::Key_Return);
    });
    const size_t before = server.RequestCount("/private/index.html");
    RunDialog(dlg, [&](DialogWindow& w) {
      mainWindow = &w;
      dlg.m_editUrl.SetWindowText(server.Url("/private/index.html"));
      PressKey(w.Control(IDC_EDIT_URL), Qt::Key_Return);
      EXPECT_EQ(dlg.GetDlgItemText(IDC_STATIC_STATUS), "Version1.03");
      PressKey(&w, Qt::Key_Escape);
    });
    EXPECT_TRUE(prompted);
    if (c.answer) {
      EXPECT_EQ(env.App().m_strUserId, "alice");
      EXPECT_EQ(env.App().m_strPassword, "s3 cret");
      EXPECT_GE(server.RequestCount("/private/index.html"), before + 2);

      EXPECT_EQ(server.LastRequest().headers["authorization"],
                "Basic " + test::BasicAuthorization("alice", "s3 cret"));
      ASSERT_EQ(watcher.m_boxes.size(), 1u);
      EXPECT_EQ(watcher.m_boxes[0].text, "終了しました。");
    } else {
      EXPECT_EQ(server.RequestCount("/private/index.html"), before + 1);
      EXPECT_TRUE(watcher.m_boxes.empty()) << "a cancelled prompt ends the run without a message";
      // Cancel keeps what an earlier answer stored.
      EXPECT_EQ(env.App().m_strUserId, "alice");
    }
  }
}

}  // namespace

// The extraction settings dialog, dropped files, the clipboard watch and the
// folder browser in real windows.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include <sys/stat.h>

#include <climits>
#include <cstdlib>

#include "resources/dialog_templates.h"
#include "settings/profile_keys.h"
#include "tests/qt/qt_test_support.h"
#include "tests/support/test_environment.h"
#include "ui/address_sources.h"
#include "ui/harvest_dlg.h"

using namespace platform;
using namespace resources;
using namespace qt_test;
using testing_support::TestEnvironment;
using testing_support::WriteBytes;

namespace {

std::string Stored(CHarvestApp& app, const char* key) {
  return app.GetProfileString(profile::kSection, key, "(absent)");
}

std::string FieldText(DialogWindow& w) {
  return qobject_cast<QLineEdit*>(w.Control(IDC_EDIT_URL))->text().toStdString();
}

std::string Canonical(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? resolved : path;
}

// The main dialog with a fresh profile, as start-up runs it.
struct MainWindow : MainDialog {
  MainWindow() {
    g_strLastClip.clear();
    QApplication::clipboard()->clear();
  }
};

}  // namespace

TEST(SettingsDialogWindow, EditsAreStoredAndShownAgain) {
  MainWindow m;
  {
    ModalWatcher watcher;
    watcher.OnDialog(IDD_EXTRACT_SETTINGS, [](DialogWindow& s) {
      QWidget* extent = s.Control(IDC_EDIT_EXTENT);
      EXPECT_FALSE(extent->isEnabled()) << "the custom extension starts disabled";
      Click(s.Control(IDC_CHECK_EXTRA));
      EXPECT_TRUE(extent->isEnabled()) << "任意 enables it";
      auto* edit = qobject_cast<QLineEdit*>(extent);
      edit->selectAll();
      TypeText(edit, QStringLiteral("png"));
      auto* times = qobject_cast<QLineEdit*>(s.Control(IDC_EDIT_TIMES));
      times->selectAll();
      TypeText(times, QStringLiteral("2"));
      Click(s.Control(IDOK));
    });
    RunDialog(m.dlg, [&](DialogWindow& w) {
      Click(w.Control(IDC_BUTTON_EXTENDED));
      EXPECT_FALSE(w.Control(IDC_RADIO_HTML)->isEnabled()) << "more than images: no gallery";
      EXPECT_EQ(m.dlg.IsDlgButtonChecked(IDC_RADIO_LIST), BST_CHECKED);
      PressKey(w.Control(IDC_EDIT_URL), Qt::Key_Escape);
    });
    EXPECT_EQ(watcher.m_dialogsSeen, std::vector<int>{IDD_EXTRACT_SETTINGS});
    EXPECT_EQ(Stored(m.env.App(), profile::kExtent), ".png");
    EXPECT_EQ(Stored(m.env.App(), profile::kExtra), "1");
    EXPECT_EQ(Stored(m.env.App(), profile::kTimes), "2");
    EXPECT_EQ(Stored(m.env.App(), profile::kOutPutType), "2");
  }

  // The next opening shows what was stored.
  ModalWatcher again;
  again.OnDialog(IDD_EXTRACT_SETTINGS, [](DialogWindow& s) {
    EXPECT_TRUE(s.Control(IDC_EDIT_EXTENT)->isEnabled());
    EXPECT_EQ(qobject_cast<QLineEdit*>(s.Control(IDC_EDIT_EXTENT))->text(), QStringLiteral("png"));
    EXPECT_EQ(qobject_cast<QLineEdit*>(s.Control(IDC_EDIT_TIMES))->text(), QStringLiteral("2"));
    PressKey(s.Control(IDOK), Qt::Key_Escape);
  });
  RunDialog(m.dlg, [&](DialogWindow& w) {
    Click(w.Control(IDC_BUTTON_EXTENDED));
    PressKey(w.Control(IDC_EDIT_URL), Qt::Key_Escape);
  });
  EXPECT_EQ(again.m_dialogsSeen, std::vector<int>{IDD_EXTRACT_SETTINGS});
}

TEST(DropOnMainWindow, ALocalPageFillsTheFieldAndTwoItemsAreRefused) {
  MainWindow m;
  std::string page = m.env.Path("page.html");
  WriteBytes(page, "<a href=x.jpg>");
  ModalWatcher watcher;
  RunDialog(m.dlg, [&](DialogWindow& w) {
    auto drop = [&](const QList<QUrl>& urls) {
      QMimeData data;
      data.setUrls(urls);
      // A drag enters the window before it drops, as from a file manager.
      QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      QApplication::sendEvent(&w, &enter);
      EXPECT_TRUE(enter.isAccepted());
      QDropEvent event(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      EXPECT_TRUE(QApplication::sendEvent(&w, &event));
      Pump(100);
    };
    const QUrl url = QUrl::fromLocalFile(QString::fromStdString(page));
    ASSERT_TRUE(w.acceptDrops());
    drop({url});
    EXPECT_EQ(FieldText(w), page);
    EXPECT_EQ(m.dlg.m_strSourceFile, page);
    drop({url, url});
    PressKey(w.Control(IDC_EDIT_URL), Qt::Key_Escape);
  });
  ASSERT_EQ(watcher.m_boxes.size(), 1u);
  EXPECT_EQ(watcher.m_boxes[0].text, "複数のﾌｧｲﾙやﾌｫﾙﾀﾞは指定する事はできません.");
  EXPECT_EQ(watcher.m_boxes[0].caption, "vimbel");
}

TEST(ClipboardWatchWindow, FillsTheFieldWithinATick) {
  MainWindow m;
  m.env.App().WriteProfileInt(profile::kSection, profile::kClip, 1);
  RunDialog(m.dlg, [&](DialogWindow& w) {
    EXPECT_TRUE(w.HasTimer(kWatchTimerId));
    QApplication::clipboard()->setText(QStringLiteral("http://example.test/ページ/"));
    Pump(1300);
    EXPECT_EQ(FieldText(w), "http://example.test/ページ/");
    PressKey(w.Control(IDC_EDIT_URL), Qt::Key_Escape);
  });
}

TEST(FolderBrowserWindow, OpensOnTheSaveFolderAndStoresTheChoice) {
  MainWindow m;
  std::string parent = Canonical(m.env.Dir()) + "/out";
  ASSERT_EQ(mkdir(parent.c_str(), 0700), 0);
  std::string current = parent + "/current";
  ASSERT_EQ(mkdir(current.c_str(), 0700), 0);
  m.env.App().WriteProfileString(profile::kSection, profile::kSaveFolder, current + "/");

  std::string preselected;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* browser = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!browser || browser->objectName() != QStringLiteral("folderBrowser") ||
        !browser->isVisible())
      return;
    poll.stop();
    auto* tree = browser->findChild<QTreeWidget*>(QStringLiteral("folderTree"));
    ASSERT_NE(tree, nullptr);
    ASSERT_NE(tree->currentItem(), nullptr);
    preselected = tree->currentItem()->data(0, Qt::UserRole).toString().toStdString();
    tree->setCurrentItem(tree->currentItem()->parent());  // choose the folder above
    browser->accept();
  });
  poll.start(10);
  RunDialog(m.dlg, [&](DialogWindow& w) {
    Click(w.Control(IDC_BUTTON_SAVEFOLDER));
    PressKey(w.Control(IDC_EDIT_URL), Qt::Key_Escape);
  });
  EXPECT_EQ(preselected, current);
  EXPECT_EQ(m.dlg.m_strSaveFolder, parent + "/");
  EXPECT_EQ(Stored(m.env.App(), profile::kSaveFolder), parent + "/");
}

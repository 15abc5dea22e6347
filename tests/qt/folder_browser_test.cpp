// The folder browser opens on the folder its caller selects and hands back
// the one the user chose.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QTimer>
#include <QTreeWidget>

#include <sys/stat.h>

#include "platform/folder_browser.h"
#include "platform/window_backend.h"
#include "tests/qt/qt_test_support.h"
#include "tests/support/test_environment.h"

namespace {

TEST(QtFolderBrowser, OpensOnTheSelectedFolderAndReturnsTheChoice) {
  testing_support::TestEnvironment env;
  const std::string start = env.Dir() + "home/.hidden/pictures";
  ASSERT_EQ(::mkdir((env.Dir() + "home/.hidden").c_str(), 0700), 0);
  ASSERT_EQ(::mkdir(start.c_str(), 0700), 0);
  ASSERT_EQ(::mkdir((start + "/2024").c_str(), 0700), 0);

  struct Case {
    const char* name;
    bool select;  // the hook asks for `start`
    bool accept;
    std::optional<std::string> result;
  };
  const Case cases[] = {
      {"a selected folder, confirmed", true, true, start},
      {"cancelled", true, false, std::nullopt},
      {"a request without a folder keeps the root", false, true, std::string("/")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    platform::FolderBrowseRequest request;
    request.title = "現在のｾｰﾌﾞﾌｫﾙﾀﾞ\n" + start;
    request.onInitialized = [&](platform::IFolderBrowser& browser) {
      browser.SelectFolder(c.select ? &start : nullptr);
    };
    QString shownTitle;
    QTimer::singleShot(50, [&] {
      auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      shownTitle = dialog->findChild<QLabel*>()->text();
      if (c.accept)
        dialog->accept();
      else
        qt_test::PressKey(dialog, Qt::Key_Escape);
    });
    EXPECT_EQ(platform::WindowBackend().BrowseForFolder(request), c.result);
    EXPECT_EQ(shownTitle, QString::fromStdString(request.title));
  }
}

}  // namespace

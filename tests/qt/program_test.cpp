// The real program: one instance at a time, and its window on a real X
// server as the screenshot tool captures it.
#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>
#include <QSet>

#include <chrono>
#include <cstdio>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>

#include "platform/instance_handover.h"
#include "platform/instance_lock.h"
#include "platform/qt/dialog_font.h"
#include "resources/dialog_templates.h"
#include "tests/qt/qt_test_support.h"
#include "tests/support/test_environment.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;

pid_t Start(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  if (::posix_spawn(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return -1;
  return pid;
}

// The exit status of `pid` if it ends within `limit`, else -1.
int WaitFor(pid_t pid, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid)
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::this_thread::sleep_for(20ms);
  }
  return -1;
}

void Kill(pid_t pid) {
  ::kill(pid, SIGKILL);
  int status;
  ::waitpid(pid, &status, 0);
}

// True once some process holds the program's single-instance lock.
bool LockHeldWithin(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    bool held = false;
    platform::InstanceLock* lock = platform::CreateInstanceLock("vimbel", &held);
    platform::CloseInstanceLock(lock);
    if (held) return true;
    std::this_thread::sleep_for(20ms);
  }
  return false;
}

class RealProgram : public testing::Test {
 protected:
  void SetUp() override { ::setenv("QT_QPA_PLATFORM", "offscreen", 1); }
  testing_support::TestEnvironment env;
};

TEST_F(RealProgram, ASecondStartEndsAtOnceAndTheFirstRunsOn) {
  const pid_t first = Start({VIMBEL_PATH});
  ASSERT_GT(first, 0);
  ASSERT_TRUE(LockHeldWithin(15s)) << "the first instance never took the lock";

  const pid_t second = Start({VIMBEL_PATH, env.Path("ignored.url")});
  ASSERT_GT(second, 0);
  EXPECT_EQ(WaitFor(second, 10s), 0) << "the second instance must end by itself, silently";
  EXPECT_EQ(WaitFor(first, 300ms), -1) << "the first instance is not disturbed";

  // A killed instance leaves no lock behind.
  Kill(first);
  const pid_t third = Start({VIMBEL_PATH});
  ASSERT_GT(third, 0);
  EXPECT_TRUE(LockHeldWithin(15s));
  EXPECT_EQ(WaitFor(third, 300ms), -1) << "a new start after the first ended runs";
  Kill(third);
}

// The exit status of the program started in `folder` with `argv`, while
// this process's event loop runs on; -1 when it has not ended in `limit`.
int RunAlongside(const std::string& folder, const std::vector<std::string>& argv,
                 std::chrono::milliseconds limit) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  pid_t pid = -1;
  const int rc = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid)
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    qt_test::Pump(20);
  }
  Kill(pid);
  return -1;
}

// This process is the running window; a later start of the real program
// names a file, relative to its own folder. The window opens it as a dropped
// file, and comes to the front.
TEST(RunningWindow, ASecondStartHandsItsFileOverAsADrop) {
  qt_test::MainDialog m;
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  bool held = true;
  platform::InstanceLock* lock = platform::CreateInstanceLock("vimbel", &held);
  ASSERT_FALSE(held);
  const auto listener = platform::HandoverListener::Listen("vimbel");
  ASSERT_NE(listener, nullptr);
  m.dlg.m_pHandover = listener.get();
  testing_support::WriteBytes(m.env.Path("Gallery.url"),
                              "[InternetShortcut]\r\nURL=http://example.test/g/\r\n");
  testing_support::WriteBytes(m.env.Path("page.html"), "<a href=x.jpg>");

  qt_test::ModalWatcher watcher;
  qt_test::RunDialog(m.dlg, [&](qt_test::DialogWindow& w) {
    auto field = [&w] {
      return qobject_cast<QLineEdit*>(w.Control(resources::IDC_EDIT_URL))->text().toStdString();
    };
    QWidget other;
    other.show();
    other.activateWindow();
    qt_test::Pump(50);
    ASSERT_FALSE(w.isActiveWindow());

    EXPECT_EQ(RunAlongside(m.env.Dir(), {VIMBEL_PATH, "Gallery.url"}, 15s), 0);
    EXPECT_EQ(field(), "http://example.test/g/");
    EXPECT_TRUE(m.dlg.m_strSourceFile.empty());
    EXPECT_TRUE(w.isActiveWindow()) << "the window comes to the front";

    EXPECT_EQ(RunAlongside(m.env.Dir(), {VIMBEL_PATH, "page.html"}, 15s), 0);
    EXPECT_EQ(m.dlg.m_strSourceFile, m.env.Path("page.html"));
    EXPECT_EQ(field(), m.env.Path("page.html"));

    // A file that is not there meets the drop's own refusal; nothing changes.
    EXPECT_EQ(RunAlongside(m.env.Dir(), {VIMBEL_PATH, "gone.url"}, 15s), 0);
    qt_test::Pump(100);
    EXPECT_EQ(field(), m.env.Path("page.html"));
    qt_test::PressKey(w.Control(resources::IDC_EDIT_URL), Qt::Key_Escape);
  });
  ASSERT_EQ(watcher.m_boxes.size(), 1u);
  EXPECT_EQ(watcher.m_boxes[0].text, "ﾌｫﾙﾀﾞを指定する事はできません.");
  platform::CloseInstanceLock(lock);
}

// Many second starts at once, each naming a file that is not there: the
// window refuses them one message box at a time, never one inside another's.
TEST(RunningWindow, AFloodOfHandoversOpensOneBoxAtATime) {
  qt_test::MainDialog m;
  const auto listener = platform::HandoverListener::Listen("vimbel");
  ASSERT_NE(listener, nullptr);
  m.dlg.m_pHandover = listener.get();
  qt_test::ModalWatcher watcher;
  size_t mostOpen = 0;
  watcher.m_onBox = [&mostOpen](QMessageBox&) {
    size_t open = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (qobject_cast<QMessageBox*>(w) && w->isVisible()) ++open;
    mostOpen = std::max(mostOpen, open);
  };
  int acknowledged = 0;
  qt_test::RunDialog(m.dlg, [&](qt_test::DialogWindow& w) {
    std::vector<std::future<bool>> sent;
    for (int i = 0; i < 12; ++i)
      sent.push_back(std::async(std::launch::async, [&m, i] {
        return platform::HandOverFile("vimbel", m.env.Path("gone" + std::to_string(i) + ".url"));
      }));
    for (auto& s : sent) {
      while (s.wait_for(0s) != std::future_status::ready) qt_test::Pump(10);
      acknowledged += s.get();
    }
    qt_test::Pump(100);
    qt_test::PressKey(w.Control(resources::IDC_EDIT_URL), Qt::Key_Escape);
  });
  EXPECT_GE(acknowledged, 2);
  EXPECT_EQ(watcher.m_boxes.size(), static_cast<size_t>(acknowledged));
  EXPECT_EQ(mostOpen, 1u);
}

TEST_F(RealProgram, TheScreenshotShowsTheMainWindowAtItsTemplateSize) {
  const std::string png = env.Path("main.png");
  const std::string command = std::string("'") + VIMBEL_SOURCE_DIR + "/tools/screenshot' -p '" +
                              VIMBEL_PATH + "' '" + png + "'";
  FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char line[128] = {};
  const bool got = std::fgets(line, sizeof line, pipe) != nullptr;
  const int status = ::pclose(pipe);
  ASSERT_TRUE(got && WIFEXITED(status) && WEXITSTATUS(status) == 0) << "tools/screenshot failed";

  int width = 0, height = 0;
  ASSERT_EQ(std::sscanf(line, "%dx%d", &width, &height), 2) << line;
  const auto& tpl = resources::kMainDialog;
  const QSize expected =
      platform::qt::DialogUnitsToPixels(
          platform::qt::MeasureBaseUnits(platform::qt::DialogFont(tpl)), 0, 0, tpl.cx, tpl.cy)
          .size();
  EXPECT_EQ(QSize(width, height), expected);

  const QImage image(QString::fromStdString(png));
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.size(), expected);
  // Something was drawn: frames, texts and buttons, not one flat colour.
  QSet<QRgb> colours;
  for (int y = 0; y < image.height(); y += 2)
    for (int x = 0; x < image.width(); x += 2) colours.insert(image.pixel(x, y));
  EXPECT_GT(colours.size(), 8);
}

}  // namespace

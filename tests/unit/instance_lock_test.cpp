#include "platform/instance_lock.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <functional>
#include <vector>

#include "platform/file_system.h"
#include "tests/support/headless_ui.h"
#include "tests/support/test_environment.h"
#include "ui/harvest_app.h"

namespace {

TEST(InstanceLock, OneHolderAtATimeAndReleasedWithItsHandle) {
  testing_support::TestEnvironment env;
  bool exists = true;
  platform::InstanceLock* first = platform::CreateInstanceLock("vimbel", &exists);
  ASSERT_NE(first, nullptr);
  EXPECT_FALSE(exists);

  // A second opening is another holder, as a second process would be.
  platform::InstanceLock* second = platform::CreateInstanceLock("vimbel", &exists);
  ASSERT_NE(second, nullptr);
  EXPECT_TRUE(exists);
  platform::CloseInstanceLock(second);

  bool other = true;
  platform::InstanceLock* unrelated = platform::CreateInstanceLock("another", &other);
  EXPECT_FALSE(other) << "locks of different names are independent";
  platform::CloseInstanceLock(unrelated);

  platform::CloseInstanceLock(first);
  platform::InstanceLock* again = platform::CreateInstanceLock("vimbel", &exists);
  ASSERT_NE(again, nullptr);
  EXPECT_FALSE(exists);

#ifndef _WIN32  // a lock file of the user's alone; Windows has a named mutex instead
  struct stat st;
  ASSERT_EQ(::stat((*platform::TempFolder() + "vimbel.lock").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
#endif
  platform::CloseInstanceLock(again);
}

#ifndef _WIN32
TEST(InstanceLock, NoHandleWhereTheLockCannotBeMade) {
  testing_support::TestEnvironment env;
  // The private folder refuses a symlink, and a lock file that is a symlink
  // is not followed.
  const std::string runtime = env.Dir() + "runtime/";
  const std::string folder = *platform::TempFolder();
  ASSERT_EQ(::symlink(env.Path("elsewhere").c_str(), (folder + "vimbel.lock").c_str()), 0);
  bool exists = true;
  EXPECT_EQ(platform::CreateInstanceLock("vimbel", &exists), nullptr);
  EXPECT_FALSE(exists);

  ::unlink((folder + "vimbel.lock").c_str());
  ::rmdir(folder.c_str());
  ASSERT_EQ(::symlink(env.Dir().c_str(), (runtime + "vimbel").c_str()), 0);
  EXPECT_EQ(platform::CreateInstanceLock("vimbel", &exists), nullptr);
}
#endif

#ifndef _WIN32  // a lock file; Windows takes a named mutex instead
// Without the lock, two runs could share the fixed scratch names: a lock
// that cannot be taken for any reason but another instance stops start-up
// with a message, before the main window.
TEST(StartUp, ALockThatCannotBeTakenIsReportedAndNothingRuns) {
  struct Case {
    const char* name;
    std::function<void(const std::string& lockPath)> plant;
  };
  const std::vector<Case> cases = {
      {"a symbolic link",
       [](const std::string& path) { ASSERT_EQ(::symlink("elsewhere", path.c_str()), 0); }},
      {"a folder", [](const std::string& path) { ASSERT_EQ(::mkdir(path.c_str(), 0700), 0); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    testing_support::TestEnvironment env;
    testing_support::HeadlessUi ui;
    const std::string lockPath = *platform::TempFolder() + "vimbel.lock";
    c.plant(lockPath);
    ui->AnswerMessageBox();

    EXPECT_EQ(env.App().InitInstance(), platform::FALSE);
    ASSERT_EQ(ui->MessageBoxes().size(), 1u);
    const auto& box = ui->MessageBoxes()[0];
    EXPECT_EQ(box.text.rfind("ﾌｧｲﾙを作成できませんでした。\n" + lockPath + ": ", 0), 0u)
        << box.text;
    EXPECT_EQ(box.caption, "エラー");
    EXPECT_EQ(box.type, 16u);
    EXPECT_TRUE(ui->ModalRuns().empty());
    EXPECT_EQ(env.App().m_hMutex, nullptr);
  }
}
#endif

}  // namespace

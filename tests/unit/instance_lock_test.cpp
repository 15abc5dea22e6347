#include "platform/instance_lock.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "platform/file_system.h"
#include "tests/support/test_environment.h"

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

}  // namespace

// The private temporary folder, file copies and the file-find.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "tests/support/test_environment.h"

using testing_support::ReadBytes;
using testing_support::TestEnvironment;
using testing_support::WriteBytes;

namespace {

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  ::lstat(path.c_str(), &st);
  return st.st_mode & 07777;
}

TEST(TempFolder, IsAPrivateFolderOfTheUser) {
  TestEnvironment env;
  EXPECT_EQ(platform::TempFolder(), env.Path("runtime/vimbel/"));
  EXPECT_EQ(ModeOf(env.Path("runtime/vimbel")), 0700u);

  ::unsetenv("XDG_RUNTIME_DIR");
  const std::string fallback = env.Path("tmp/vimbel-") + std::to_string(::geteuid());
  EXPECT_EQ(platform::TempFolder(), fallback + "/");

  // One that was left open to others is closed again.
  ::chmod(fallback.c_str(), 0777);
  EXPECT_EQ(platform::TempFolder(), fallback + "/");
  EXPECT_EQ(ModeOf(fallback), 0700u);
}

TEST(TempFolder, RefusesALinkOrAFileInItsPlace) {
  TestEnvironment env;
  ::mkdir(env.Path("other").c_str(), 0700);
  ASSERT_EQ(::symlink(env.Path("other").c_str(), env.Path("runtime/vimbel").c_str()), 0);
  std::string why;
  EXPECT_EQ(platform::TempFolder(&why), std::nullopt);
  EXPECT_NE(why.find("link"), std::string::npos) << why;

  ::unsetenv("XDG_RUNTIME_DIR");
  WriteBytes(env.Path("tmp/vimbel-") + std::to_string(::geteuid()), "");
  EXPECT_EQ(platform::TempFolder(&why), std::nullopt);
}

TEST(CopyFileReplacing, CopiesBytesOverAnOlderFileForTheUserAlone) {
  TestEnvironment env;
  const std::string bytes("a\r\nb\x1A\0c", 7);
  WriteBytes(env.Path("from"), bytes);
  WriteBytes(env.Path("to"), "a much longer older content");
  ::chmod(env.Path("from").c_str(), 0644);
  EXPECT_TRUE(platform::CopyFileReplacing(env.Path("from"), env.Path("to")));
  EXPECT_EQ(ReadBytes(env.Path("to")), bytes);
  EXPECT_EQ(ModeOf(env.Path("to")), 0600u);
  EXPECT_FALSE(platform::CopyFileReplacing(env.Path("missing"), env.Path("to2")));
  EXPECT_FALSE(platform::CopyFileReplacing(env.Dir(), env.Path("to2")));
  EXPECT_FALSE(platform::CopyFileReplacing(env.Path("from"), env.Path("no/dir/to")));
}

// The kernel's own copy refuses some pairs of files and says nothing at all
// of others; the copy must be whole either way.
TEST(CopyFileReplacing, IsWholeWhereTheKernelCopyIsRefusedOrSaysNothing) {
  TestEnvironment env;
  std::string large;
  for (int i = 0; large.size() < 3 * 1024 * 1024 + 7; ++i) large += std::to_string(i) + "\r\n";
  WriteBytes(env.Path("large"), large);
  struct Source {
    std::string path;
    std::string bytes;
  };
  const std::vector<Source> sources = {
      {env.Path("large"), large},
      {"/proc/self/cmdline", ReadBytes("/proc/self/cmdline")},  // its size reads as 0
  };
  std::vector<std::string> targets = {env.Path("to")};
  // Another file system, where the kernel copy is refused.
  char shm[] = "/dev/shm/vimbel-copy-XXXXXX";
  const bool haveShm = ::mkdtemp(shm) != nullptr;
  if (haveShm) targets.push_back(std::string(shm) + "/to");
  for (const Source& source : sources) {
    ASSERT_FALSE(source.bytes.empty()) << source.path;
    for (const std::string& target : targets) {
      EXPECT_TRUE(platform::CopyFileReplacing(source.path, target))
          << source.path << " to " << target;
      EXPECT_TRUE(ReadBytes(target) == source.bytes) << source.path << " to " << target;
      EXPECT_EQ(ModeOf(target), 0600u);
    }
  }
  if (haveShm) {
    ::unlink((std::string(shm) + "/to").c_str());
    ::rmdir(shm);
  }

  // A link planted where the copy goes is not followed.
  WriteBytes(env.Path("victim"), "kept");
  ASSERT_EQ(::symlink(env.Path("victim").c_str(), env.Path("planted").c_str()), 0);
  EXPECT_FALSE(platform::CopyFileReplacing(env.Path("large"), env.Path("planted")));
  EXPECT_EQ(ReadBytes(env.Path("victim")), "kept");
}

// Brackets and backslashes are part of a name, never a set or an escape:
// a file that exists is taken as named, and only "*" and "?" match others.
TEST(FindFirstFile, OnlyStarAndQuestionMarkAreWildcards) {
  TestEnvironment env;
  ::mkdir(env.Path("d").c_str(), 0700);
  for (const char* name : {"d/photo[1].html", "d/photo1.html", "d/a\\b.html", "d/ab.html"})
    WriteBytes(env.Path(name), "");
  struct Case {
    const char* asked;
    const char* found;  // nullptr: none
  };
  const Case cases[] = {
      {"d/photo[1].html", "d/photo[1].html"}, {"d/photo[12].html", nullptr},
      {"d/photo[2].html", nullptr},           {"d/photo[1]*", "d/photo[1].html"},
      {"d/photo[?].html", "d/photo[1].html"}, {"d/photo?.html", "d/photo1.html"},
      {"d/a\\b.html", "d/a\\b.html"},         {"d/a\\b*", "d/a\\b.html"},
      {"d/*[*", "d/photo[1].html"},
  };
  for (const Case& c : cases) {
    const std::optional<std::string> want =
        c.found ? std::optional<std::string>(env.Path(c.found)) : std::nullopt;
    EXPECT_EQ(platform::FindFirstFile(env.Path(c.asked)), want) << c.asked;
  }
}

TEST(FindFirstFile, GivesTheFirstMatchAsAFullPath) {
  TestEnvironment env;
  ::mkdir(env.Path("d").c_str(), 0700);
  for (const char* name : {"d/b.url", "d/a.URL", "d/c.html", "d/.hidden.html"})
    WriteBytes(env.Path(name), "");
  EXPECT_EQ(platform::FindFirstFile(env.Path("d/*.html")), env.Path("d/.hidden.html"));
  EXPECT_EQ(platform::FindFirstFile(env.Path("d/?.url")), env.Path("d/b.url"));
  EXPECT_EQ(platform::FindFirstFile(env.Path("d/c.html")), env.Path("d/c.html"));
  EXPECT_EQ(platform::FindFirstFile(env.Path("d/*.png")), std::nullopt);
  EXPECT_EQ(platform::FindFirstFile(env.Path("d/missing")), std::nullopt);
  EXPECT_EQ(platform::FindFirstFile(env.Path("nowhere/*")), std::nullopt);

  char old[4096];
  ASSERT_NE(::getcwd(old, sizeof old), nullptr);
  ASSERT_EQ(::chdir(env.Path("d").c_str()), 0);
  EXPECT_EQ(platform::FindFirstFile("c.*"), env.Path("d/c.html"));
  // The path shown in the address field is clean: no ".", ".." or "//".
  EXPECT_EQ(platform::FindFirstFile("../d/b.url"), env.Path("d/b.url"));
  EXPECT_EQ(platform::FindFirstFile(".//./c.h*"), env.Path("d/c.html"));
  ASSERT_EQ(::chdir(old), 0);

  // Through a symbolic link, ".." is the link target's parent, as the
  // system reads it, not the text's.
  ::mkdir(env.Path("d/sub").c_str(), 0700);
  ASSERT_EQ(::symlink(env.Path("d/sub").c_str(), env.Path("link").c_str()), 0);
  char* real = ::realpath(env.Path("d").c_str(), nullptr);
  ASSERT_NE(real, nullptr);
  EXPECT_EQ(platform::FindFirstFile(env.Path("link/../b.url")), std::string(real) + "/b.url");
  std::free(real);
}

}  // namespace

// The profile: INI files as the program reads and writes them, and the
// application object's operations on its own profile.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/private_profile.h"
#include "settings/profile_keys.h"
#include "tests/support/test_environment.h"
#include "ui/harvest_app.h"

using platform::GetPrivateProfileInt;
using platform::GetPrivateProfileString;
using platform::WritePrivateProfileString;
using testing_support::Exists;
using testing_support::ReadBytes;
using testing_support::TestEnvironment;
using testing_support::WriteBytes;

namespace {

const std::string kHandMade =
    "; my settings\r\n"
    "[Other]\r\n"
    "image=7\r\n"
    "\r\n"
    "[ parameter ]\r\n"
    "  OUTPUTTYPE = 2  \r\n"
    "SaveFolder=\r\n"
    "times=-3\r\n"
    "clip=12abc\r\n"
    "exe=abc\r\n"
    "extra= +5\r\n"
    "movie=99999999999\r\n"
    "# a note\r\n"
    "[Last]\r\n"
    "k=v";

TEST(PrivateProfile, ReadsKeysWithDefaultsCaseAndEmptyValues) {
  TestEnvironment env;
  const std::string path = env.Path("p.INI");
  WriteBytes(path, kHandMade);
  struct IntCase {
    const char* key;
    int def;
    int value;
  };
  const std::vector<IntCase> ints = {
      {"OutPutType", 1, 2}, {"outputtype", 1, 2},     {"times", 0, -3}, {"clip", 0, 12},
      {"exe", 4, 0},        {"extra", 0, 5},          {"image", 1, 1},  {"SaveFolder", 8, 8},
      {"missing", 42, 42},  {"movie", 0, 1215752191},
  };
  for (const IntCase& c : ints)
    EXPECT_EQ(GetPrivateProfileInt("Parameter", c.key, c.def, path), c.value) << c.key;

  EXPECT_EQ(GetPrivateProfileString("PARAMETER", "SaveFolder", "/def/", path), "");
  EXPECT_EQ(GetPrivateProfileString("Parameter", "extent", ".???", path), ".???");
  EXPECT_EQ(GetPrivateProfileString("Parameter", "OutPutType", "", path), "2");
  EXPECT_EQ(GetPrivateProfileString("Other", "image", "", path), "7");
  EXPECT_EQ(GetPrivateProfileString("Last", "k", "", path), "v");
  EXPECT_EQ(GetPrivateProfileString("Nowhere", "k", "d", path), "d");
  EXPECT_EQ(GetPrivateProfileString("Parameter", "k", "d", env.Path("no-file")), "d");
  EXPECT_EQ(GetPrivateProfileInt("Parameter", "times", 9, env.Path("no-file")), 9);
}

TEST(PrivateProfile, WritesKeepTheRestOfAHandMadeFile) {
  TestEnvironment env;
  const std::string path = env.Path("p.INI");
  WriteBytes(path, kHandMade);
  ASSERT_TRUE(WritePrivateProfileString("Parameter", "outputtype", "1", path));
  ASSERT_TRUE(WritePrivateProfileString("Parameter", "extent", ".png", path));
  ASSERT_TRUE(WritePrivateProfileString("New", "a", "b", path));
  ASSERT_TRUE(WritePrivateProfileString("Last", "k2", "v2", path));
  EXPECT_EQ(ReadBytes(path),
            "; my settings\r\n"
            "[Other]\r\n"
            "image=7\r\n"
            "\r\n"
            "[ parameter ]\r\n"
            "outputtype=1\r\n"
            "SaveFolder=\r\n"
            "times=-3\r\n"
            "clip=12abc\r\n"
            "exe=abc\r\n"
            "extra= +5\r\n"
            "movie=99999999999\r\n"
            "# a note\r\n"
            "extent=.png\r\n"
            "[Last]\r\n"
            "k=v\r\n"
            "k2=v2\r\n"
            "\r\n"
            "[New]\r\n"
            "a=b\r\n");
  EXPECT_EQ(GetPrivateProfileString("Other", "image", "", path), "7");
}

TEST(PrivateProfile, RoundTripsAndReplacesTheFileWhole) {
  TestEnvironment env;
  const std::string path = env.Path("p.INI");
  const std::vector<std::string> values = {"", "/home/u/\xE7\x94\xBB\xE5\x83\x8F/", "a=b;c", "[x]",
                                           std::string(100000, 'v')};
  for (const std::string& v : values) {
    ASSERT_TRUE(WritePrivateProfileString("Parameter", "SaveFolder", v, path));
    EXPECT_EQ(GetPrivateProfileString("Parameter", "SaveFolder", "default", path), v);
  }
  // A value with a line break would plant lines of its own; it is refused
  // and the file stays as it was.
  const std::string before = ReadBytes(path);
  EXPECT_FALSE(WritePrivateProfileString("Parameter", "SaveFolder", "x\r\n[Evil]\r\nk=v", path));
  EXPECT_FALSE(WritePrivateProfileString("Parameter", "bad=key", "v", path));
  EXPECT_EQ(ReadBytes(path), before);

  // Each write is a new file renamed over the old one: a reader holding the
  // old file keeps seeing it whole, and no temporary file is left behind.
#ifndef _WIN32  // no inode numbers there
  struct stat old {
  }, now{};
  ASSERT_EQ(::stat(path.c_str(), &old), 0);
  ASSERT_TRUE(WritePrivateProfileString("Parameter", "times", "3", path));
  ASSERT_EQ(::stat(path.c_str(), &now), 0);
  EXPECT_NE(old.st_ino, now.st_ino);
#else
  ASSERT_TRUE(WritePrivateProfileString("Parameter", "times", "3", path));
#endif
  // The lock file that writers take turns on stays.
  int entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(env.Dir())) {
    const std::string name = entry.path().filename().string();
    entries += name.rfind("p.INI", 0) == 0 && name != "p.INI.lock";
  }
  EXPECT_EQ(entries, 1);
}

// Two writers of one profile (two windows with private folders of their
// own) each read, change and replace it: neither loses the other's keys.
TEST(PrivateProfile, ConcurrentWritersKeepEachOthersKeys) {
  TestEnvironment env;
  const std::string path = env.Path("p.INI");
  constexpr int kKeys = 200;
  auto writer = [&path](char who) {
    for (int i = 0; i < kKeys; ++i)
      EXPECT_TRUE(WritePrivateProfileString("Parameter", who + std::to_string(i), "v", path));
  };
  std::thread one(writer, 'a'), two(writer, 'b');
  one.join();
  two.join();
  int missing = 0;
  for (char who : {'a', 'b'})
    for (int i = 0; i < kKeys; ++i)
      missing += GetPrivateProfileString("Parameter", who + std::to_string(i), "", path) != "v";
  EXPECT_EQ(missing, 0);
}

TEST(PrivateProfile, ReadsBrokenFilesWithoutHarm) {
  TestEnvironment env;
  const std::string path = env.Path("p.INI");
  struct Case {
    const char* what;
    std::string content;
  };
  std::string huge = "[Parameter]\ntimes=5\n";
  huge.resize(17 * 1024 * 1024, 'z');
  const std::vector<Case> cases = {
      {"binary", std::string("\0\xFF\xFE[\x01\x02=\x03\n\0\0", 11)},
      {"no section end", "[Parameter\ntimes=5\n"},
      {"one long line", std::string(2 * 1024 * 1024, '=')},
      {"long key line", "[Parameter]\n" + std::string(1 << 20, 'k') + "=1\n"},
      {"huge", huge},
      {"lf only", "[Parameter]\ntimes=5"},
  };
  for (const Case& c : cases) {
    WriteBytes(path, c.content);
    int times = GetPrivateProfileInt("Parameter", "times", 9, path);
    EXPECT_TRUE(times == 9 || times == 5) << c.what;
  }
  WriteBytes(path, "[Parameter]\ntimes=5");
  EXPECT_EQ(GetPrivateProfileInt("Parameter", "times", 9, path), 5);
  ASSERT_TRUE(WritePrivateProfileString("Parameter", "clip", "1", path));
  EXPECT_EQ(ReadBytes(path), "[Parameter]\ntimes=5\nclip=1\n");  // its own line ends kept

  // A file too big to be a profile is left alone rather than rewritten.
  WriteBytes(path, huge);
  EXPECT_EQ(GetPrivateProfileInt("Parameter", "times", 9, path), 9);
  EXPECT_FALSE(WritePrivateProfileString("Parameter", "clip", "1", path));
  EXPECT_EQ(ReadBytes(path).size(), huge.size());
}

// Only a regular file is read or replaced. Whatever else stands in the
// profile's place reads as missing, and a write fails and leaves it there.
#ifndef _WIN32  // FIFOs, devices and links are POSIX's
TEST(PrivateProfile, WhatIsNoRegularFileIsNeitherWaitedOnNorReplaced) {
  // Opening a FIFO for reading waits for a writer that never comes: fail
  // here rather than hang until the suite's time runs out.
  ::alarm(20);
  struct AlarmOff {
    ~AlarmOff() { ::alarm(0); }
  } alarmOff;
  TestEnvironment env;
  const std::string fifo = env.Path("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  struct Case {
    const char* what;
    std::function<bool(const std::string& path)> plant;
  };
  const std::vector<Case> cases = {
      {"a FIFO", [](const std::string& p) { return ::mkfifo(p.c_str(), 0600) == 0; }},
      {"a link to a FIFO",
       [&](const std::string& p) { return ::symlink(fifo.c_str(), p.c_str()) == 0; }},
      {"a link to a device",
       [](const std::string& p) { return ::symlink("/dev/null", p.c_str()) == 0; }},
      {"a folder", [](const std::string& p) { return ::mkdir(p.c_str(), 0700) == 0; }},
  };
  char name[] = "p0.INI";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = env.Path(name);
    ++name[1];
    ASSERT_TRUE(c.plant(path));
    struct stat before {};
    ASSERT_EQ(::lstat(path.c_str(), &before), 0);

    EXPECT_EQ(GetPrivateProfileInt("Parameter", "times", 9, path), 9);
    EXPECT_EQ(GetPrivateProfileString("Parameter", "extent", ".???", path), ".???");
    EXPECT_FALSE(WritePrivateProfileString("Parameter", "times", "1", path));
    struct stat after {};
    ASSERT_EQ(::lstat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(after.st_ino, before.st_ino);
  }
}

#endif

TEST(HarvestApp, StartsEmptyAndKeepsItsProfileInTheConfigurationFolder) {
  TestEnvironment env;
  CHarvestApp& app = env.App();
  EXPECT_EQ(platform::AfxGetApp(), &app);
  EXPECT_EQ(&GetHarvestApp(), &app);
  EXPECT_EQ(app.m_nTimes, 0);
  EXPECT_EQ(app.m_strUserId, "");
  EXPECT_EQ(app.m_strPassword, "");
  EXPECT_EQ(app.m_strExtent, "");
  for (int flag : {app.m_bImage, app.m_bArchive, app.m_bWave, app.m_bMovie, app.m_bExtra,
                   app.m_bExe, app.m_bClip})
    EXPECT_EQ(flag, 0);
  EXPECT_EQ(app.m_hMutex, nullptr);
  EXPECT_EQ(app.ProfilePath(), env.Path("config/vimbel/vimbel.INI"));
  EXPECT_EQ(profile::DefaultSaveFolder(), env.HomeDir());

  // No file yet: every key reads as its default; the first write makes the
  // folder and the file.
  EXPECT_EQ(app.GetProfileInt(profile::kSection, profile::kFileSelect, profile::kFileSelectDefault),
            2);
  EXPECT_EQ(app.GetProfileString(profile::kSection, profile::kExtent, profile::kExtentDefault),
            ".???");
  EXPECT_TRUE(app.WriteProfileInt(profile::kSection, profile::kTimes, -2));
  EXPECT_TRUE(app.WriteProfileString(profile::kSection, profile::kSaveFolder, "/x/"));
  EXPECT_EQ(app.GetProfileInt(profile::kSection, profile::kTimes, 0), -2);
  EXPECT_EQ(ReadBytes(app.ProfilePath()), "[Parameter]\r\ntimes=-2\r\nSaveFolder=/x/\r\n");
}

#ifdef _WIN32
TEST(HarvestApp, ProfileLivesUnderTheRoamingApplicationData) {
  TestEnvironment env;
  EXPECT_EQ(platform::DefaultProfilePath("vimbel"), env.Path("config\\vimbel\\vimbel.INI"));
}
#else
TEST(HarvestApp, ProfileFolderFollowsTheEnvironment) {
  TestEnvironment env;
  ::setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
  EXPECT_EQ(platform::DefaultProfilePath("vimbel"), env.HomeDir() + ".config/vimbel/vimbel.INI");
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(platform::DefaultProfilePath("vimbel"), env.HomeDir() + ".config/vimbel/vimbel.INI");
  ::setenv("XDG_CONFIG_HOME", "/cfg/", 1);
  EXPECT_EQ(platform::DefaultProfilePath("vimbel"), "/cfg/vimbel/vimbel.INI");
}
#endif

}  // namespace

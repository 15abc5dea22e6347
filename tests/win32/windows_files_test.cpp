// The Windows build's own file services: the user's folders, and names
// outside the system's code page, which must reach the system as UTF-16.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/file_io.h"
#include "platform/file_system.h"
#include "platform/private_profile.h"
#include "platform/text_file.h"
#include "tests/support/test_environment.h"
// Last: its macros would rename what the headers above declare.
#include "platform/windows/windows_api.h"

#include <io.h>
#include <winternl.h>

using testing_support::TestEnvironment;

namespace {

// What the descriptor's handle may do: Wine cuts a file through any handle,
// Windows only through one that may write its data.
ACCESS_MASK GrantedAccess(int fd) {
  PUBLIC_OBJECT_BASIC_INFORMATION info{};
  ULONG size = 0;
  const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  return NT_SUCCESS(::NtQueryObject(handle, ObjectBasicInformation, &info, sizeof info, &size))
             ? info.GrantedAccess
             : 0;
}

TEST(WindowsFolders, TemporaryAndHomeFoldersAreTheUsersOwnWithABackslash) {
  TestEnvironment env;
  EXPECT_EQ(platform::TempFolder(), env.Path("tmp\\"));
  EXPECT_EQ(platform::HomeFolder(), env.HomeDir());
  EXPECT_EQ(platform::HomeFolder().back(), '\\');
}

// Each service given a Japanese name: a call through the system's 8-bit
// functions would store or look for a different name.
TEST(WindowsFiles, JapaneseNamesReachTheDiskAsTheyAre) {
  TestEnvironment env;
  const std::string folder = env.Path("画像集\\");
  const std::string name = folder + "リンク一覧.txt";
  ASSERT_TRUE(platform::MakeParentFolders(name));

  platform::TextWriter out;
  ASSERT_TRUE(out.Open(name, platform::TextWriter::Mode::kAppend));
  ASSERT_TRUE(out.Write("ｱ\n"));
  ASSERT_TRUE(out.Close());
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::u8path(name)));
  std::ifstream stored(std::filesystem::u8path(name), std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(stored), {}), "ｱ\r\n");
  stored.close();

  platform::TextReader in;
  ASSERT_TRUE(in.Open(name));
  std::string line;
  EXPECT_TRUE(in.ReadLine(line));
  EXPECT_EQ(line, "ｱ\n");
  in.Close();

  EXPECT_TRUE(platform::FileExists(name));
  EXPECT_FALSE(platform::IsDirectory(name));
  EXPECT_TRUE(platform::IsDirectory(folder));
  EXPECT_EQ(platform::FindFirstFile(folder + "リンク*"), name);
  EXPECT_EQ(platform::CanonicalExistingPath(folder), env.Path("画像集"));

  const std::string copy = folder + "写し.txt";
  ASSERT_TRUE(platform::CopyFileReplacing(name, copy));
  EXPECT_TRUE(platform::FileExists(copy));
  EXPECT_TRUE(platform::RemoveFile(copy));
  EXPECT_FALSE(platform::FileExists(copy));

  const std::string profile = folder + "設定.INI";
  ASSERT_TRUE(
      platform::WritePrivateProfileString("Parameter", "SaveFolder", "C:\\写真\\", profile));
  EXPECT_EQ(platform::GetPrivateProfileString("Parameter", "SaveFolder", "", profile),
            "C:\\写真\\");
  ASSERT_TRUE(platform::WritePrivateProfileString("Parameter", "times", "2", profile));
  EXPECT_EQ(platform::GetPrivateProfileInt("Parameter", "times", 0, profile), 2);
  int entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::u8path(folder)))
    entries += entry.path().extension() == ".INI";
  EXPECT_EQ(entries, 1) << "the profile replaced whole, no temporary left behind";
}

TEST(WindowsFiles, PrivateScratchFilesRefuseAFolderInTheirPlace) {
  TestEnvironment env;
  ASSERT_TRUE(testing_support::CreateFolder(env.Path("scratch")));
  platform::TextWriter out;
  EXPECT_FALSE(out.Open(env.Path("scratch"), platform::TextWriter::Mode::kCreate, true));
  platform::TextReader in;
  EXPECT_FALSE(in.Open(env.Path("scratch")));
}

// A write that fails (a full disk, which Wine cannot be made to show here)
// is taken back by cutting the file to its size at open, through a second
// descriptor that outlives the first. The file opened to append must allow
// the cut and still put every write at the end.
TEST(WindowsFiles, AnAppendCanBeCutBackToTheFileAsItWas) {
  TestEnvironment env;
  const std::string path = env.Path("画像.html");
  struct Case {
    const char* what;
    int (*open)(const std::string&);
  };
  const Case cases[] = {
      {"own file", platform::OpenOwnFileToAppend},
      {"append",
       [](const std::string& p) { return platform::file_io::OpenForWriting(p, true, false); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing_support::WriteBytes(path, "earlier\r\n");
    const int fd = c.open(path);
    ASSERT_GE(fd, 0);
    const long long opened = platform::file_io::RegularFileSize(fd);
    EXPECT_EQ(opened, 9);
    EXPECT_TRUE(platform::file_io::WriteAll(fd, "<IMG SRC"));
    EXPECT_EQ(testing_support::ReadBytes(path), "earlier\r\n<IMG SRC");
    const int keep = platform::file_io::Duplicate(fd);
    ASSERT_GE(keep, 0);
    EXPECT_TRUE(GrantedAccess(keep) & FILE_WRITE_DATA) << "Windows would refuse the cut";
    EXPECT_TRUE(platform::file_io::Close(fd));
    EXPECT_TRUE(platform::file_io::CutTo(keep, opened));
    EXPECT_TRUE(platform::file_io::Close(keep));
    EXPECT_EQ(testing_support::ReadBytes(path), "earlier\r\n");
  }
}

}  // namespace

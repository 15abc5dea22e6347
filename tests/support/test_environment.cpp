#include "tests/support/test_environment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#ifdef _WIN32
#include "platform/windows/wide_text.h"
#include "platform/windows/windows_api.h"
#endif

namespace testing_support {

namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
// Where the Windows build looks: GetTempPathW reads TMP, the profile goes
// under APPDATA, the home folder is USERPROFILE.
const char* const kOverridden[] = {"USERPROFILE", "APPDATA", "TMP", "TEMP"};
const std::pair<const char*, const char*> kPlaces[] = {
    {"USERPROFILE", "home"}, {"APPDATA", "config"}, {"TMP", "tmp"}, {"TEMP", "tmp"}};
#else
const char* const kOverridden[] = {"HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR", "TMPDIR"};
const std::pair<const char*, const char*> kPlaces[] = {{"HOME", "home"},
                                                       {"XDG_CONFIG_HOME", "config"},
                                                       {"XDG_RUNTIME_DIR", "runtime"},
                                                       {"TMPDIR", "tmp"}};
#endif

// The program's paths are UTF-8; on Windows a narrow std::filesystem path
// would be read in the system's code page instead.
fs::path FsPath(const std::string& utf8) {
  return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

#ifdef _WIN32
// Removes `path` (in the "\\?\" form, for any length) and all it holds.
void RemoveTree(const std::wstring& path) {
  WIN32_FIND_DATAW found;
  HANDLE find = ::FindFirstFileW((path + L"\\*").c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = path + L"\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        ::SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(child.c_str());
      }
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
  }
  ::RemoveDirectoryW(path.c_str());
}
#endif

// A new folder of the test's own under the system's temporary folder.
std::string MakeTestFolder() {
  std::error_code ec;
  fs::path base = fs::temp_directory_path(ec);
  std::random_device random;
  for (int attempt = 0; !ec && attempt < 100; ++attempt) {
    fs::path dir = base / ("vimbel-test-" + std::to_string(random()));
    if (fs::create_directory(dir, ec)) {
      fs::permissions(dir, fs::perms::owner_all, ec);
      return Utf8(dir) + static_cast<char>(fs::path::preferred_separator);
    }
  }
  ADD_FAILURE() << "cannot make a test folder in " << Utf8(base);
  return std::string(".") + static_cast<char>(fs::path::preferred_separator);
}

}  // namespace

void SetEnvironment(const std::string& name, const char* value) {
#ifdef _WIN32
  ::_putenv_s(name.c_str(), value ? value : "");
#else
  if (value)
    ::setenv(name.c_str(), value, 1);
  else
    ::unsetenv(name.c_str());
#endif
}

bool CreateFolder(const std::string& path) {
  std::error_code ec;
  if (!fs::create_directory(FsPath(path), ec)) return false;
  fs::permissions(FsPath(path), fs::perms::owner_all, ec);
  return true;
}

TestEnvironment::TestEnvironment() {
  m_dir = MakeTestFolder();
  for (const char* sub : {"home", "config", "runtime", "tmp"}) CreateFolder(m_dir + sub);

  for (const char* name : kOverridden) {
    const char* old = std::getenv(name);
    m_savedEnv.emplace_back(name, old ? std::make_unique<std::string>(old) : nullptr);
  }
  for (auto [name, sub] : kPlaces) SetEnvironment(name, (m_dir + sub).c_str());

  m_app = std::make_unique<CHarvestApp>();
}

TestEnvironment::~TestEnvironment() {
  m_app.reset();
  for (auto& [name, value] : m_savedEnv) SetEnvironment(name, value ? value->c_str() : nullptr);
  std::error_code ec;
  if (m_dir.size() > 1) {
#ifdef _WIN32
    // The C runtime under std::filesystem cannot reach paths a test made
    // longer than MAX_PATH; the system's wide calls can.
    RemoveTree(platform::win32::Widen("\\\\?\\" + m_dir.substr(0, m_dir.size() - 1)));
#endif
    const fs::path dir = FsPath(m_dir);
    // Folders a test made unreadable would stop the clean-up.
    for (auto it = fs::recursive_directory_iterator(
             dir, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
      if (it->is_directory(ec) && !it->is_symlink(ec))
        fs::permissions(it->path(), fs::perms::owner_all, ec);
    }
    fs::permissions(dir, fs::perms::owner_all, ec);
    fs::remove_all(dir, ec);
  }
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(FsPath(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) ADD_FAILURE() << "cannot write " << path;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(FsPath(path), std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool Exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(FsPath(path), ec));
}

}  // namespace testing_support

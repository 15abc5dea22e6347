#include "tests/support/test_environment.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace testing_support {

namespace {

const char* const kOverridden[] = {"HOME", "XDG_CONFIG_HOME", "XDG_RUNTIME_DIR", "TMPDIR"};

}  // namespace

TestEnvironment::TestEnvironment() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/vimbel-test-XXXXXX";
  if (!::mkdtemp(pattern.data())) {
    ADD_FAILURE() << "cannot make a test folder from " << pattern;
    pattern = "/tmp";
  }
  m_dir = pattern + "/";
  for (const char* sub : {"home", "config", "runtime", "tmp"})
    ::mkdir((m_dir + sub).c_str(), 0700);

  for (const char* name : kOverridden) {
    const char* old = std::getenv(name);
    m_savedEnv.emplace_back(name, old ? std::make_unique<std::string>(old) : nullptr);
  }
  ::setenv("HOME", (m_dir + "home").c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", (m_dir + "config").c_str(), 1);
  ::setenv("XDG_RUNTIME_DIR", (m_dir + "runtime").c_str(), 1);
  ::setenv("TMPDIR", (m_dir + "tmp").c_str(), 1);

  m_app = std::make_unique<CHarvestApp>();
}

TestEnvironment::~TestEnvironment() {
  m_app.reset();
  for (auto& [name, value] : m_savedEnv) {
    if (value)
      ::setenv(name.c_str(), value->c_str(), 1);
    else
      ::unsetenv(name.c_str());
  }
  std::error_code ec;
  if (m_dir.size() > 1) {
    // Folders a test made unreadable would stop the clean-up.
    for (auto it = std::filesystem::recursive_directory_iterator(
             m_dir, std::filesystem::directory_options::skip_permission_denied, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
      if (it->is_directory(ec) && !it->is_symlink(ec)) ::chmod(it->path().c_str(), 0700);
    }
    ::chmod(m_dir.c_str(), 0700);
    std::filesystem::remove_all(m_dir, ec);
  }
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) ADD_FAILURE() << "cannot write " << path;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

}  // namespace testing_support

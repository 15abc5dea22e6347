#pragma once
// A private world for one test: a fresh temporary folder that stands in for
// the user's home, configuration folder, runtime folder and TMPDIR, and an
// application object whose profile lives there. Everything is put back and
// removed when the object goes.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ui/harvest_app.h"

namespace testing_support {

class TestEnvironment {
 public:
  TestEnvironment();
  ~TestEnvironment();
  TestEnvironment(const TestEnvironment&) = delete;
  TestEnvironment& operator=(const TestEnvironment&) = delete;

  // The test's folder, ending in the system's separator; `Path("x/y")` is
  // a file in it, its "/" turned into that separator.
  const std::string& Dir() const { return m_dir; }
  char Separator() const { return m_dir.back(); }
  std::string Path(std::string name) const {
    for (char& c : name)
      if (c == '/') c = Separator();
    return m_dir + name;
  }
  // The home folder for the test (ends in the separator); also the default
  // save folder.
  std::string HomeDir() const { return Path("home/"); }

  CHarvestApp& App() { return *m_app; }
  const std::string& ProfilePath() const { return m_app->ProfilePath(); }

 private:
  std::string m_dir;
  std::vector<std::pair<std::string, std::unique_ptr<std::string>>> m_savedEnv;
  std::unique_ptr<CHarvestApp> m_app;
};

// Sets an environment variable for this process; nullptr removes it.
void SetEnvironment(const std::string& name, const char* value);

// Makes one folder, private to the user. False when it cannot be made.
bool CreateFolder(const std::string& path);

// Whole-file helpers in binary mode, for setting up and checking bytes.
void WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);
bool Exists(const std::string& path);

}  // namespace testing_support

#pragma once
// What the loopback tests share: a private environment, a running server,
// and an engine that records what the user would see.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/http_server.h"
#include "tests/support/recording_engine.h"
#include "tests/support/test_environment.h"

namespace net_tests {

// Loopback requests must not wander off to a proxy from the environment.
class NoProxy {
 public:
  NoProxy() {
    for (const char* name : kNames) {
      const char* old = std::getenv(name);
      m_saved.push_back(old ? std::optional<std::string>(old) : std::nullopt);
      testing_support::SetEnvironment(name, "*");
    }
  }
  ~NoProxy() {
    for (size_t i = 0; i < std::size(kNames); ++i) {
      testing_support::SetEnvironment(kNames[i], m_saved[i] ? m_saved[i]->c_str() : nullptr);
    }
  }

 private:
  static constexpr const char* kNames[] = {"no_proxy", "NO_PROXY"};
  std::vector<std::optional<std::string>> m_saved;
};

class LoopbackTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(server.Start()); }

  std::string PagePath() const { return env.Path("tmp/vimbel.tmp"); }

  NoProxy noProxy;
  testing_support::TestEnvironment env;
  test::HttpServer server;
  testing_support::RecordingEngine engine{env.App()};
};

struct Shown {
  std::string text;
  std::string caption;
  unsigned type;
  bool operator==(const Shown&) const = default;
};

inline std::vector<Shown> Messages(const testing_support::RecordingEngine& engine) {
  std::vector<Shown> out;
  for (const auto& m : engine.Messages()) out.push_back({m.text, m.caption, m.type});
  return out;
}

inline void PrintTo(const Shown& m, std::ostream* os) {
  *os << "{\"" << m.text << "\", \"" << m.caption << "\", " << m.type << "}";
}

}  // namespace net_tests

// The Qt tests run with real widgets on the offscreen platform, one
// QApplication for the whole program and the Qt backend installed.
#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>

#include "platform/qt/qt_backend.h"
#include "tests/qt/qt_test_support.h"

namespace {

// Every test must close what it opened.
class NoWindowLeftBehind : public testing::EmptyTestEventListener {
  void OnTestEnd(const testing::TestInfo&) override {
    std::string which;
    EXPECT_TRUE(qt_test::NoTopLevelWindowOpen(&which)) << "left open: " << which;
  }
};

}  // namespace

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  auto backend = platform::qt::CreateQtBackend();
  platform::SetWindowBackend(backend.get());
  testing::UnitTest::GetInstance()->listeners().Append(new NoWindowLeftBehind);
  const int result = RUN_ALL_TESTS();
  platform::SetWindowBackend(nullptr);
  return result;
}

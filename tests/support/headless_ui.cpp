#include "tests/support/headless_ui.h"

#include <gtest/gtest.h>

namespace testing_support {

HeadlessUi::HeadlessUi() {
  m_backend.SetProblemHandler([](const std::string& what) { ADD_FAILURE() << what; });
  platform::SetWindowBackend(&m_backend);
}

HeadlessUi::~HeadlessUi() {
  // Finish() reports the answers left over through the handler.
  m_backend.Finish();
  platform::SetWindowBackend(nullptr);
}

}  // namespace testing_support

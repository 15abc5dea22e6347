#pragma once
// The headless backend installed for one test. Every problem it meets (a
// message box nobody expected, a user action that was impossible) fails the
// test where it happens, and answers left over fail it at the end.
#include "platform/headless/headless_backend.h"

namespace testing_support {

class HeadlessUi {
 public:
  HeadlessUi();
  ~HeadlessUi();
  HeadlessUi(const HeadlessUi&) = delete;
  HeadlessUi& operator=(const HeadlessUi&) = delete;

  platform::headless::HeadlessBackend& Backend() { return m_backend; }
  platform::headless::HeadlessBackend* operator->() { return &m_backend; }

 private:
  platform::headless::HeadlessBackend m_backend;
};

}  // namespace testing_support

#pragma once
// The headless backend installed for one test. Every problem it meets (a
// message box nobody expected, a user action that was impossible) fails the
// test where it happens, and answers left over fail it at the end.
#include <memory>

#include "platform/headless/headless_backend.h"
#include "tests/support/test_environment.h"
#include "ui/harvest_dlg.h"

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

// The main dialog on the headless backend with a fresh profile. The window
// opens when the test says (Open), after it has set up the clipboard, the
// command line or the profile.
struct HeadlessMainDialog {
  TestEnvironment env;
  HeadlessUi ui;
  CHarvestDlg dlg;
  std::unique_ptr<platform::headless::HeadlessWindow> w;

  void Open() { w = ui->Open(dlg); }
};

}  // namespace testing_support

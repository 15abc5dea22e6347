#pragma once
// Driving real Qt windows from a test: run code once a dialog is open,
// answer message boxes and sub-dialogs as they appear, press keys and click.
#include <QMessageBox>
#include <QWidget>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/dialog.h"
#include "platform/qt/dialog_window.h"
#include "tests/support/test_environment.h"
#include "ui/harvest_dlg.h"

namespace qt_test {

using platform::qt::DialogWindow;

// The main dialog with a fresh profile; the program's main window while it
// lives, as start-up makes it.
struct MainDialog {
  testing_support::TestEnvironment env;
  CHarvestDlg dlg;
  MainDialog() { env.App().m_pMainWnd = &dlg; }
  ~MainDialog() { env.App().m_pMainWnd = nullptr; }
  MainDialog(const MainDialog&) = delete;
  MainDialog& operator=(const MainDialog&) = delete;
};

// Runs `body` inside `dlg`'s modal loop once its window is open, then runs
// the dialog; returns DoModal's result. A dialog still open 20 s after
// `body` returned is ended with -2 and the test fails.
int RunDialog(platform::CDialog& dlg, const std::function<void(DialogWindow&)>& body);

// Everything shown modally on top of the dialog under test, answered as it
// appears: message boxes are recorded and confirmed; a dialog of a template
// with a handler gets it once per opening.
class ModalWatcher {
 public:
  struct Box {
    std::string text;
    std::string caption;
    QMessageBox::Icon icon;
    QWidget* owner;
  };

  ModalWatcher();
  ~ModalWatcher();
  ModalWatcher(const ModalWatcher&) = delete;
  ModalWatcher& operator=(const ModalWatcher&) = delete;

  void OnDialog(int templateId, std::function<void(DialogWindow&)> handler) {
    m_handlers[templateId] = std::move(handler);
  }
  // A box's contents while it is open (before it is confirmed).
  std::function<void(QMessageBox&)> m_onBox;

  std::vector<Box> m_boxes;
  std::vector<int> m_dialogsSeen;

 private:
  void Tick();
  QObject* m_timer;
  std::map<int, std::function<void(DialogWindow&)>> m_handlers;
};

void PressKey(QWidget* target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
void TypeText(QWidget* target, const QString& text);
void Click(QWidget* target);

// Lets the event loop run for about `ms` milliseconds.
void Pump(int ms);

// No window of the program is left open.
bool NoTopLevelWindowOpen(std::string* which = nullptr);

}  // namespace qt_test

#include "tests/qt/qt_test_support.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QWindow>

#include <algorithm>

namespace qt_test {

namespace {
// Marks a window the watcher has answered (windows live on the stack, so
// their addresses come round again).
constexpr const char* kHandled = "answeredByTest";
}  // namespace

int RunDialog(platform::CDialog& dlg, const std::function<void(DialogWindow&)>& body) {
  bool ran = false;
  QTimer::singleShot(0, [&] {
    auto* window = dynamic_cast<DialogWindow*>(dlg.Window());
    ASSERT_NE(window, nullptr) << "the dialog has no Qt window";
    ran = true;
    // The user sees a window before acting on it.
    QElapsedTimer clock;
    clock.start();
    while (!(window->windowHandle() && window->windowHandle()->isExposed()) &&
           clock.elapsed() < 2000)
      QApplication::processEvents(QEventLoop::AllEvents, 10);
    body(*window);
    QTimer::singleShot(20000, window, [window, &dlg] {
      if (dlg.Window() != window) return;
      ADD_FAILURE() << "dialog " << dlg.Template().id << " was left open";
      window->EndModal(-2);
    });
  });
  const int result = dlg.DoModal();
  EXPECT_TRUE(ran) << "the dialog's modal loop never ran";
  return result;
}

ModalWatcher::ModalWatcher() {
  auto* timer = new QTimer;
  QObject::connect(timer, &QTimer::timeout, [this] { Tick(); });
  timer->start(10);
  m_timer = timer;
}

ModalWatcher::~ModalWatcher() { delete m_timer; }

void ModalWatcher::Tick() {
  QWidget* modal = QApplication::activeModalWidget();
  if (!modal || !modal->isVisible()) return;
  if (auto* box = qobject_cast<QMessageBox*>(modal)) {
    if (box->property(kHandled).toBool()) return;
    box->setProperty(kHandled, true);
    m_boxes.push_back({box->text().toStdString(), box->windowTitle().toStdString(), box->icon(),
                       box->parentWidget()});
    if (m_onBox) m_onBox(*box);
    box->button(QMessageBox::Ok)->click();
    return;
  }
  if (auto* dialog = dynamic_cast<DialogWindow*>(modal)) {
    const int id = dialog->Dialog().Template().id;
    auto it = m_handlers.find(id);
    // Only the dialogs the test answers; the one under test is driven by
    // RunDialog's body.
    if (it == m_handlers.end()) return;
    if (dialog->property(kHandled).toBool()) return;
    dialog->setProperty(kHandled, true);
    m_dialogsSeen.push_back(id);
    it->second(*dialog);
  }
}

void PressKey(QWidget* target, int key, Qt::KeyboardModifiers modifiers) {
  QKeyEvent press(QEvent::KeyPress, key, modifiers);
  QApplication::sendEvent(target, &press);
  QKeyEvent release(QEvent::KeyRelease, key, modifiers);
  QApplication::sendEvent(target, &release);
}

void TypeText(QWidget* target, const QString& text) {
  for (const QChar c : text) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
    QApplication::sendEvent(target, &press);
  }
}

void Click(QWidget* target) {
  const QPointF at = QRectF(target->rect()).center();
  const QPointF global = target->mapToGlobal(at);
  QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QApplication::sendEvent(target, &press);
  QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(target, &release);
}

void Pump(int ms) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 10);
}

bool NoTopLevelWindowOpen(std::string* which) {
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (!w->isVisible()) continue;
    if (which)
      *which = w->metaObject()->className() + std::string(" ") + w->windowTitle().toStdString();
    return false;
  }
  return true;
}

}  // namespace qt_test

#pragma once
// One dialog as a real window: a QDialog whose child widgets are built from
// the dialog's template, with the dialog manager's keyboard, focus, group and
// command rules of the desktop the program was written for.
#include <QDialog>
#include <QElapsedTimer>
#include <QSocketNotifier>

#include <map>
#include <vector>

#include "platform/dialog.h"
#include "platform/qt/dialog_font.h"
#include "platform/window_backend.h"

class QTimer;

namespace platform::qt {

class DialogWindow final : public QDialog, public IDialogWindow {
 public:
  // `owner` is the window this one stays above, or nullptr for a top-level
  // window with its own taskbar entry.
  DialogWindow(CDialog& dlg, QWidget* owner);
  ~DialogWindow() override;

  // Attaches to the dialog, initialises it and runs the modal loop; the
  // dialog's result. The window is detached again before this returns.
  int Run();

  CDialog& Dialog() const { return m_dlg; }
  const BaseUnits& Units() const { return m_units; }
  // The widget of control `id`, or of the template's control at `index`.
  QWidget* Control(int id) const;
  QWidget* ControlAt(std::size_t index) const;

  // IDialogWindow
  std::string GetItemText(int id) const override;
  void SetItemText(int id, const std::string& text) override;
  UINT GetCheck(int id) const override;
  void SetCheck(int id, UINT state) override;
  bool IsItemEnabled(int id) const override;
  void EnableItem(int id, bool enable) override;
  void SetFocusItem(int id) override;
  void SetTimer(UINT id, UINT elapseMs) override;
  void KillTimer(UINT id) override;
  bool HasTimer(UINT id) const override;
  void SetIcon(int iconId) override;
  bool IsIconic() const override;
  void EndModal(int result) override;
  bool PollStopRequest() override;
  void Watch(WatchHandle handle, std::function<void()> onReady) override;
  void BringToFront() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void reject() override;
  bool focusNextPrevChild(bool next) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  struct Item {
    const ControlTemplate* tpl;
    QWidget* widget;
    int group;  // index of the group the control belongs to
  };

  void BuildControls();
  QWidget* MakeControl(const ControlTemplate& c);
  const Item* FindItem(const QWidget* widget) const;
  const Item* FindItem(int id) const;
  bool CanTakeFocus(const Item& item) const;
  // The control focus goes to when Tab reaches `item`: for a radio button,
  // the checked one of its group.
  const Item* TabTarget(const Item& item) const;
  void MoveInGroup(const Item& from, bool forward);
  void ClickAutoRadio(const Item& item);
  void Command(int id);
  void DeliverDrop(QDropEvent* event);

  CDialog& m_dlg;
  QFont m_font;
  BaseUnits m_units;
  std::vector<Item> m_items;  // template order, which is the tab order
  std::map<UINT, QTimer*> m_timers;
  bool m_running = false;
  // A command handler that works without returning polls for a stop: then
  // the loop runs for a moment with all input but Escape and the close box
  // dropped, and the watch timer holds its ticks.
  QElapsedTimer m_pollClock;
  bool m_polling = false;
  // Watched descriptors; they wait while a command runs, so that a harvest
  // taking its stop checks does not take a second start's file meanwhile.
  std::vector<QSocketNotifier*> m_watches;
  bool m_stopRequested = false;
  bool m_ended = false;
  int m_result = 0;
};

}  // namespace platform::qt

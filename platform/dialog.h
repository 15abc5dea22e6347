#pragma once
// A modal dialog built from a template in resources/, in the shape the
// program's classes are written against: DoModal, OnInitDialog, OnOK,
// OnCancel, EndDialog, DoDataExchange, a message map, control operations by
// id, message boxes and window timers. The window itself belongs to the
// backend chosen at start (window_backend.h).
#include <functional>
#include <string>
#include <vector>

#include "platform/dialog_template.h"
#include "platform/icon.h"
#include "platform/win_types.h"

namespace platform {

class CDialog;
class IDialogWindow;

// Binds members to controls during DoDataExchange.
class CDataExchange {
 public:
  CDataExchange(CDialog* dlg, bool saveAndValidate)
      : m_pDlgWnd(dlg), m_bSaveAndValidate(saveAndValidate) {}
  CDialog* m_pDlgWnd;
  bool m_bSaveAndValidate;
};

// An edit control of a dialog, reached through its id once bound.
class CEdit {
 public:
  bool IsBound() const { return m_pDlg != nullptr; }
  int GetDlgCtrlID() const { return m_nID; }
  std::string GetWindowText() const;
  int GetWindowTextLength() const;
  void SetWindowText(const std::string& text);
  void EnableWindow(bool enable);
  bool IsWindowEnabled() const;

 private:
  friend void DDX_Control(CDataExchange* pDX, int nIDC, CEdit& rControl);
  CDialog* m_pDlg = nullptr;
  int m_nID = 0;
};

void DDX_Control(CDataExchange* pDX, int nIDC, CEdit& rControl);

// Dropped files as the drop handler receives them; released by DragFinish.
class CDropFiles {
 public:
  explicit CDropFiles(std::vector<std::string> paths) : m_paths(std::move(paths)) {}
  const std::vector<std::string>& Paths() const { return m_paths; }
  bool Finished() const { return m_finished; }
  void Finish() { m_finished = true; }

 private:
  std::vector<std::string> m_paths;
  bool m_finished = false;
};
using HDROP = CDropFiles*;

inline constexpr UINT kDragQueryCount = 0xFFFFFFFFu;
// With index kDragQueryCount: the number of items. Otherwise copies the
// item's name into `buffer` (at most size-1 bytes, zero-terminated) and
// returns its length; 0 when there is no such item.
UINT DragQueryFile(HDROP hDrop, UINT index, char* buffer, UINT size);
void DragFinish(HDROP hDrop);

enum class MessageKind { Command, Timer, DropFiles, Paint, QueryDragIcon };

// One message-map entry. Commands match ids idFirst..idLast and get the id.
struct MessageMapEntry {
  MessageKind kind;
  int idFirst = 0;
  int idLast = 0;
  std::function<void(CDialog& dlg, UINT id, HDROP drop)> handler;
  // A message that asks for an answer (the drag icon): the handler's
  // result, an icon id or 0.
  std::function<int(CDialog& dlg)> answer = nullptr;
};
using MessageMap = std::vector<MessageMapEntry>;

// Builders for derived classes' maps, so entries read like the map they stand
// for: ON_COMMAND(1003, &CHarvestDlg::OnSaveFolder).
template <class T>
MessageMapEntry ON_COMMAND(int id, void (T::*fn)()) {
  return {MessageKind::Command, id, id,
          [fn](CDialog& d, UINT, HDROP) { (static_cast<T&>(d).*fn)(); }};
}
template <class T>
MessageMapEntry ON_COMMAND_RANGE(int first, int last, void (T::*fn)(UINT)) {
  return {MessageKind::Command, first, last,
          [fn](CDialog& d, UINT id, HDROP) { (static_cast<T&>(d).*fn)(id); }};
}
template <class T>
MessageMapEntry ON_WM_TIMER(void (T::*fn)(UINT)) {
  return {MessageKind::Timer, 0, 0,
          [fn](CDialog& d, UINT id, HDROP) { (static_cast<T&>(d).*fn)(id); }};
}
template <class T>
MessageMapEntry ON_WM_DROPFILES(void (T::*fn)(HDROP)) {
  return {MessageKind::DropFiles, 0, 0,
          [fn](CDialog& d, UINT, HDROP h) { (static_cast<T&>(d).*fn)(h); }};
}
template <class T>
MessageMapEntry ON_WM_PAINT(void (T::*fn)()) {
  return {MessageKind::Paint, 0, 0, [fn](CDialog& d, UINT, HDROP) { (static_cast<T&>(d).*fn)(); }};
}
// The drag icon of a minimised window: backends whose system asks for it
// show the icon the handler returns.
template <class T>
MessageMapEntry ON_WM_QUERYDRAGICON(HICON (T::*fn)()) {
  return {MessageKind::QueryDragIcon, 0, 0,
          [fn](CDialog& d, UINT, HDROP) { (void)(static_cast<T&>(d).*fn)(); },
          [fn](CDialog& d) {
            const HICON icon = (static_cast<T&>(d).*fn)();
            return icon ? icon->id : 0;
          }};
}

class CDialog {
 public:
  explicit CDialog(const DialogTemplate& tpl, CDialog* pParent = nullptr);
  virtual ~CDialog();
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  // Runs the dialog modally through the backend; IDOK, IDCANCEL, or the
  // value given to EndDialog. -1 when no window could be made.
  virtual int DoModal();
  void EndDialog(int nResult);

  const DialogTemplate& Template() const { return m_template; }
  CDialog* Parent() const { return m_pParent; }
  bool HasWindow() const { return m_pWindow != nullptr; }
  IDialogWindow* Window() const { return m_pWindow; }

  // Control operations by id. Without a window they read as empty and
  // change nothing.
  std::string GetDlgItemText(int id) const;
  void SetDlgItemText(int id, const std::string& text);
  UINT IsDlgButtonChecked(int id) const;
  void CheckDlgButton(int id, UINT check);
  // Checks `check` and unchecks the other radios of first..last.
  void CheckRadioButton(int first, int last, int check);
  void EnableDlgItem(int id, bool enable);
  bool IsDlgItemEnabled(int id) const;
  void GotoDlgCtrl(int id);

  // A modal message box owned by this dialog; an empty caption means the
  // program's name.
  int MessageBox(const std::string& text, const std::string& caption = {}, UINT type = MB_OK);

  void SetTimer(UINT id, UINT elapseMs);
  void KillTimer(UINT id);

  void SetIcon(int iconId);
  bool IsIconic() const;
  // Above the other windows, with the focus.
  void SetForegroundWindow();
  // `onReady` runs whenever `handle` is ready, while the window is open (see
  // IDialogWindow::Watch).
  void Watch(WatchHandle handle, std::function<void()> onReady);

  // Inside a long-running command handler: true once the user has asked to
  // stop it with the close box or Escape (see IDialogWindow).
  bool PollStopRequest();

  bool UpdateData(bool bSaveAndValidate = true);

  // Entry points for backends: route a message through the message map.
  // Commands not in the map: IDOK runs OnOK, IDCANCEL runs OnCancel.
  void DispatchCommand(int id);
  void DispatchTimer(UINT id);
  // The handler owns the drop until DragFinish; a drop nobody handles is
  // finished here.
  void DispatchDropFiles(HDROP drop);
  void DispatchPaint();
  // The id of the icon the drag-icon handler returns; 0 without one.
  int DispatchQueryDragIcon();
  bool HandlesMessage(MessageKind kind) const;

  // Called by the backend: attach or detach its window, then initialise.
  void AttachWindow(IDialogWindow* window) { m_pWindow = window; }
  BOOL HandleInitDialog() { return OnInitDialog(); }

 protected:
  virtual BOOL OnInitDialog();  // binds through DoDataExchange; TRUE
  virtual void OnOK();          // UpdateData, then EndDialog(IDOK)
  virtual void OnCancel();      // EndDialog(IDCANCEL)
  virtual void DoDataExchange(CDataExchange* pDX);
  virtual const MessageMap& GetMessageMap() const;

 private:
  const DialogTemplate& m_template;
  CDialog* m_pParent;
  IDialogWindow* m_pWindow = nullptr;
};

}  // namespace platform

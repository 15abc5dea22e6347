#pragma once
// The in-memory window backend that every program test runs on. Controls
// live in memory as the templates create them; a test plays the user: it
// types, clicks, presses Enter or Escape, drops files and fires timers. Every
// message box, modal sub-dialog and folder browser takes its answer from a
// queue the test filled ahead of time. A question without a queued answer,
// or an answer left over at the end, is a problem the test fails on.
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/dialog.h"
#include "platform/folder_browser.h"
#include "platform/window_backend.h"

namespace platform::headless {

class HeadlessBackend;

// One dialog's window in memory.
class HeadlessWindow final : public IDialogWindow {
 public:
  HeadlessWindow(HeadlessBackend& backend, CDialog& dlg);
  ~HeadlessWindow() override;
  HeadlessWindow(const HeadlessWindow&) = delete;
  HeadlessWindow& operator=(const HeadlessWindow&) = delete;

  CDialog& Dialog() const { return m_dlg; }
  int TemplateId() const { return m_dlg.Template().id; }

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
  bool IsIconic() const override { return m_iconic; }
  void EndModal(int result) override;

  // What the user does. Each returns false, and records a problem, when the
  // user could not do it (no such control, a disabled one, a window that has
  // already ended).
  // Replaces the whole text of an enabled edit control.
  bool Type(int id, const std::string& text);
  // A click: an auto radio button checks itself and unchecks the rest of its
  // group, an auto check box toggles, then the control's command is sent.
  bool Click(int id);
  // Enter: the default push button's command. Escape: the cancel command.
  bool PressEnter();
  bool PressEscape();
  // The caption's close box, which only a window with a system menu has.
  bool PressCloseBox();
  // Files dropped on the window. The handler must release the drop.
  bool DropFiles(std::vector<std::string> paths);
  // One tick of a running timer.
  bool FireTimer(UINT id);
  void Paint() { m_dlg.DispatchPaint(); }
  void SetIconic(bool iconic) { m_iconic = iconic; }

  // What a test looks at.
  bool Ended() const { return m_ended; }
  int Result() const { return m_result; }
  int FocusItem() const { return m_focus; }
  int Icon() const { return m_icon; }
  std::optional<UINT> TimerPeriod(UINT id) const;
  // Every text SetItemText gave the control, in order (the status line's
  // history, for instance).
  const std::vector<std::string>& TextHistory(int id) const;

 private:
  struct Control {
    const ControlTemplate* tpl;
    std::string text;
    UINT check = BST_UNCHECKED;
    bool enabled = true;
    std::vector<std::string> history;
  };
  Control* Find(int id);
  const Control* Find(int id) const;
  bool Usable(int id, const char* action);
  void UncheckGroupOf(size_t index);

  HeadlessBackend& m_backend;
  CDialog& m_dlg;
  std::vector<Control> m_controls;  // template order
  std::map<UINT, UINT> m_timers;    // id -> period
  int m_focus = 0;
  int m_icon = 0;
  bool m_iconic = false;
  bool m_ended = false;
  int m_result = 0;
};

// A message box as the program showed it.
struct RecordedMessageBox {
  int ownerTemplateId = 0;  // 0: no owner
  std::string text;
  std::string caption;
  UINT type = 0;
  UINT Icon() const { return type & MB_ICONMASK; }
};

// A folder browser as the program opened it.
struct RecordedFolderBrowse {
  int ownerTemplateId = 0;
  std::string title;
  bool fileSystemOnly = true;
  // Each selection request of the browser's initialisation; nullopt for a
  // request that carried no folder.
  std::vector<std::optional<std::string>> selections;
};

class HeadlessBackend final : public IWindowBackend {
 public:
  // The test plays the user of a modal sub-dialog here: it gets the open
  // window and must end it (press a button, Escape, ...).
  using User = std::function<void(HeadlessWindow&)>;

  HeadlessBackend();
  ~HeadlessBackend() override;

  // ---- answers, consumed in order ----
  // The next message box returns `answer` (the program only shows OK boxes).
  void AnswerMessageBox(int answer = IDOK);
  // The next modal run of template `templateId` is played by `user`.
  void ExpectModal(int templateId, User user);
  // The next folder browser returns `folder`; nullopt is Cancel.
  void AnswerFolderBrowser(std::optional<std::string> folder);

  void SetClipboardText(std::optional<std::string> text) { m_clipboard = std::move(text); }

  // Opens `dlg` without a modal run: the window is made and OnInitDialog
  // runs; the test then drives the window. Closing the returned window
  // detaches it from the dialog.
  std::unique_ptr<HeadlessWindow> Open(CDialog& dlg);

  // ---- what happened ----
  const std::vector<RecordedMessageBox>& MessageBoxes() const { return m_boxes; }
  const std::vector<int>& ModalRuns() const { return m_modalRuns; }
  const std::vector<RecordedFolderBrowse>& FolderBrowses() const { return m_browses; }
  int ClipboardReads() const { return m_clipboardReads; }
  // The innermost open window, or nullptr.
  HeadlessWindow* ActiveWindow() const { return m_open.empty() ? nullptr : m_open.back(); }

  // Problems met so far (a question without an answer, a user action that
  // was impossible, ...). Finish() adds the answers left over, clears the
  // queues and returns every problem once.
  void AddProblem(std::string what);
  std::vector<std::string> Finish();
  // Called at once for each problem, besides recording it (a test framework
  // hook); may be empty.
  void SetProblemHandler(std::function<void(const std::string&)> handler) {
    m_onProblem = std::move(handler);
  }

  // IWindowBackend
  int RunModal(CDialog& dlg) override;
  int MessageBox(CDialog* owner, const std::string& text, const std::string& caption,
                 UINT type) override;
  std::optional<std::string> ClipboardText() override;
  std::optional<std::string> BrowseForFolder(const FolderBrowseRequest& request) override;

 private:
  friend class HeadlessWindow;
  void WindowOpened(HeadlessWindow* w) { m_open.push_back(w); }
  void WindowClosed(HeadlessWindow* w);

  std::deque<int> m_boxAnswers;
  std::map<int, std::deque<User>> m_users;
  std::deque<std::optional<std::string>> m_folderAnswers;
  std::optional<std::string> m_clipboard;

  std::vector<RecordedMessageBox> m_boxes;
  std::vector<int> m_modalRuns;
  std::vector<RecordedFolderBrowse> m_browses;
  int m_clipboardReads = 0;
  std::vector<HeadlessWindow*> m_open;

  std::vector<std::string> m_problems;
  std::function<void(const std::string&)> m_onProblem;
};

}  // namespace platform::headless

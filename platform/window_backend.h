#pragma once
// What a window backend (Qt, headless, console) provides to the neutral
// framework. The program never talks to a backend directly: CDialog, CWinApp
// and the free functions of platform/ do.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/win_types.h"

namespace platform {

class CDialog;
struct FolderBrowseRequest;

// One open dialog window. Created by the backend when a dialog runs, and
// gone when the modal run returns.
class IDialogWindow {
 public:
  virtual ~IDialogWindow() = default;

  virtual std::string GetItemText(int id) const = 0;
  virtual void SetItemText(int id, const std::string& text) = 0;
  virtual UINT GetCheck(int id) const = 0;
  virtual void SetCheck(int id, UINT state) = 0;
  virtual bool IsItemEnabled(int id) const = 0;
  virtual void EnableItem(int id, bool enable) = 0;
  virtual void SetFocusItem(int id) = 0;
  // Window timers by id; setting a running id again restarts its period.
  virtual void SetTimer(UINT id, UINT elapseMs) = 0;
  virtual void KillTimer(UINT id) = 0;
  virtual bool HasTimer(UINT id) const = 0;
  // The window's large and small icon, a resource id (128).
  virtual void SetIcon(int iconId) = 0;
  virtual bool IsIconic() const = 0;
  // Ends the modal run with this result.
  virtual void EndModal(int result) = 0;
  // For a handler that works for long without returning: lets the window
  // repaint and take its close box and Escape key, which ask to stop instead
  // of closing it; any other input meanwhile is dropped. True once either
  // was used since the current command began.
  virtual bool PollStopRequest() { return false; }

  // Calls `onReady` on the user-interface thread, from whichever message
  // loop runs, each time `handle` is ready, until the window goes. A backend
  // without an event loop of its own never calls it.
  virtual void Watch(WatchHandle handle, std::function<void()> onReady) {
    (void)handle;
    (void)onReady;
  }
  // Shows the window above the others with the focus, restored when it was
  // minimised. Nothing where there is no desktop.
  virtual void BringToFront() {}
};

class IWindowBackend {
 public:
  virtual ~IWindowBackend() = default;

  // Creates the window of `dlg` from its template, attaches it
  // (CDialog::AttachWindow), calls CDialog::HandleInitDialog, runs until the
  // dialog ends and returns its result. -1 when no window could be made.
  virtual int RunModal(CDialog& dlg) = 0;

  // A modal message box owned by `owner` (nullptr: the main window or none).
  // An empty caption means the program's name. Returns IDOK.
  virtual int MessageBox(CDialog* owner, const std::string& text, const std::string& caption,
                         UINT type) = 0;

  // The clipboard's plain text, or nothing when it holds none.
  virtual std::optional<std::string> ClipboardText() = 0;

  // Shows the folder browser; see folder_browser.h. nullopt on cancel.
  virtual std::optional<std::string> BrowseForFolder(const FolderBrowseRequest& request) = 0;
};

// The backend chosen once at process start by the entry point or a test.
// The framework does not own it.
void SetWindowBackend(IWindowBackend* backend);
// The chosen backend; ends the process with a message when none was chosen.
IWindowBackend& WindowBackend();
bool HasWindowBackend();

// The caption of a message box shown without one: the application's name,
// or the program's name before there is an application object.
std::string ProgramName();
// `caption`, or ProgramName() when it is empty.
std::string CaptionOrProgramName(const std::string& caption);

}  // namespace platform

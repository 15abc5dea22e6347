#include "platform/win32/win32_backend.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/dialog.h"
#include "platform/folder_browser.h"
#include "platform/thread_start.h"
#include "platform/win32/dialog_template_builder.h"
#include "platform/win_app.h"
#include "platform/windows/wide_text.h"
// Last: its macros would rename what the headers above declare.
#include "platform/windows/windows_api.h"

namespace platform::win32 {

namespace {

// How often a polling handler lets the window take its messages: often
// enough that a stop is felt at once, rarely enough to cost the handler
// nothing.
constexpr ULONGLONG kPollIntervalMs = 20;

// Posted to a dialog by one of its watches: the handle it watches is
// signalled. wParam: the watch's index.
constexpr UINT kWatchSignalled = WM_APP + 1;

// Timers of the watches that have no thread of their own: the watch's
// index above this base, clear of the dialogs' own timer ids.
constexpr UINT_PTR kWatchTimerBase = 0x7F00;
// How often such a watch looks at its handle.
constexpr UINT kWatchPollMs = 50;

void CALLBACK PollWatch(HWND window, UINT, UINT_PTR id, DWORD);

// A handle watched for a dialog: a thread waits on it and posts
// kWatchSignalled, so that whichever message loop runs (the dialog's own, a
// message box's) calls back on the user-interface thread. The handle stays
// signalled until the callback has dealt with it: the thread waits for each
// call to end before it waits on the handle again. Where no thread can be
// had, a timer of the window looks at the handle instead.
class HandleWatch {
 public:
  HandleWatch(HWND window, WPARAM index, HANDLE handle, std::function<void()> onSignalled)
      : m_window(window),
        m_index(index),
        m_handle(handle),
        m_onSignalled(std::move(onSignalled)),
        m_stop(::CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        m_served(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    if (!StartThread(m_thread, [this] { Wait(); }))
      m_polled = ::SetTimer(m_window, kWatchTimerBase + m_index, kWatchPollMs, PollWatch) != 0;
  }
  ~HandleWatch() {
    ::SetEvent(m_stop);
    if (m_thread.joinable()) m_thread.join();
    if (m_polled) ::KillTimer(m_window, kWatchTimerBase + m_index);
    ::CloseHandle(m_stop);
    ::CloseHandle(m_served);
  }
  HandleWatch(const HandleWatch&) = delete;
  HandleWatch& operator=(const HandleWatch&) = delete;

  void Call() {
    m_onSignalled();
    m_posted = false;
    ::SetEvent(m_served);
  }
  // The timer's look: one call asked for at a time, as the thread would.
  void Poll() {
    if (!m_posted && ::WaitForSingleObject(m_handle, 0) == WAIT_OBJECT_0)
      m_posted = ::PostMessageW(m_window, kWatchSignalled, m_index, 0) != FALSE;
  }

 private:
  void Wait() {
    if (!m_stop || !m_served) return;
    const HANDLE signalled[] = {m_stop, m_handle};
    const HANDLE served[] = {m_stop, m_served};
    while (::WaitForMultipleObjects(2, signalled, FALSE, INFINITE) == WAIT_OBJECT_0 + 1 &&
           ::PostMessageW(m_window, kWatchSignalled, m_index, 0) &&
           ::WaitForMultipleObjects(2, served, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
    }
  }

  HWND m_window;
  WPARAM m_index;
  HANDLE m_handle;
  std::function<void()> m_onSignalled;
  HANDLE m_stop;
  HANDLE m_served;
  bool m_polled = false;
  bool m_posted = false;
  std::thread m_thread;
};

// The window of one running dialog, as the framework addresses it.
class DialogWindow final : public IDialogWindow {
 public:
  explicit DialogWindow(CDialog& dlg) : m_dlg(dlg) {}

  HWND Handle() const { return m_hWnd; }
  void Attach(HWND hwnd) { m_hWnd = hwnd; }
  CDialog& Dialog() { return m_dlg; }

  std::string GetItemText(int id) const override {
    HWND item = ::GetDlgItem(m_hWnd, id);
    if (!item) return {};
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(item)) + 1, L'\0');
    const int n = ::GetWindowTextW(item, text.data(), static_cast<int>(text.size()));
    text.resize(static_cast<size_t>(n > 0 ? n : 0));
    return Narrow(text);
  }
  void SetItemText(int id, const std::string& text) override {
    ::SetDlgItemTextW(m_hWnd, id, Widen(text).c_str());
  }
  UINT GetCheck(int id) const override { return ::IsDlgButtonChecked(m_hWnd, id); }
  void SetCheck(int id, UINT state) override { ::CheckDlgButton(m_hWnd, id, state); }
  bool IsItemEnabled(int id) const override {
    HWND item = ::GetDlgItem(m_hWnd, id);
    return item && ::IsWindowEnabled(item);
  }
  void EnableItem(int id, bool enable) override {
    if (HWND item = ::GetDlgItem(m_hWnd, id)) ::EnableWindow(item, enable);
  }
  void SetFocusItem(int id) override {
    if (HWND item = ::GetDlgItem(m_hWnd, id))
      ::SendMessageW(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item), TRUE);
  }
  void SetTimer(UINT id, UINT elapseMs) override {
    if (::SetTimer(m_hWnd, id, elapseMs, nullptr)) m_timers.insert(id);
  }
  void KillTimer(UINT id) override {
    ::KillTimer(m_hWnd, id);
    m_timers.erase(id);
  }
  bool HasTimer(UINT id) const override { return m_timers.count(id) > 0; }
  void SetIcon(int iconId) override {
    // The caption and the task switcher each take the icon's image of
    // their own size, rather than one image shrunk or grown.
    HINSTANCE module = ::GetModuleHandleW(nullptr);
    const std::pair<WPARAM, int> kinds[] = {{ICON_BIG, SM_CXICON}, {ICON_SMALL, SM_CXSMICON}};
    for (const auto& [kind, metric] : kinds) {
      const int size = ::GetSystemMetrics(metric);
      if (HANDLE icon =
              ::LoadImageW(module, MAKEINTRESOURCEW(iconId), IMAGE_ICON, size, size, LR_SHARED))
        ::SendMessageW(m_hWnd, WM_SETICON, kind, reinterpret_cast<LPARAM>(icon));
    }
  }
  bool IsIconic() const override { return ::IsIconic(m_hWnd); }
  void EndModal(int result) override { ::EndDialog(m_hWnd, result); }

  // While a handler works: the window repaints and its timers run; Escape
  // and the close box ask to stop; any other input is dropped, so that no
  // click starts a command inside the running one.
  bool PollStopRequest() override {
    const ULONGLONG now = ::GetTickCount64();
    if (m_polling || (m_lastPoll != 0 && now - m_lastPoll < kPollIntervalMs))
      return m_stopRequested;
    m_polling = true;
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        ::PostQuitMessage(static_cast<int>(msg.wParam));  // for the loop that ends the program
        break;
      }
      if (msg.message >= WM_KEYFIRST && msg.message <= WM_KEYLAST) {
        if (msg.message == WM_KEYDOWN && msg.wParam == VK_ESCAPE && IsOurs(msg.hwnd))
          m_stopRequested = true;
        continue;
      }
      if (msg.message == WM_NCLBUTTONDOWN && msg.wParam == HTCLOSE && IsOurs(msg.hwnd)) {
        m_stopRequested = true;
        continue;
      }
      if ((msg.message >= WM_MOUSEFIRST && msg.message <= WM_MOUSELAST) ||
          (msg.message >= WM_NCMOUSEMOVE && msg.message <= WM_NCXBUTTONDBLCLK))
        continue;
      if (msg.message == WM_DROPFILES) {
        ::DragFinish(reinterpret_cast<::HDROP>(msg.wParam));
        continue;
      }
      // Nor does it take what a watch brings until the command has ended.
      if (msg.message == kWatchSignalled && msg.hwnd == m_hWnd) {
        m_deferredWatches.insert(msg.wParam);
        continue;
      }
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    m_polling = false;
    m_lastPoll = ::GetTickCount64();
    return m_stopRequested;
  }

  void Watch(WatchHandle handle, std::function<void()> onReady) override {
    m_watches.push_back(std::make_unique<HandleWatch>(
        m_hWnd, m_watches.size(), reinterpret_cast<HANDLE>(handle), std::move(onReady)));
  }
  void BringToFront() override {
    if (::IsIconic(m_hWnd)) ::ShowWindow(m_hWnd, SW_RESTORE);
    ::SetForegroundWindow(m_hWnd);
  }
  void CallWatch(WPARAM index) {
    if (index < m_watches.size()) m_watches[index]->Call();
  }
  void PollWatch(WPARAM index) {
    if (index < m_watches.size()) m_watches[index]->Poll();
  }

  // A command begins: no stop asked for yet.
  void BeginCommand() { m_stopRequested = false; }
  // It has ended: the watches that fired meanwhile are served now.
  void EndCommand() {
    for (WPARAM index : m_deferredWatches) ::PostMessageW(m_hWnd, kWatchSignalled, index, 0);
    m_deferredWatches.clear();
  }
  // Inside a polling handler a close (the close box, Alt+F4 before it was
  // dropped, a close from another program) asks to stop instead.
  bool TakeCloseWhileBusy() {
    if (!m_polling) return false;
    m_stopRequested = true;
    return true;
  }

  // The window goes: its timers and watches end with it.
  void Release() {
    for (UINT id : m_timers) ::KillTimer(m_hWnd, id);
    m_timers.clear();
    m_watches.clear();
  }

 private:
  bool IsOurs(HWND hwnd) const { return hwnd == m_hWnd || ::IsChild(m_hWnd, hwnd); }

  CDialog& m_dlg;
  HWND m_hWnd = nullptr;
  std::set<UINT> m_timers;
  bool m_polling = false;
  bool m_stopRequested = false;
  ULONGLONG m_lastPoll = 0;
  std::vector<std::unique_ptr<HandleWatch>> m_watches;
  std::set<WPARAM> m_deferredWatches;
};

void CALLBACK PollWatch(HWND window, UINT, UINT_PTR id, DWORD) {
  if (auto* dialog = reinterpret_cast<DialogWindow*>(::GetWindowLongPtrW(window, DWLP_USER)))
    dialog->PollWatch(id - kWatchTimerBase);
}

HWND WindowOf(const CDialog* dlg) {
  if (!dlg) return nullptr;
  const auto* window = dynamic_cast<const DialogWindow*>(dlg->Window());
  return window ? window->Handle() : nullptr;
}

std::vector<std::string> DroppedPaths(::HDROP drop) {
  std::vector<std::string> paths;
  const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    std::wstring path(::DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
    const UINT n = ::DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size()));
    path.resize(n);
    paths.push_back(Narrow(path));
  }
  return paths;
}

// The templates give no position, which Windows reads as the owner's
// top-left corner (the screen's for the main window): a dialog would open
// over its owner's buttons. So each opens centred, as the desktop
// framework's dialogs do: on its owner, or on the work area when it has none
// or the owner is minimised or hidden, and kept inside that work area. One
// that moved itself while it started keeps its place.
void CenterOnOwner(HWND hwnd, const RECT& atCreation) {
  RECT rect{};
  if ((::GetWindowLongW(hwnd, GWL_STYLE) & WS_CHILD) || !::GetWindowRect(hwnd, &rect) ||
      rect.left != atCreation.left || rect.top != atCreation.top)
    return;
  HWND owner = ::GetWindow(hwnd, GW_OWNER);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  if (!::GetMonitorInfoW(::MonitorFromWindow(owner ? owner : hwnd, MONITOR_DEFAULTTOPRIMARY),
                         &monitor))
    return;
  const RECT& work = monitor.rcWork;
  RECT around = work;
  if (owner && ::IsWindowVisible(owner) && !::IsIconic(owner)) ::GetWindowRect(owner, &around);
  const LONG width = rect.right - rect.left, height = rect.bottom - rect.top;
  LONG x = around.left + ((around.right - around.left) - width) / 2;
  LONG y = around.top + ((around.bottom - around.top) - height) / 2;
  x = std::max(work.left, std::min(x, work.right - width));
  y = std::max(work.top, std::min(y, work.bottom - height));
  ::SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* window = reinterpret_cast<DialogWindow*>(lParam);
    ::SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    window->Attach(hwnd);
    RECT atCreation{};
    ::GetWindowRect(hwnd, &atCreation);
    window->Dialog().AttachWindow(window);
    const INT_PTR focusDefault = window->Dialog().HandleInitDialog();
    CenterOnOwner(hwnd, atCreation);
    return focusDefault;
  }
  auto* window = reinterpret_cast<DialogWindow*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
  if (!window) return FALSE;
  CDialog& dlg = window->Dialog();
  switch (message) {
    case WM_COMMAND:
      // Button clicks, and Enter and Esc as IDOK and IDCANCEL; an edit's
      // change notices are no commands.
      if (HIWORD(wParam) != BN_CLICKED) return FALSE;
      window->BeginCommand();
      dlg.DispatchCommand(LOWORD(wParam));
      window->EndCommand();
      return TRUE;
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE && window->TakeCloseWhileBusy()) return TRUE;
      return FALSE;
    case WM_CLOSE:
      return window->TakeCloseWhileBusy();
    case WM_TIMER:
      dlg.DispatchTimer(static_cast<UINT>(wParam));
      return TRUE;
    case WM_DROPFILES: {
      ::HDROP drop = reinterpret_cast<::HDROP>(wParam);
      CDropFiles files(DroppedPaths(drop));
      ::DragFinish(drop);
      dlg.DispatchDropFiles(&files);
      return TRUE;
    }
    case WM_QUERYDRAGICON: {
      // Answered as the value itself, as the few messages that ask for a
      // handle are.
      const int id = dlg.DispatchQueryDragIcon();
      if (id == 0) return FALSE;
      return reinterpret_cast<INT_PTR>(
          ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_ICON,
                       ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON), LR_SHARED));
    }
    case kWatchSignalled:
      window->CallWatch(wParam);
      return TRUE;
    case WM_DESTROY:
      window->Release();
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

int Win32Backend::RunModal(CDialog& dlg) {
  const std::vector<uint16_t> data = BuildDialogTemplate(dlg.Template());
  DialogWindow window(dlg);
  // A dialog made without a parent belongs to the main window, as the
  // desktop framework gives it one: through whatever popup the main window
  // last showed, which the dialog disables while it runs.
  HWND owner = WindowOf(dlg.Parent());
  if (const CWinApp* app = AfxGetApp(); !owner && app && &dlg != app->m_pMainWnd)
    if (HWND main = WindowOf(app->m_pMainWnd)) owner = ::GetLastActivePopup(main);
  const INT_PTR result = ::DialogBoxIndirectParamW(
      ::GetModuleHandleW(nullptr), reinterpret_cast<LPCDLGTEMPLATEW>(data.data()), owner,
      DialogProc, reinterpret_cast<LPARAM>(&window));
  dlg.AttachWindow(nullptr);
  return static_cast<int>(result);
}

int Win32Backend::MessageBox(CDialog* owner, const std::string& text, const std::string& caption,
                             UINT type) {
  // Owned by the given dialog, else by whatever window is active, so the
  // box stays in front of it and blocks it.
  HWND hwnd = WindowOf(owner);
  if (!hwnd) hwnd = ::GetActiveWindow();
  ::MessageBoxW(hwnd, Widen(text).c_str(), Widen(CaptionOrProgramName(caption)).c_str(),
                MB_OK | (type & MB_ICONMASK));
  return IDOK;
}

std::optional<std::string> Win32Backend::ClipboardText() {
  // Another program may hold the clipboard for a moment.
  bool open = false;
  for (int attempt = 0; attempt < 5 && !(open = ::OpenClipboard(nullptr)); ++attempt) ::Sleep(10);
  if (!open) return std::nullopt;
  std::optional<std::string> text;
  if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* wide = static_cast<const wchar_t*>(::GlobalLock(data))) {
      const size_t limit = ::GlobalSize(data) / sizeof(wchar_t);
      size_t n = 0;
      while (n < limit && wide[n]) ++n;
      text = Narrow(std::wstring_view(wide, n));
      ::GlobalUnlock(data);
    }
  }
  ::CloseClipboard();
  return text;
}

namespace {

class ShellBrowser final : public IFolderBrowser {
 public:
  explicit ShellBrowser(HWND hwnd) : m_hWnd(hwnd) {}
  void SelectFolder(const std::string* path) override {
    if (!path) return;
    const std::wstring wide = Widen(*path);
    ::SendMessageW(m_hWnd, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(wide.c_str()));
  }

 private:
  HWND m_hWnd;
};

}  // namespace

int CALLBACK FolderBrowserCallback(HWND hwnd, UINT message, LPARAM, LPARAM data) {
  if (message == BFFM_INITIALIZED) {
    const auto* request = reinterpret_cast<const FolderBrowseRequest*>(data);
    if (request->onInitialized) {
      ShellBrowser browser(hwnd);
      request->onInitialized(browser);
    }
  }
  return 0;
}

std::optional<std::string> Win32Backend::BrowseForFolder(const FolderBrowseRequest& request) {
  const std::wstring title = Widen(request.title);
  wchar_t display[MAX_PATH] = {};
  BROWSEINFOW info{};
  info.hwndOwner = WindowOf(request.owner);
  info.pszDisplayName = display;
  info.lpszTitle = title.c_str();
  info.ulFlags = request.fileSystemOnly ? BIF_RETURNONLYFSDIRS : 0;
  info.lpfn = FolderBrowserCallback;
  info.lParam = reinterpret_cast<LPARAM>(&request);
  // The browser is a COM object of the shell.
  const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  PIDLIST_ABSOLUTE list = ::SHBrowseForFolderW(&info);
  if (SUCCEEDED(com)) ::CoUninitialize();
  if (!list) return std::nullopt;
  wchar_t path[MAX_PATH];
  const bool ok = ::SHGetPathFromIDListW(list, path);
  ::CoTaskMemFree(list);
  if (!ok) return std::nullopt;
  return Narrow(path);
}

}  // namespace platform::win32

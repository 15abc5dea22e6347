// The Win32 window backend with real windows under a display: texts in and
// out of controls, timers that keep ticking under a message box, the box's
// owner and caption, dropped files, the clipboard and the folder browser's
// callback.
#include "platform/win32/win32_backend.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "platform/dialog.h"
#include "platform/windows/wide_text.h"
#include "platform/file_system.h"
#include "resources/dialog_templates.h"
#include "resources/icon_128.h"
#include "tests/support/headless_ui.h"
// Last: its macros would rename what the headers above declare.
#include "platform/windows/windows_api.h"

namespace {

using platform::CDialog;
using platform::MessageMap;

constexpr UINT kAsk = 1;    // shows the message box
constexpr UINT kWatch = 2;  // keeps ticking under it, then closes it
constexpr UINT kGiveUp = 3;

std::string WindowText(HWND window) {
  wchar_t text[256];
  const int n = ::GetWindowTextW(window, text, 256);
  return platform::win32::Narrow(std::wstring_view(text, static_cast<size_t>(n)));
}

class CProbeDlg : public CDialog {
 public:
  CProbeDlg() : CDialog(resources::kPasswordDialog) {}

  std::string m_strRead;
  int m_nWatchTicks = 0;
  HWND m_hSelf = nullptr;
  HWND m_hBoxOwner = nullptr;
  std::string m_strBoxCaption;
  int m_nBoxResult = 0;

 protected:
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    SetDlgItemText(resources::IDC_EDIT_USERID, "名前ｱ");
    SetTimer(kAsk, 10);
    return TRUE;
  }
  void OnTimer(UINT id) {
    if (id == kAsk) {
      KillTimer(kAsk);
      m_strRead = GetDlgItemText(resources::IDC_EDIT_USERID);
      m_hSelf = ::FindWindowW(L"#32770",
                              platform::win32::Widen(resources::kPasswordDialog.caption).c_str());
      SetTimer(kWatch, 10);
      m_nBoxResult = MessageBox("本文", "");
      EndDialog(IDOK + 40);
      return;
    }
    // Under the box: find it, note its owner and caption, and close it.
    if (++m_nWatchTicks < 3) return;
    KillTimer(kWatch);
    HWND box = ::FindWindowW(L"#32770", platform::win32::Widen(platform::ProgramName()).c_str());
    ASSERT_NE(box, nullptr);
    m_hBoxOwner = ::GetWindow(box, GW_OWNER);
    m_strBoxCaption = WindowText(box);
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
  }
  const MessageMap& GetMessageMap() const override {
    static const MessageMap map{ON_WM_TIMER(&CProbeDlg::OnTimer)};
    return map;
  }
};

TEST(Win32Backend, ADialogRunsItsTimersUnderAMessageBoxItOwns) {
  platform::win32::Win32Backend backend;
  platform::SetWindowBackend(&backend);
  CProbeDlg dlg;
  EXPECT_EQ(dlg.DoModal(), IDOK + 40);
  EXPECT_EQ(dlg.m_strRead, "名前ｱ");
  EXPECT_GE(dlg.m_nWatchTicks, 3) << "timers tick while the box is open";
  EXPECT_EQ(dlg.m_strBoxCaption, platform::ProgramName()) << "an empty caption is the program's";
  EXPECT_NE(dlg.m_hSelf, nullptr);
  EXPECT_EQ(dlg.m_hBoxOwner, dlg.m_hSelf) << "the box is owned by the dialog";
  EXPECT_EQ(dlg.m_nBoxResult, IDOK);
  EXPECT_FALSE(dlg.HasWindow());
  platform::SetWindowBackend(nullptr);
}

// Posts itself a drop of files, as the shell does, and takes the names.
class CDropTargetDlg : public CDialog {
 public:
  CDropTargetDlg() : CDialog(resources::kMainDialog) {}
  std::vector<std::string> m_dropped;

 protected:
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    const std::wstring names =
        std::wstring(L"C:\\画像\\ｱ.url") + L'\0' + L"D:\\x.html" + L'\0' + L'\0';
    HGLOBAL memory = ::GlobalAlloc(GHND, sizeof(DROPFILES) + names.size() * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(::GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    std::copy(names.begin(), names.end(), reinterpret_cast<wchar_t*>(drop + 1));
    ::GlobalUnlock(memory);
    HWND self =
        ::FindWindowW(L"#32770", platform::win32::Widen(resources::kMainDialog.caption).c_str());
    EXPECT_NE(self, nullptr);
    ::PostMessageW(self, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
    SetTimer(kGiveUp, 5000);  // a drop that never comes fails the test, not the run
    return TRUE;
  }
  void OnTimer(UINT) { EndDialog(IDCANCEL); }
  void OnDropFiles(platform::HDROP drop) {
    char name[1024];
    const UINT count = platform::DragQueryFile(drop, platform::kDragQueryCount, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
      platform::DragQueryFile(drop, i, name, sizeof name);
      m_dropped.push_back(name);
    }
    platform::DragFinish(drop);
    EndDialog(IDOK);
  }
  const MessageMap& GetMessageMap() const override {
    static const MessageMap map{ON_WM_DROPFILES(&CDropTargetDlg::OnDropFiles),
                                ON_WM_TIMER(&CDropTargetDlg::OnTimer)};
    return map;
  }
};

TEST(Win32Backend, DroppedFilesArriveAsUtf8Names) {
  platform::win32::Win32Backend backend;
  platform::SetWindowBackend(&backend);
  CDropTargetDlg dlg;
  EXPECT_EQ(dlg.DoModal(), IDOK);
  EXPECT_EQ(dlg.m_dropped, (std::vector<std::string>{"C:\\画像\\ｱ.url", "D:\\x.html"}));
  platform::SetWindowBackend(nullptr);
}

// A minimised window dragged: the system asks the dialog for the icon its
// handler names, here the program's icon 128.
class CDragIconDlg : public CDialog {
 public:
  CDragIconDlg() : CDialog(resources::kPasswordDialog) {}
  LRESULT m_answer = 0;

 protected:
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    HWND self = ::FindWindowW(L"#32770",
                              platform::win32::Widen(resources::kPasswordDialog.caption).c_str());
    m_answer = ::SendMessageW(self, WM_QUERYDRAGICON, 0, 0);
    EndDialog(IDOK);
    return TRUE;
  }
  platform::HICON OnQueryDragIcon() { return &resources::Icon128(); }
  const MessageMap& GetMessageMap() const override {
    static const MessageMap map{ON_WM_QUERYDRAGICON(&CDragIconDlg::OnQueryDragIcon)};
    return map;
  }
};

TEST(Win32Backend, TheDragIconIsTheOneTheDialogNames) {
  platform::win32::Win32Backend backend;
  platform::SetWindowBackend(&backend);
  CDragIconDlg dlg;
  EXPECT_EQ(dlg.DoModal(), IDOK);
  const HANDLE icon128 =
      ::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(128), IMAGE_ICON,
                   ::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON), LR_SHARED);
  ASSERT_NE(icon128, nullptr);
  EXPECT_EQ(reinterpret_cast<HANDLE>(dlg.m_answer), icon128);
  platform::SetWindowBackend(nullptr);
}

// A command handler that works for long and polls for a stop, as a harvest
// run does, while the user's input arrives.
class CBusyDlg : public CDialog {
 public:
  enum class Input { kClickOnly, kEscape, kCloseBox };
  explicit CBusyDlg(Input input) : CDialog(resources::kPasswordDialog), m_input(input) {}

  bool m_bStopped = false;
  int m_nCancels = 0;

 protected:
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    ::PostMessageW(Self(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return TRUE;
  }
  void OnOK() override {
    HWND self = Self();
    // A click on Cancel meanwhile must not run a command inside this one.
    HWND cancel = ::GetDlgItem(self, IDCANCEL);
    ::PostMessageW(cancel, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    ::PostMessageW(cancel, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    if (m_input == Input::kEscape)
      ::PostMessageW(::GetDlgItem(self, resources::IDC_EDIT_USERID), WM_KEYDOWN, VK_ESCAPE, 0);
    if (m_input == Input::kCloseBox) ::PostMessageW(self, WM_SYSCOMMAND, SC_CLOSE, 0);
    const ULONGLONG end = ::GetTickCount64() + (m_input == Input::kClickOnly ? 500 : 3000);
    while (!m_bStopped && ::GetTickCount64() < end) {
      m_bStopped = PollStopRequest();
      ::Sleep(5);
    }
    EndDialog(IDOK + 1);
  }
  void OnCancel() override {
    ++m_nCancels;
    CDialog::OnCancel();
  }

 private:
  HWND Self() const {
    return ::FindWindowW(L"#32770",
                         platform::win32::Widen(resources::kPasswordDialog.caption).c_str());
  }
  Input m_input;
};

TEST(Win32Backend, ABusyHandlerStopsOnEscapeOrTheCloseBoxAndDropsOtherInput) {
  struct Case {
    const char* name;
    CBusyDlg::Input input;
    bool stopped;
  };
  const Case cases[] = {
      {"a click alone", CBusyDlg::Input::kClickOnly, false},
      {"Escape", CBusyDlg::Input::kEscape, true},
      {"the close box", CBusyDlg::Input::kCloseBox, true},
  };
  platform::win32::Win32Backend backend;
  platform::SetWindowBackend(&backend);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CBusyDlg dlg(c.input);
    EXPECT_EQ(dlg.DoModal(), IDOK + 1) << "the handler ends the dialog, nothing else";
    EXPECT_EQ(dlg.m_bStopped, c.stopped);
    EXPECT_EQ(dlg.m_nCancels, 0);
  }
  platform::SetWindowBackend(nullptr);
}

TEST(Win32Backend, ClipboardTextArrivesAsUtf8) {
  const std::wstring text = L"http://例え.jp/ｱ";
  ASSERT_TRUE(::OpenClipboard(nullptr));
  ::EmptyClipboard();
  HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
  auto* copy = static_cast<wchar_t*>(::GlobalLock(memory));
  std::copy(text.c_str(), text.c_str() + text.size() + 1, copy);
  ::GlobalUnlock(memory);
  ::SetClipboardData(CF_UNICODETEXT, memory);
  ::CloseClipboard();

  platform::win32::Win32Backend backend;
  EXPECT_EQ(backend.ClipboardText(), "http://例え.jp/ｱ");
}

// The folder browser's requests as the save-folder chooser makes them, sent
// to a window of the test's own in place of the shell's dialog.
struct BrowserRequest {
  UINT message;
  WPARAM wParam;
  std::string path;
  bool criticalErrorsQuiet;  // the error mode while the request was sent
};
std::vector<BrowserRequest> g_browserRequests;

LRESULT CALLBACK RecordBrowserRequests(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message < WM_USER) return ::DefWindowProcW(hwnd, message, wParam, lParam);
  g_browserRequests.push_back(
      {message, wParam,
       message == BFFM_SETSELECTIONW && wParam
           ? platform::win32::Narrow(reinterpret_cast<const wchar_t*>(lParam))
           : std::string(),
       (::GetErrorMode() & SEM_FAILCRITICALERRORS) != 0});
  return 0;
}

// Hands the request to the Win32 callback as the shell does: a selection
// change, which asks for nothing, then the browser's opening.
class CallbackOnlyBackend final : public platform::IWindowBackend {
 public:
  explicit CallbackOnlyBackend(HWND browser) : m_browser(browser) {}
  int RunModal(CDialog&) override { return -1; }
  int MessageBox(CDialog*, const std::string&, const std::string&, platform::UINT) override {
    return IDOK;
  }
  std::optional<std::string> ClipboardText() override { return std::nullopt; }
  std::optional<std::string> BrowseForFolder(
      const platform::FolderBrowseRequest& request) override {
    const auto data = reinterpret_cast<LPARAM>(&request);
    platform::win32::FolderBrowserCallback(m_browser, BFFM_SELCHANGED, 0, data);
    platform::win32::FolderBrowserCallback(m_browser, BFFM_INITIALIZED, 0, data);
    return std::nullopt;
  }

 private:
  HWND m_browser;
};

// Each drive present is probed with critical errors quiet, and the save
// folder selected by its UTF-16 path; a folder that cannot be selected asks
// for nothing.
TEST(Win32Backend, TheFolderBrowserIsAskedForTheSaveFolderOncePerDrivePresent) {
  testing_support::HeadlessMainDialog c;
  c.Open();
  WNDCLASSW type{};
  type.lpfnWndProc = RecordBrowserRequests;
  type.hInstance = ::GetModuleHandleW(nullptr);
  type.lpszClassName = L"VimbelTestBrowser";
  ASSERT_TRUE(::RegisterClassW(&type));
  HWND browser = ::CreateWindowExW(0, type.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   type.hInstance, nullptr);
  ASSERT_NE(browser, nullptr);

  size_t drives = 0;
  for (wchar_t root[] = L"A:\\"; root[0] <= L'Z'; ++root[0])
    drives += ::GetDriveTypeW(root) != DRIVE_NO_ROOT_DIR;
  ASSERT_GE(drives, 1u);

  ASSERT_TRUE(testing_support::CreateFolder(c.env.Path("保存先𠮷")));
  ASSERT_TRUE(testing_support::CreateFolder(c.env.Path("ﾃﾞｽｸﾄｯﾌﾟ")));
  const std::string folder = platform::CanonicalExistingPath(c.env.Path("保存先𠮷")).value();
  struct Row {
    std::string saveFolder;
    bool selected;
  };
  const Row rows[] = {
      {folder + "\\", true},
      {c.env.Path("ﾃﾞｽｸﾄｯﾌﾟ\\"), false},  // where the browser starts anyway
      {c.env.Path("gone\\"), false},
  };
  CallbackOnlyBackend callbackOnly(browser);
  platform::SetWindowBackend(&callbackOnly);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.saveFolder);
    g_browserRequests.clear();
    c.dlg.m_strSaveFolder = row.saveFolder;
    c.dlg.OnSaveFolder();
    ASSERT_EQ(g_browserRequests.size(), row.selected ? drives : 0);
    for (const BrowserRequest& request : g_browserRequests) {
      EXPECT_EQ(request.message, static_cast<UINT>(BFFM_SETSELECTIONW));
      EXPECT_EQ(request.wParam, static_cast<WPARAM>(TRUE)) << "a path, not an item list";
      EXPECT_EQ(request.path, folder);
      EXPECT_TRUE(request.criticalErrorsQuiet);
    }
  }
  platform::SetWindowBackend(&c.ui.Backend());
  ::DestroyWindow(browser);
  ::UnregisterClassW(type.lpszClassName, type.hInstance);
}

}  // namespace

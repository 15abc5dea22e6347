// The Win32 window backend with real windows under a display: texts in and
// out of controls, timers that keep ticking under a message box, and the
// box's owner and caption.
#include "platform/win32/win32_backend.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

#include "platform/dialog.h"
#include "platform/win32/wide_text.h"
#include "resources/dialog_templates.h"
// Last: its macros would rename what the headers above declare.
#include "platform/win32/windows_api.h"

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
    const std::wstring names = std::wstring(L"C:\\画像\\ｱ.url") + L'\0' + L"D:\\x.html" + L'\0' + L'\0';
    HGLOBAL memory = ::GlobalAlloc(GHND, sizeof(DROPFILES) + names.size() * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(::GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    std::copy(names.begin(), names.end(), reinterpret_cast<wchar_t*>(drop + 1));
    ::GlobalUnlock(memory);
    HWND self = ::FindWindowW(L"#32770", platform::win32::Widen(resources::kMainDialog.caption).c_str());
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

}  // namespace

#pragma once
// Real Win32 windows: each dialog built from its template table by Windows
// itself (DialogBoxIndirectParamW), message boxes, window timers, dropped
// files, handles watched for a dialog (Watch takes a handle's value), the
// clipboard's Unicode text and the shell's folder browser.
#include <cstdint>

#include "platform/window_backend.h"

struct HWND__;

namespace platform::win32 {

// The shell folder browser's callback, whose data is the FolderBrowseRequest:
// once the browser is open, the request's hook selects folders in it
// (BFFM_SETSELECTIONW, by path).
int __stdcall FolderBrowserCallback(HWND__* browser, UINT message, intptr_t lParam,
                                    intptr_t request);

class Win32Backend final : public IWindowBackend {
 public:
  int RunModal(CDialog& dlg) override;
  int MessageBox(CDialog* owner, const std::string& text, const std::string& caption,
                 UINT type) override;
  std::optional<std::string> ClipboardText() override;
  std::optional<std::string> BrowseForFolder(const FolderBrowseRequest& request) override;
};

}  // namespace platform::win32

// The ways an address reaches the address field besides typing: the
// clipboard watch, files dropped on the window, and the file named on the
// command line.
#include <string>
#include <vector>

#include "engine/page_address.h"
#include "platform/file_system.h"
#include "platform/instance_handover.h"
#include "platform/window_backend.h"
#include "resources/texts.h"
#include "ui/address_sources.h"
#include "ui/harvest_dlg.h"
#include "ui/internet_shortcut.h"

using namespace platform;

std::string g_strLastClip;

namespace {
constexpr const char* kHttpPrefix = "http://";
}

void CHarvestDlg::CheckClipboard() {
  if (!HasWindowBackend()) return;
  std::optional<std::string> clip = WindowBackend().ClipboardText();
  if (!clip) return;
  // The text ends at its first zero byte, as the clipboard's text format
  // does; a copy from a terminal brings a line break that is no part of the
  // address.
  std::string text = TrimmedAddress(clip->substr(0, clip->find('\0')));
  if (text.compare(0, 7, kHttpPrefix) == 0 && text != g_strLastClip) {
    m_editUrl.SetWindowText(text);
    g_strLastClip = text;
  }
}

void CHarvestDlg::OnTimer(UINT) { CheckClipboard(); }

void CHarvestDlg::OnDropFiles(HDROP hDropInfo) {
  if (DragQueryFile(hDropInfo, kDragQueryCount, nullptr, 0) != 1) {
    MessageBox(texts::kSeveralItems, {}, MB_ICONERROR);
  } else {
    // Sized to the name, so a long path is never cut into another file's.
    std::vector<char> buffer(DragQueryFile(hDropInfo, 0, nullptr, 0) + 1);
    DragQueryFile(hDropInfo, 0, buffer.data(), static_cast<UINT>(buffer.size()));
    const std::string name(buffer.data());
    // An item whose attributes cannot be read counts as a folder, as it
    // does on the desktop.
    if (!FileExists(name) || IsDirectory(name))
      MessageBox(texts::kFolderDropped, {}, MB_ICONERROR);
    else
      OpenSourceFile(name);
  }
  DragFinish(hDropInfo);
}

void CHarvestDlg::OnHandover() {
  const std::optional<std::string> path = m_pHandover->Accept();
  if (!path) return;
  SetForegroundWindow();
  CDropFiles drop({*path});
  DispatchDropFiles(&drop);
}

void CHarvestDlg::OpenSourceFile(const std::string& path) {
  if (IsInternetShortcutName(path)) {
    ShortcutAddress shortcut = ReadInternetShortcut(path);
    if (!shortcut.opened) {
      // Nothing changes: the field and the selected page stay as they were.
      ShowError(std::string(texts::kCannotReadFile) + "\n" + path);
      return;
    }
    m_strSourceFile.clear();
    if (!shortcut.address) {
      m_editUrl.SetWindowText("");
      ShowError(std::string(texts::kNoShortcutAddress) + "\n" + path);
      return;
    }
    m_editUrl.SetWindowText(*shortcut.address);
    return;
  }

  std::optional<std::string> found = FindFirstFile(path);
  if (!found) {
    ShowError(std::string(texts::kFileNotFound) + "\n" + path);
    return;
  }
  m_strSourceFile = *found;
  m_editUrl.SetWindowText(m_strSourceFile);
}

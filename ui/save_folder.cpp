#include "ui/save_folder.h"

#include <cstring>
#include <string>

#include "platform/file_system.h"
#include "platform/utf8.h"
#include "resources/texts.h"
#include "settings/profile_keys.h"
#include "ui/harvest_app.h"
#include "ui/harvest_dlg.h"

using namespace platform;

char g_szCurrentFolder[kMaxPath] = "";
char g_szDriveRoot[4] = "a:\\";
IMalloc* g_pShellMalloc = nullptr;

namespace {

constexpr size_t kTitleBytes = 512;

}  // namespace

std::string SaveFolderTitle(const std::string& folder) {
  const std::string title = std::string(texts::kSaveFolderTitle) + folder;
  return std::string(CutAtCharacter(title, kTitleBytes - 1));
}

int BrowseCallbackProc(HBROWSER hwnd, UINT uMsg, intptr_t, intptr_t lpData) {
  if (uMsg != BFFM_INITIALIZED) return 0;
  const int currentDrive = GetCurrentDriveNumber();
  for (int drive = 1; drive <= 26; ++drive) {
    SetErrorMode(SEM_FAILCRITICALERRORS);
    g_szDriveRoot[0] = static_cast<char>('a' + drive - 1);
    if (GetDriveType(g_szDriveRoot) != DRIVE_NO_ROOT_DIR) {
      LPITEMIDLIST pidl = PathToIdList(g_szCurrentFolder);
      // The desktop is where the browser starts anyway; its folder is asked
      // for without a list.
      const bool onDesktop = std::strstr(g_szCurrentFolder, texts::kDesktopWord) != nullptr;
      SendMessage(hwnd, BFFM_SETSELECTIONA, 0, onDesktop ? 0 : reinterpret_cast<intptr_t>(pidl));
      FreeIdList(pidl);
    }
    SetErrorMode(0);
    ChangeCurrentDrive(currentDrive);
    LPITEMIDLIST data = PathToIdList(reinterpret_cast<const char*>(lpData));
    SendMessage(hwnd, BFFM_SETSELECTIONA, 0, reinterpret_cast<intptr_t>(data));
    FreeIdList(data);
  }
  return 0;
}

LPITEMIDLIST PathToIdList(const char* path) {
  IShellFolder* desktop = nullptr;
  if (FAILED(SHGetDesktopFolder(&desktop))) return nullptr;
  wchar_t wide[kMaxPath];
  LPITEMIDLIST pidl = nullptr;
  if (path && *path && MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, path, -1, wide, kMaxPath) != 0) {
    unsigned long eaten = 0;
    if (FAILED(desktop->ParseDisplayName(nullptr, nullptr, wide, &eaten, &pidl, nullptr)))
      pidl = nullptr;
  }
  desktop->Release();
  return pidl;
}

void FreeIdList(LPITEMIDLIST pidl) {
  if (!g_pShellMalloc && FAILED(SHGetMalloc(&g_pShellMalloc))) {
    g_pShellMalloc = nullptr;
    return;
  }
  if (pidl) g_pShellMalloc->Free(pidl);
}

void CHarvestDlg::OnSaveFolder() {
  std::string folder = m_strSaveFolder.empty()
                           ? std::string()
                           : m_strSaveFolder.substr(0, m_strSaveFolder.size() - 1);
  // A hand-edited folder too long for the hook's buffer is not preselected;
  // the browser then opens at its top and the title still names it.
  if (folder.size() < sizeof g_szCurrentFolder)
    std::memcpy(g_szCurrentFolder, folder.c_str(), folder.size() + 1);
  else
    g_szCurrentFolder[0] = '\0';
  const std::string title = SaveFolderTitle(folder);

  char name[kMaxPath] = "";
  BROWSEINFO bi;
  bi.hwndOwner = this;
  bi.pidlRoot = nullptr;
  bi.pszDisplayName = name;
  bi.lpszTitle = title.c_str();
  bi.ulFlags = BIF_RETURNONLYFSDIRS;
  bi.lpfn = BrowseCallbackProc;
  bi.lParam = 0;
  LPITEMIDLIST pidl = SHBrowseForFolder(&bi);
  // A folder whose path cannot be had (too long for the name buffer) is not
  // taken: storing an empty path would make the root the save folder.
  if (pidl && SHGetPathFromIDList(pidl, name)) {
    m_strSaveFolder = std::string(name) + PathSeparator();
    GetHarvestApp().WriteProfileString(profile::kSection, profile::kSaveFolder, m_strSaveFolder);
  }
  FreeIdList(pidl);
}

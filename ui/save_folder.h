#pragma once
// The save-folder chooser's shell side: the browser's initialisation hook
// and the item-id list helpers. The button handler is
// CHarvestDlg::OnSaveFolder.
#include <cstdint>

#include "platform/shell_folder.h"

// The save folder without its trailing "/", for the browser's hook.
extern char g_szCurrentFolder[platform::kMaxPath];
// The drive root probed by the hook; its letter is rewritten per drive.
extern char g_szDriveRoot[4];
// The shell's allocator, obtained at the first release of a list.
extern platform::IMalloc* g_pShellMalloc;

// Selects the current save folder when the browser opens; returns 0.
int BrowseCallbackProc(platform::HBROWSER hwnd, platform::UINT uMsg, intptr_t lParam,
                       intptr_t lpData);

// The item-id list of `path`, or nullptr (no text, too long, or no such
// folder). The caller frees it with FreeIdList.
platform::LPITEMIDLIST PathToIdList(const char* path);

// Frees a list through the shell allocator; nullptr does nothing.
void FreeIdList(platform::LPITEMIDLIST pidl);

// The browser's title for a save folder text: two lines, at most 511 bytes,
// never cut inside a character.
std::string SaveFolderTitle(const std::string& folder);

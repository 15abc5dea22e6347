#pragma once
// The shell's folder browser and item-id lists, in the shape the program is
// written against. An item-id list here is the platform's own small type: an
// absolute file-system path. The root file system is the one drive present.
#include <cstdint>
#include <string>

#include "platform/folder_browser.h"
#include "platform/win_types.h"

namespace platform {

class CDialog;

struct ItemIdList {
  std::string path;  // absolute, without a trailing "/" except for the root
};
using LPITEMIDLIST = ItemIdList*;
using LPCITEMIDLIST = const ItemIdList*;

using HRESULT = long;
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005L);
inline bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
inline bool FAILED(HRESULT hr) { return hr < 0; }

// The browser window as its hook sees it.
using HBROWSER = IFolderBrowser*;
using BFFCALLBACK = int (*)(HBROWSER hwnd, UINT uMsg, intptr_t lParam, intptr_t lpData);

inline constexpr UINT BFFM_INITIALIZED = 1;
inline constexpr UINT BFFM_SETSELECTIONA = 1126;
inline constexpr UINT BIF_RETURNONLYFSDIRS = 0x0001;

struct BROWSEINFO {
  CDialog* hwndOwner = nullptr;
  LPCITEMIDLIST pidlRoot = nullptr;  // none: the tree starts at the top
  char* pszDisplayName = nullptr;    // at least kMaxPath bytes
  const char* lpszTitle = nullptr;
  UINT ulFlags = 0;
  BFFCALLBACK lpfn = nullptr;
  intptr_t lParam = 0;
  int iImage = 0;
};

inline constexpr int kMaxPath = 260;

// Runs the folder browser modally. The chosen folder's list (the caller
// frees it with the shell allocator), or nullptr when the user cancelled.
// The display name (the folder's own name) goes to pszDisplayName.
LPITEMIDLIST SHBrowseForFolder(BROWSEINFO* bi);

// The list's path into `path` (kMaxPath bytes). FALSE when it has none or
// it does not fit.
BOOL SHGetPathFromIDList(LPCITEMIDLIST pidl, char* path);

// The browser's messages; BFFM_SETSELECTIONA with wParam 0 takes an item-id
// list in lParam (0: a request without a folder, which does nothing).
intptr_t SendMessage(HBROWSER hwnd, UINT msg, uintptr_t wParam, intptr_t lParam);

// The shell's task allocator, which frees item-id lists.
class IMalloc {
 public:
  virtual void Free(void* pv) = 0;
  virtual unsigned long Release() = 0;

 protected:
  virtual ~IMalloc() = default;
};
HRESULT SHGetMalloc(IMalloc** ppMalloc);

// The top of the shell's namespace; parses a path into an item-id list.
class IShellFolder {
 public:
  // `name` is a zero-terminated wide path; fails when it names no folder or
  // file that exists.
  virtual HRESULT ParseDisplayName(CDialog* owner, void* bindCtx, const wchar_t* name,
                                   unsigned long* eaten, LPITEMIDLIST* ppidl,
                                   unsigned long* attributes) = 0;
  virtual unsigned long Release() = 0;

 protected:
  virtual ~IShellFolder() = default;
};
HRESULT SHGetDesktopFolder(IShellFolder** ppshf);

// Converts UTF-8 (the system code page here) to wide characters, as the
// system function does: length -1 means up to and including the zero byte;
// returns the count written including the terminator, 0 when the buffer is
// too small or the text is not valid.
inline constexpr UINT CP_ACP = 0;
inline constexpr unsigned MB_PRECOMPOSED = 1;
int MultiByteToWideChar(UINT codePage, unsigned flags, const char* text, int length, wchar_t* wide,
                        int wideLength);

// Drives, as the folder browser's hook probes them: on Windows the system's
// own; elsewhere the root file system is drive 3 ("c:\"), the only one
// present.
inline constexpr UINT DRIVE_NO_ROOT_DIR = 1;
inline constexpr UINT DRIVE_FIXED = 3;
inline constexpr UINT SEM_FAILCRITICALERRORS = 0x0001;
UINT GetDriveType(const char* rootPath);
UINT SetErrorMode(UINT mode);
UINT GetErrorMode();
int GetCurrentDriveNumber();        // 1..26; 3 outside Windows
int ChangeCurrentDrive(int drive);  // 0 on success; -1 for 0 or a missing drive

}  // namespace platform

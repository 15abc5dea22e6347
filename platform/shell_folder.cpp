#include "platform/shell_folder.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "platform/file_system.h"
#include "platform/utf8.h"
#include "platform/window_backend.h"

namespace platform {
namespace {

std::string LastComponent(const std::string& path) {
  if (path == "/") return path;
  auto slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Absolute, with "." and ".." resolved and no trailing "/", when the path
// names something that exists.
bool CanonicalExisting(const std::string& path, std::string& out) {
  std::optional<std::string> canonical = CanonicalExistingPath(path);
  if (canonical) out = std::move(*canonical);
  return canonical.has_value();
}

class ShellMalloc final : public IMalloc {
 public:
  void Free(void* pv) override { delete static_cast<ItemIdList*>(pv); }
  unsigned long Release() override { return 1; }  // process-wide, never freed
};

class DesktopFolder final : public IShellFolder {
 public:
  HRESULT ParseDisplayName(CDialog*, void*, const wchar_t* name, unsigned long* eaten,
                           LPITEMIDLIST* ppidl, unsigned long*) override {
    if (!ppidl) return E_FAIL;
    *ppidl = nullptr;
    if (!name) return E_FAIL;
    // Back to the system code page for the file system. Where wide
    // characters are UTF-16 (Windows), a character beyond its first plane
    // is a pair of them.
    std::string path;
    for (const wchar_t* p = name; *p; ++p) {
      char32_t c = static_cast<char32_t>(*p);
      if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF && p[1] >= 0xDC00 && p[1] <= 0xDFFF)
        c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char32_t>(*++p) - 0xDC00);
      AppendUtf8(path, c);
    }
    std::string canonical;
    if (!CanonicalExisting(path, canonical)) return E_FAIL;
    if (eaten) *eaten = static_cast<unsigned long>(std::wcslen(name));
    *ppidl = new ItemIdList{canonical};
    return S_OK;
  }
  unsigned long Release() override { return 1; }
};

}  // namespace

LPITEMIDLIST SHBrowseForFolder(BROWSEINFO* bi) {
  if (!bi || !HasWindowBackend()) return nullptr;
  FolderBrowseRequest request;
  request.owner = bi->hwndOwner;
  request.title = bi->lpszTitle ? bi->lpszTitle : "";
  request.fileSystemOnly = (bi->ulFlags & BIF_RETURNONLYFSDIRS) != 0;
  if (bi->lpfn) {
    BFFCALLBACK hook = bi->lpfn;
    intptr_t data = bi->lParam;
    request.onInitialized = [hook, data](IFolderBrowser& browser) {
      hook(&browser, BFFM_INITIALIZED, 0, data);
    };
  }
  auto chosen = WindowBackend().BrowseForFolder(request);
  if (!chosen) return nullptr;
  std::string canonical;
  if (!CanonicalExisting(*chosen, canonical)) return nullptr;
  if (bi->pszDisplayName) {
    std::string name = LastComponent(canonical);
    size_t n = std::min(name.size(), static_cast<size_t>(kMaxPath - 1));
    std::memcpy(bi->pszDisplayName, name.data(), n);
    bi->pszDisplayName[n] = '\0';
  }
  return new ItemIdList{canonical};
}

BOOL SHGetPathFromIDList(LPCITEMIDLIST pidl, char* path) {
  if (!path) return FALSE;
  path[0] = '\0';
  if (!pidl || pidl->path.empty() || pidl->path.size() >= static_cast<size_t>(kMaxPath))
    return FALSE;
  std::memcpy(path, pidl->path.c_str(), pidl->path.size() + 1);
  return TRUE;
}

intptr_t SendMessage(HBROWSER hwnd, UINT msg, uintptr_t wParam, intptr_t lParam) {
  if (!hwnd || msg != BFFM_SETSELECTIONA || wParam != 0) return 0;
  auto list = reinterpret_cast<LPCITEMIDLIST>(lParam);
  hwnd->SelectFolder(list ? &list->path : nullptr);
  return 0;
}

HRESULT SHGetMalloc(IMalloc** ppMalloc) {
  if (!ppMalloc) return E_FAIL;
  static ShellMalloc allocator;
  *ppMalloc = &allocator;
  return S_OK;
}

HRESULT SHGetDesktopFolder(IShellFolder** ppshf) {
  if (!ppshf) return E_FAIL;
  static DesktopFolder desktop;
  *ppshf = &desktop;
  return S_OK;
}

int MultiByteToWideChar(UINT, unsigned, const char* text, int length, wchar_t* wide,
                        int wideLength) {
  if (!text) return 0;
  std::string input =
      length < 0 ? std::string(text) : std::string(text, static_cast<size_t>(length));
  const std::optional<std::u32string> decoded = DecodeUtf8(input);
  if (!decoded) return 0;
  std::wstring converted;
  for (const char32_t c : *decoded) {
    if (sizeof(wchar_t) == 2 && c >= 0x10000) {  // a UTF-16 pair
      converted.push_back(static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10)));
      converted.push_back(static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      converted.push_back(static_cast<wchar_t>(c));
    }
  }
  size_t total = converted.size() + (length < 0 ? 1 : 0);
  if (!wide || wideLength <= 0) return static_cast<int>(total);
  if (total > static_cast<size_t>(wideLength)) return 0;
  std::copy(converted.begin(), converted.end(), wide);
  if (length < 0) wide[converted.size()] = L'\0';
  return static_cast<int>(total);
}

}  // namespace platform

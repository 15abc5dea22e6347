#pragma once
// The folder browser as the backends show it. (The Windows-shaped shell
// API that the program calls is built on this.)
#include <functional>
#include <string>

namespace platform {

class CDialog;

// The open browser, as its initialisation hook sees it.
class IFolderBrowser {
 public:
  virtual ~IFolderBrowser() = default;
  // Selects `path` in the tree; nullptr (a request without a folder) does
  // nothing.
  virtual void SelectFolder(const std::string* path) = 0;
};

struct FolderBrowseRequest {
  CDialog* owner = nullptr;
  std::string title;  // may hold a line feed: shown in two lines
  bool fileSystemOnly = true;
  // Called once the browser is open, before the user acts.
  std::function<void(IFolderBrowser&)> onInitialized;
};

}  // namespace platform

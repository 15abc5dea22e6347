#pragma once
#include <QWidget>

#include <optional>
#include <string>

#include "platform/folder_browser.h"

namespace platform::qt {

// The folder browser: the request's title above a tree of the file system's
// folders, OK and Cancel. The chosen folder's absolute path without a
// trailing "/" (the root is "/"), or nullopt on cancel.
std::optional<std::string> RunFolderBrowser(const FolderBrowseRequest& request, QWidget* owner);

}  // namespace platform::qt

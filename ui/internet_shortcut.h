#pragma once
// Internet shortcut files (.url): which files are shortcuts, and the address
// one holds. Shared by the window's dropped files and command line and by
// the terminal front end, so both open a file the same way.
#include <optional>
#include <string>

// True when the file name (the last part of `path`) ends in ".url", in any
// case. A folder called "x.url" does not make the pages inside it shortcuts.
bool IsInternetShortcutName(const std::string& path);

struct ShortcutAddress {
  bool opened = false;                 // the file could be opened
  std::optional<std::string> address;  // nullopt: no line holds "URL="
};

// Reads `path` in text mode up to the first line that contains "URL=".
// The address is that line after its first "=", without the line feed that
// ends it.
ShortcutAddress ReadInternetShortcut(const std::string& path);

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

// Reads `path` in text mode, piece by piece as a 512-byte line buffer takes
// it (at most 511 bytes, up to and including a line feed), up to the first
// piece that contains "URL=". The address is that piece after its first
// "=", without the line feed that ends it.
ShortcutAddress ReadInternetShortcut(const std::string& path);

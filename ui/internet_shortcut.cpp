#include "ui/internet_shortcut.h"

#include <algorithm>
#include <cctype>

#include "platform/file_system.h"
#include "platform/text_file.h"

bool IsInternetShortcutName(const std::string& path) {
  size_t start = path.size();
  while (start > 0 && !platform::IsPathSeparator(path[start - 1])) --start;
  const std::string name = path.substr(start);
  static constexpr char kExt[] = ".url";
  constexpr size_t n = sizeof(kExt) - 1;
  if (name.size() < n) return false;
  return std::equal(name.end() - n, name.end(), kExt, [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == b;
  });
}

ShortcutAddress ReadInternetShortcut(const std::string& path) {
  ShortcutAddress result;
  platform::TextReader reader;
  if (!reader.Open(path)) return result;
  result.opened = true;
  std::string line;
  // Lines are taken whole: a fixed line buffer would cut a long address
  // and send the run to a different page.
  while (reader.ReadLine(line)) {
    if (line.find("URL=") == std::string::npos) continue;
    std::string address = line.substr(line.find('=') + 1);
    if (address.find('\n') != std::string::npos) address.pop_back();
    result.address = std::move(address);
    return result;
  }
  return result;
}

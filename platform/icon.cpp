#include "platform/icon.h"

#include <map>

namespace platform {

namespace {
std::map<int, HICON>& Registry() {
  static std::map<int, HICON> icons;
  return icons;
}
}  // namespace

HICON LoadIcon(const IconResource& icon) {
  Registry()[icon.id] = &icon;
  return &icon;
}

HICON FindIcon(int id) {
  auto it = Registry().find(id);
  return it == Registry().end() ? nullptr : it->second;
}

}  // namespace platform

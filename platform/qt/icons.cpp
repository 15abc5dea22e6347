#include "platform/qt/icons.h"

#include <QPixmap>

#include <map>

#include "platform/icon.h"

namespace platform::qt {

QIcon IconFor(int iconId) {
  static std::map<int, QIcon> cache;
  if (auto it = cache.find(iconId); it != cache.end()) return it->second;
  const HICON resource = FindIcon(iconId);
  if (!resource) return {};
  QIcon icon;
  for (const char* const* xpm : resource->images) {
    const QPixmap pixmap(xpm);
    if (!pixmap.isNull()) icon.addPixmap(pixmap);
  }
  cache.emplace(iconId, icon);
  return icon;
}

}  // namespace platform::qt

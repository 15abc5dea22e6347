#pragma once
#include <QIcon>

namespace platform::qt {

// The icon registered under `iconId` (platform/icon.h) with all its sizes;
// a null icon when none is registered.
QIcon IconFor(int iconId);

}  // namespace platform::qt

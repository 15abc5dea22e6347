#pragma once
// Icon resources as data: each icon is a set of images of different sizes,
// stored as XPM text (a palette of at most 16 colours and one string per
// pixel row). A program loads an icon by handing its resource to LoadIcon,
// which makes it known to the backends under its id.
#include <span>

namespace platform {

struct IconResource {
  int id;
  // XPM images, largest first (32 x 32, then 16 x 16).
  std::span<const char* const* const> images;
};

using HICON = const IconResource*;

// Registers `icon` under its id and returns it; the resource must outlive
// every window that shows it (resource tables are static data).
HICON LoadIcon(const IconResource& icon);

// The icon registered under `id`, or nullptr.
HICON FindIcon(int id);

}  // namespace platform

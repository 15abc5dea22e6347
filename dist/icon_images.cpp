#include "dist/icon_images.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <sstream>

#include "resources/icon_128.h"

namespace dist {

namespace {

// The icon resources' XPM: "W H COLOURS 1", then "<char> c #RRGGBB" or
// "<char> c None" per colour, then one string per row.
std::optional<PaletteImage> ParseXpm(const char* const* xpm, std::string& why) {
  PaletteImage image;
  int colours = 0, charsPerPixel = 0;
  std::istringstream header(xpm[0]);
  if (!(header >> image.width >> image.height >> colours >> charsPerPixel) || charsPerPixel != 1 ||
      image.width <= 0 || image.height <= 0 || colours <= 0 || colours > 256) {
    why = "unreadable XPM header '" + std::string(xpm[0]) + "'";
    return std::nullopt;
  }
  int indexOf[256];
  std::fill(std::begin(indexOf), std::end(indexOf), -1);
  for (int i = 0; i < colours; ++i) {
    const std::string line = xpm[1 + i];
    const std::string value = line.size() > 4 ? line.substr(4) : "";
    uint32_t argb = 0;  // "None": transparent
    if (value.size() == 7 && value[0] == '#') {
      argb = 0xFF000000u | static_cast<uint32_t>(std::strtoul(value.c_str() + 1, nullptr, 16));
    } else if (value != "None") {
      why = "unreadable XPM colour '" + line + "'";
      return std::nullopt;
    }
    indexOf[static_cast<unsigned char>(line[0])] = i;
    image.palette.push_back(argb);
  }
  for (int y = 0; y < image.height; ++y) {
    const std::string row = xpm[1 + colours + y];
    if (static_cast<int>(row.size()) != image.width) {
      why = "XPM row " + std::to_string(y) + " is not " + std::to_string(image.width) + " pixels";
      return std::nullopt;
    }
    for (char c : row) {
      const int index = indexOf[static_cast<unsigned char>(c)];
      if (index < 0) {
        why = std::string("XPM pixel '") + c + "' is not in the palette";
        return std::nullopt;
      }
      image.pixels.push_back(static_cast<uint8_t>(index));
    }
  }
  return image;
}

PaletteImage Enlarged(const PaletteImage& image, int factor) {
  PaletteImage out;
  out.width = image.width * factor;
  out.height = image.height * factor;
  out.palette = image.palette;
  out.pixels.reserve(static_cast<size_t>(out.width) * out.height);
  for (int y = 0; y < out.height; ++y)
    for (int x = 0; x < out.width; ++x)
      out.pixels.push_back(image.pixels[(y / factor) * image.width + x / factor]);
  return out;
}

}  // namespace

std::optional<std::vector<PaletteImage>> IconImages(std::string& why) {
  std::vector<PaletteImage> images;
  for (const char* const* xpm : resources::Icon128().images) {
    auto image = ParseXpm(xpm, why);
    if (!image) return std::nullopt;
    images.push_back(std::move(*image));
  }
  return images;
}

std::optional<PaletteImage> ImageOfSize(const std::vector<PaletteImage>& images, int size) {
  const PaletteImage* source = nullptr;
  for (const PaletteImage& image : images)
    if (image.width == image.height && size > 0 && size % image.width == 0 &&
        (!source || image.width > source->width))
      source = &image;
  if (!source) return std::nullopt;
  return Enlarged(*source, size / source->width);
}

}  // namespace dist

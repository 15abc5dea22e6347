#pragma once
// The program's icon as pixel images, for the tools that write it out in a
// system's own icon format. The icon is 16-colour pixel art, so every size
// is an exact multiple of one of its images, drawn with each pixel repeated
// (never interpolated): the edges stay sharp and the palette stays the
// icon's own. A size takes the largest image it is a multiple of, so 48 px
// is the 16 px image three times over.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace dist {

struct PaletteImage {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> palette;  // 0xAARRGGBB
  std::vector<uint8_t> pixels;    // palette indexes, row by row
};

// The images of icon 128, as its resource holds them; nullopt and `why`
// when one cannot be read.
std::optional<std::vector<PaletteImage>> IconImages(std::string& why);

// The icon drawn `size` pixels square; nullopt when no image divides it.
std::optional<PaletteImage> ImageOfSize(const std::vector<PaletteImage>& images, int size);

}  // namespace dist

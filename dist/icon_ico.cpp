// Writes the program's icon as a Windows icon file, for the programs'
// resources:
//
//   icon_ico FILE SIZE...
//
// Each size is one 32-bit image of the file (see icon_images.h for how a
// size is drawn), with the mask older Windows draws the transparent pixels
// from. Sizes above 255 are refused: the file's directory cannot say them
// without compressed images.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "dist/icon_images.h"

namespace {

using dist::PaletteImage;

void Put16(std::string& out, uint32_t value) {
  out.push_back(static_cast<char>(value));
  out.push_back(static_cast<char>(value >> 8));
}

void Put32(std::string& out, uint32_t value) {
  Put16(out, value);
  Put16(out, value >> 16);
}

// One image as the icon format stores it: a bitmap header giving twice the
// height (colour rows, then mask rows), the colour rows bottom up in BGRA,
// then the mask rows bottom up, one bit a pixel (1: transparent), each row
// padded to four bytes.
std::string IconImage(const PaletteImage& image) {
  const int w = image.width, h = image.height;
  const int maskRow = ((w + 31) / 32) * 4;
  std::string out;
  Put32(out, 40);  // BITMAPINFOHEADER
  Put32(out, static_cast<uint32_t>(w));
  Put32(out, static_cast<uint32_t>(2 * h));
  Put16(out, 1);   // planes
  Put16(out, 32);  // bits per pixel
  Put32(out, 0);   // no compression
  Put32(out, static_cast<uint32_t>(w * h * 4 + maskRow * h));
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, 0);
  for (int y = h - 1; y >= 0; --y)
    for (int x = 0; x < w; ++x) {
      const uint32_t argb = image.palette[image.pixels[static_cast<size_t>(y) * w + x]];
      out.push_back(static_cast<char>(argb));        // blue
      out.push_back(static_cast<char>(argb >> 8));   // green
      out.push_back(static_cast<char>(argb >> 16));  // red
      out.push_back(static_cast<char>(argb >> 24));  // alpha
    }
  for (int y = h - 1; y >= 0; --y) {
    std::string row(static_cast<size_t>(maskRow), '\0');
    for (int x = 0; x < w; ++x) {
      const uint32_t argb = image.palette[image.pixels[static_cast<size_t>(y) * w + x]];
      if ((argb >> 24) == 0) row[static_cast<size_t>(x / 8)] |= static_cast<char>(0x80 >> (x % 8));
    }
    out += row;
  }
  return out;
}

// The icon file: its directory, one entry an image, then the images.
std::string IconFile(const std::vector<PaletteImage>& images) {
  std::string out;
  Put16(out, 0);
  Put16(out, 1);  // an icon, not a cursor
  Put16(out, static_cast<uint32_t>(images.size()));
  std::vector<std::string> data;
  for (const PaletteImage& image : images) data.push_back(IconImage(image));
  uint32_t offset = static_cast<uint32_t>(6 + 16 * images.size());
  for (size_t i = 0; i < images.size(); ++i) {
    out.push_back(static_cast<char>(images[i].width));
    out.push_back(static_cast<char>(images[i].height));
    out.push_back(0);  // not a palette image
    out.push_back(0);
    Put16(out, 1);   // planes
    Put16(out, 32);  // bits per pixel
    Put32(out, static_cast<uint32_t>(data[i].size()));
    Put32(out, offset);
    offset += static_cast<uint32_t>(data[i].size());
  }
  for (const std::string& image : data) out += image;
  return out;
}

int Fail(const std::string& why) {
  std::fprintf(stderr, "icon_ico: %s\n", why.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Fail("usage: icon_ico FILE SIZE...");
  std::string why;
  const std::optional<std::vector<PaletteImage>> images = dist::IconImages(why);
  if (!images) return Fail(why);

  std::vector<PaletteImage> drawn;
  for (int i = 2; i < argc; ++i) {
    const int size = std::atoi(argv[i]);
    if (size > 255) return Fail(std::string("size ") + argv[i] + " is too large");
    std::optional<PaletteImage> image = dist::ImageOfSize(*images, size);
    if (!image) return Fail(std::string("no image of the icon divides size ") + argv[i]);
    drawn.push_back(std::move(*image));
  }
  std::ofstream file(argv[1], std::ios::binary | std::ios::trunc);
  file << IconFile(drawn);
  file.close();
  if (!file) return Fail(std::string("cannot write ") + argv[1]);
  return 0;
}

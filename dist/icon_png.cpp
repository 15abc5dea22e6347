// Writes the program's icon as the PNG files of a desktop icon theme:
//
//   icon_png OUTDIR SIZE...
//
// makes OUTDIR/SIZExSIZE/apps/vimbel.png for each SIZE. The icon is 16-colour
// pixel art, so every size is an exact multiple of one of its images, drawn
// with each pixel repeated (never interpolated): the edges stay sharp and the
// palette stays the icon's own. A size takes the largest image it is a
// multiple of, so 48 px is the 16 px image three times over.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "resources/icon_128.h"

namespace {

struct PaletteImage {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> palette;  // 0xAARRGGBB
  std::vector<uint8_t> pixels;    // palette indexes, row by row
};

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

void PutBigEndian(std::string& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>(value >> shift));
}

void PutChunk(std::string& out, const char* type, const std::string& data) {
  PutBigEndian(out, static_cast<uint32_t>(data.size()));
  const std::string typed = std::string(type, 4) + data;
  out += typed;
  PutBigEndian(out, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(typed.data()),
                                                static_cast<uInt>(typed.size()))));
}

// An 8-bit palette PNG; the transparent colours go into its tRNS chunk.
std::optional<std::string> EncodePng(const PaletteImage& image) {
  std::string png("\x89PNG\r\n\x1a\n", 8);
  std::string header;
  PutBigEndian(header, static_cast<uint32_t>(image.width));
  PutBigEndian(header, static_cast<uint32_t>(image.height));
  header += std::string("\x08\x03\x00\x00\x00", 5);  // depth 8, palette, no interlace
  PutChunk(png, "IHDR", header);

  std::string palette, alpha;
  for (uint32_t argb : image.palette) {
    palette.push_back(static_cast<char>(argb >> 16));
    palette.push_back(static_cast<char>(argb >> 8));
    palette.push_back(static_cast<char>(argb));
    alpha.push_back(static_cast<char>(argb >> 24));
  }
  PutChunk(png, "PLTE", palette);
  PutChunk(png, "tRNS", alpha);

  // Every row starts with its filter byte, 0: none.
  std::vector<Bytef> raw;
  for (int y = 0; y < image.height; ++y) {
    raw.push_back(0);
    raw.insert(raw.end(), image.pixels.begin() + y * image.width,
               image.pixels.begin() + (y + 1) * image.width);
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::vector<Bytef> packed(packedSize);
  if (compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 9) != Z_OK)
    return std::nullopt;
  PutChunk(png, "IDAT", std::string(reinterpret_cast<const char*>(packed.data()), packedSize));
  PutChunk(png, "IEND", "");
  return png;
}

int Fail(const std::string& why) {
  std::fprintf(stderr, "icon_png: %s\n", why.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Fail("usage: icon_png OUTDIR SIZE...");
  const std::filesystem::path outDir = argv[1];

  std::vector<PaletteImage> images;
  for (const char* const* xpm : resources::Icon128().images) {
    std::string why;
    auto image = ParseXpm(xpm, why);
    if (!image) return Fail(why);
    images.push_back(std::move(*image));
  }

  for (int i = 2; i < argc; ++i) {
    const int size = std::atoi(argv[i]);
    const PaletteImage* source = nullptr;
    for (const PaletteImage& image : images)
      if (image.width == image.height && size > 0 && size % image.width == 0 &&
          (!source || image.width > source->width))
        source = &image;
    if (!source) return Fail(std::string("no image of the icon divides size ") + argv[i]);

    const auto png = EncodePng(Enlarged(*source, size / source->width));
    if (!png) return Fail("compression failed");
    const std::string sizeName = std::to_string(size) + "x" + std::to_string(size);
    const std::filesystem::path folder = outDir / sizeName / "apps";
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    std::ofstream file(folder / "vimbel.png", std::ios::binary | std::ios::trunc);
    file << *png;
    file.close();
    if (!file) return Fail("cannot write " + (folder / "vimbel.png").string());
  }
  return 0;
}

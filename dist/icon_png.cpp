// Writes the program's icon as the PNG files of a desktop icon theme:
//
//   icon_png OUTDIR SIZE...
//
// makes OUTDIR/SIZExSIZE/apps/vimbel.png for each SIZE (see icon_images.h
// for how a size is drawn).
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "dist/icon_images.h"

namespace {

using dist::PaletteImage;

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

  std::string why;
  const std::optional<std::vector<PaletteImage>> images = dist::IconImages(why);
  if (!images) return Fail(why);

  for (int i = 2; i < argc; ++i) {
    const int size = std::atoi(argv[i]);
    const std::optional<PaletteImage> image = dist::ImageOfSize(*images, size);
    if (!image) return Fail(std::string("no image of the icon divides size ") + argv[i]);

    const auto png = EncodePng(*image);
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

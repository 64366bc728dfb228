#include "tests/support/tga_reader.h"

#include <cstddef>
#include <utility>

namespace {
int u8(const std::string& b, std::size_t i) { return static_cast<unsigned char>(b[i]); }
int u16(const std::string& b, std::size_t i) { return u8(b, i) | (u8(b, i + 1) << 8); }
}  // namespace

bool read_tga(const std::string& bytes, TgaFile* out, std::string* error) {
  if (bytes.size() < 18) {
    *error = "shorter than a header: " + std::to_string(bytes.size()) + " bytes";
    return false;
  }
  TgaFile f;
  f.id_length = u8(bytes, 0);
  f.colour_map_type = u8(bytes, 1);
  f.image_type = u8(bytes, 2);
  f.colour_map_first = u16(bytes, 3);
  f.colour_map_length = u16(bytes, 5);
  f.colour_map_entry_size = u8(bytes, 7);
  f.x_origin = u16(bytes, 8);
  f.y_origin = u16(bytes, 10);
  f.width = u16(bytes, 12);
  f.height = u16(bytes, 14);
  f.depth = u8(bytes, 16);
  f.descriptor = u8(bytes, 17);
  if (f.image_type != 2 || f.colour_map_type != 0) {
    *error = "not an uncompressed true-colour file without colour map";
    return false;
  }
  if (f.depth != 24 && f.depth != 32) {
    *error = "unexpected depth " + std::to_string(f.depth);
    return false;
  }
  const std::size_t bpp = static_cast<std::size_t>(f.depth / 8);
  const std::size_t count = static_cast<std::size_t>(f.width) * static_cast<std::size_t>(f.height);
  const std::size_t expected = 18 + static_cast<std::size_t>(f.id_length) + count * bpp;
  if (bytes.size() != expected) {
    *error = "size " + std::to_string(bytes.size()) + ", expected " + std::to_string(expected);
    return false;
  }
  f.pixels.width = f.width;
  f.pixels.height = f.height;
  f.pixels.rgb.resize(count * 3);
  f.alpha.resize(count);
  // Descriptor bit 5: rows start at the top; bit 4: columns at the right.
  const bool top_first = f.descriptor & 0x20, right_first = f.descriptor & 0x10;
  std::size_t in = 18 + static_cast<std::size_t>(f.id_length);
  for (int row = 0; row < f.height; ++row)
    for (int col = 0; col < f.width; ++col, in += bpp) {
      const int x = right_first ? f.width - 1 - col : col, y = top_first ? row : f.height - 1 - row;
      const std::size_t i = static_cast<std::size_t>(y) * f.width + x;
      f.pixels.rgb[i * 3 + 0] = static_cast<unsigned char>(bytes[in + 2]);
      f.pixels.rgb[i * 3 + 1] = static_cast<unsigned char>(bytes[in + 1]);
      f.pixels.rgb[i * 3 + 2] = static_cast<unsigned char>(bytes[in + 0]);
      f.alpha[i] = bpp == 4 ? static_cast<unsigned char>(bytes[in + 3]) : 255;
    }
  *out = std::move(f);
  return true;
}

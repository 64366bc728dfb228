#include "tests/support/rough_files.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

uint32_t crc32(const std::string& bytes, std::size_t from) {
  static uint32_t table[256];
  static bool made = false;
  if (!made) {
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[n] = c;
    }
    made = true;
  }
  uint32_t c = 0xFFFFFFFFu;
  for (std::size_t i = from; i < bytes.size(); ++i)
    c = table[(c ^ static_cast<unsigned char>(bytes[i])) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

void put_be32(std::string* out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out->push_back(static_cast<char>((v >> shift) & 0xFF));
}

void put_chunk(std::string* png, const char* type, const std::string& data) {
  put_be32(png, static_cast<uint32_t>(data.size()));
  const std::size_t from = png->size();
  png->append(type, 4);
  png->append(data);
  put_be32(png, crc32(*png, from));
}

// A zlib stream of stored (uncompressed) deflate blocks.
std::string zlib_stored(const std::string& raw) {
  std::string z;
  z.push_back(0x78);
  z.push_back(0x01);
  std::size_t at = 0;
  do {
    const std::size_t n = std::min<std::size_t>(raw.size() - at, 65535);
    const bool last = at + n == raw.size();
    z.push_back(last ? 1 : 0);
    z.push_back(static_cast<char>(n & 0xFF));
    z.push_back(static_cast<char>(n >> 8));
    z.push_back(static_cast<char>(~n & 0xFF));
    z.push_back(static_cast<char>((~n >> 8) & 0xFF));
    z.append(raw, at, n);
    at += n;
  } while (at < raw.size());
  uint32_t a = 1, b = 0;
  for (unsigned char c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  put_be32(&z, (b << 16) | a);
  return z;
}

}  // namespace

std::string two_colour_png(int width, int height, Rgb left, Rgb right) {
  std::string png("\x89PNG\r\n\x1a\n", 8);
  std::string ihdr;
  put_be32(&ihdr, static_cast<uint32_t>(width));
  put_be32(&ihdr, static_cast<uint32_t>(height));
  ihdr +=
      std::string("\x01\x03\x00\x00\x00", 5);  // 1 bit, palette, deflate, no filter, no interlace
  put_chunk(&png, "IHDR", ihdr);
  const std::string palette{static_cast<char>(left.r),  static_cast<char>(left.g),
                            static_cast<char>(left.b),  static_cast<char>(right.r),
                            static_cast<char>(right.g), static_cast<char>(right.b)};
  put_chunk(&png, "PLTE", palette);
  // Every row is the same: filter byte 0, then one bit a pixel, first
  // pixel in the top bit.
  const std::size_t row_bytes = (static_cast<std::size_t>(width) + 7) / 8;
  std::string row(1 + row_bytes, '\0');
  for (int x = width / 2; x < width; ++x) row[1 + x / 8] |= static_cast<char>(0x80 >> (x % 8));
  std::string raw;
  raw.reserve(row.size() * static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y) raw += row;
  put_chunk(&png, "IDAT", zlib_stored(raw));
  put_chunk(&png, "IEND", "");
  return png;
}

std::string cut(const std::string& bytes, std::size_t keep) { return bytes.substr(0, keep); }

testing::AssertionResult single_block_strokes(Daubwork& d) {
  for (const auto& [label, value] : std::vector<std::pair<std::string, std::string>>{
           {"Stroke Number: ", "1"}, {"Stroke Radius: ", "1"}, {"Stroke Size: ", "20"}}) {
    auto r = d.set_text(label, value);
    if (!r) return r;
  }
  d.click("Blocks");
  d.click_canvas(40, 40, e2e::Button::Middle);  // commits the typed values
  return testing::AssertionSuccess();
}

testing::AssertionResult paint_block(Daubwork& d, e2e::Point at, Rgb* inside) {
  // An outline still on screen from before (a load's blanking not shown
  // yet) must not be taken for the new one.
  auto clear = [&] {
    return black_pixels(d.canvas_shot(), at.x - 10, at.y - 25, at.x + 12, at.y + 25) == 0;
  };
  auto r = e2e::wait_until(
      clear, "no block outline at (" + std::to_string(at.x) + ", " + std::to_string(at.y) + ")");
  if (!r) return r;
  d.drag({at, {at.x + 1, at.y}}, 1);
  // The block's outline: 10 x 40 pixels around the stroke's point. A
  // screenshot can catch the window half updated (the picture reaches the
  // X server in bands of rows), so both its top and bottom edges must show:
  // every row between them is then new too.
  auto shown = [&] {
    const RgbImage s = d.canvas_shot();
    return black_pixels(s, at.x - 10, at.y - 25, at.x + 12, at.y - 15) > 5 &&
           black_pixels(s, at.x - 10, at.y + 15, at.x + 12, at.y + 25) > 5;
  };
  r = e2e::wait_until(shown, "the black outline of a block at (" + std::to_string(at.x) + ", " +
                                 std::to_string(at.y) + ")");
  if (!r) return r;
  *inside = d.canvas_shot().at(at.x + 1, at.y);  // the same frame or a later one
  return testing::AssertionSuccess();
}

testing::AssertionResult wait_for_white_canvas(Daubwork& d) {
  return e2e::wait_until([&] { return non_white_pixels(d.canvas_shot()) == 0; }, "a white canvas");
}

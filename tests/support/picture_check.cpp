#include "tests/support/picture_check.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "tests/support/tga_reader.h"

RgbImage read_ppm(const std::string& path) {
  RgbImage img;
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int max = 0;
  in >> magic >> img.width >> img.height >> max;
  in.get();
  if (magic != "P6" || max != 255 || img.width <= 0 || img.height <= 0) return {};
  img.rgb.resize(3 * static_cast<size_t>(img.width) * img.height);
  in.read(reinterpret_cast<char*>(img.rgb.data()), static_cast<std::streamsize>(img.rgb.size()));
  if (!in) return {};
  return img;
}

RgbImage picture_at_size(const std::string& picture, int width, int height,
                         const std::string& scratch_dir) {
  const std::string out = scratch_dir + "/picture-at-size.ppm";
  std::ostringstream cmd;
  cmd << "convert '" << picture << "' -resize " << width << "x" << height << "! ppm:'" << out << "'";
  if (std::system(cmd.str().c_str()) != 0) return {};
  return read_ppm(out);
}

namespace {

bool white(const unsigned char* p) { return p[0] == 255 && p[1] == 255 && p[2] == 255; }

bool close(const unsigned char* a, const unsigned char* b, int tol) {
  for (int i = 0; i < 3; ++i)
    if (std::abs(int(a[i]) - int(b[i])) > tol) return false;
  return true;
}

}  // namespace

bool painted_from_picture(const TgaFile& canvas, const RgbImage& picture, const CanvasRegion& region,
                          int radius, int tolerance, bool black_outlines, int* painted,
                          std::string* why) {
  *painted = 0;
  for (int y = region.y0; y < region.y1; ++y)
    for (int x = region.x0; x < region.x1; ++x) {
      if (x < 0 || y < 0 || x >= canvas.width || y >= canvas.height) continue;
      const unsigned char* p = &canvas.rgba[4 * (static_cast<size_t>(y) * canvas.width + x)];
      if (white(p)) continue;
      ++*painted;
      if (black_outlines && p[0] == 0 && p[1] == 0 && p[2] == 0) continue;
      bool found = false;
      // Picture rows are stored top first; canvas rows bottom first.
      for (int dy = -radius; dy <= radius && !found; ++dy)
        for (int dx = -radius; dx <= radius && !found; ++dx) {
          int px = x + dx, py = canvas.height - 1 - (y + dy);
          if (px < 0 || py < 0 || px >= picture.width || py >= picture.height) continue;
          found = close(p, picture.at(px, py), tolerance);
        }
      if (!found) {
        std::ostringstream s;
        s << "canvas pixel (" << x << ", " << y << ") colour " << int(p[0]) << "," << int(p[1]) << ","
          << int(p[2]) << " is not near any picture colour around it";
        *why = s.str();
        return false;
      }
    }
  return true;
}

int painted_outside(const TgaFile& canvas, const std::vector<CanvasRegion>& regions) {
  int n = 0;
  for (int y = 0; y < canvas.height; ++y)
    for (int x = 0; x < canvas.width; ++x) {
      const unsigned char* p = &canvas.rgba[4 * (static_cast<size_t>(y) * canvas.width + x)];
      if (white(p)) continue;
      bool inside = false;
      for (const CanvasRegion& r : regions) inside = inside || r.contains(x, y);
      n += !inside;
    }
  return n;
}

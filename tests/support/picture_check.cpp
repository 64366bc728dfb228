#include "tests/support/picture_check.h"

#include <cstdlib>
#include <sstream>

RgbImage picture_at_size(const std::string& picture, int width, int height,
                         const std::string& scratch_dir) {
  const std::string out = scratch_dir + "/picture-at-size.ppm";
  std::ostringstream cmd;
  cmd << "convert '" << picture << "' -resize " << width << "x" << height << "! ppm:'" << out
      << "'";
  if (std::system(cmd.str().c_str()) != 0) return {};
  return read_ppm(out);
}

namespace {

bool close(Rgb a, Rgb b, int tol) {
  return std::abs(a.r - b.r) <= tol && std::abs(a.g - b.g) <= tol && std::abs(a.b - b.b) <= tol;
}

}  // namespace

bool painted_from_picture(const RgbImage& canvas, const RgbImage& picture,
                          const CanvasRegion& region, int radius, int tolerance,
                          bool black_outlines, int* painted, std::string* why) {
  *painted = 0;
  for (int y = region.y0; y < region.y1; ++y)
    for (int x = region.x0; x < region.x1; ++x) {
      if (x < 0 || y < 0 || x >= canvas.width || y >= canvas.height) continue;
      const Rgb p = canvas.at(x, y);
      if (is_white(p)) continue;
      ++*painted;
      if (black_outlines && is_black(p)) continue;
      bool found = false;
      for (int dy = -radius; dy <= radius && !found; ++dy)
        for (int dx = -radius; dx <= radius && !found; ++dx) {
          const int px = x + dx, py = y + dy;
          if (px < 0 || py < 0 || px >= picture.width || py >= picture.height) continue;
          found = close(p, picture.at(px, py), tolerance);
        }
      if (!found) {
        std::ostringstream s;
        s << "canvas pixel (" << x << ", " << y << ") colour " << p
          << " is not near any picture colour around it";
        *why = s.str();
        return false;
      }
    }
  return true;
}

int painted_outside(const RgbImage& canvas, const std::vector<CanvasRegion>& regions) {
  int n = 0;
  for (int y = 0; y < canvas.height; ++y)
    for (int x = 0; x < canvas.width; ++x) {
      if (is_white(canvas.at(x, y))) continue;
      bool inside = false;
      for (const CanvasRegion& r : regions) inside = inside || r.contains(x, y);
      n += !inside;
    }
  return n;
}

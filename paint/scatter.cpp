#include "paint/scatter.h"

#include <cmath>
#include <cstdlib>

namespace {
RandomSource random_source = nullptr;
}

void set_random_source(RandomSource source) { random_source = source; }

int next_random() { return random_source ? random_source() : std::rand(); }

void scatter_burst(int x, int y, int count, int radius, void (*paint)(int, int)) {
  if (count <= 0) return;
  if (radius < 1) radius = 1;  // the remainder below must never divide by 0
  int accepted = 0;
  while (accepted < count) {
    // The remainder of a non-negative number: offsets lie in -R ... R-1.
    const int dx = next_random() % (2 * radius) - radius;
    const int dy = next_random() % (2 * radius) - radius;
    const float d = static_cast<float>(std::sqrt(static_cast<double>(dx * dx + dy * dy)));
    if (static_cast<float>(radius) < d) continue;  // outside the disc: draw again
    paint(x + dx, y + dy);
    ++accepted;
  }
}

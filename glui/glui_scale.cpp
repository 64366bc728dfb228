// See glui_scale.h.
#include "glui/glui_scale.h"

#include <X11/Xlib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

float glui_scale_from_resources(const char* resources) {
  if (!resources) return 1.0f;
  static const char kName[] = "Xft.dpi";
  float scale = 1.0f;
  // The last line of the name counts, as the resource manager takes it.
  for (const char* line = resources; *line;) {
    const char* end = std::strchr(line, '\n');
    if (!end) end = line + std::strlen(line);
    const char* p = line;
    while (p < end && (*p == ' ' || *p == '\t')) ++p;
    const size_t name_length = sizeof kName - 1;
    if (static_cast<size_t>(end - p) > name_length && std::strncmp(p, kName, name_length) == 0) {
      p += name_length;
      while (p < end && (*p == ' ' || *p == '\t')) ++p;
      if (p < end && *p == ':') {
        ++p;
        // A bounded copy: strtod must not read past the line.
        char value[32] = {};
        const size_t n = std::min(static_cast<size_t>(end - p), sizeof value - 1);
        std::memcpy(value, p, n);
        char* stop = nullptr;
        const double dpi = std::strtod(value, &stop);
        if (stop != value && std::isfinite(dpi) && dpi > 0.0)
          scale = static_cast<float>(std::fmin(std::fmax(dpi / 96.0, 0.5), 4.0));
      }
    }
    line = *end ? end + 1 : end;
  }
  return scale;
}

float glui_desktop_scale() {
  static const float scale = [] {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return 1.0f;
    const float s = glui_scale_from_resources(XResourceManagerString(display));
    XCloseDisplay(display);
    return s;
  }();
  return scale;
}

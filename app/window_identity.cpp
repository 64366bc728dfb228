#include "app/window_identity.h"

#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <stb_image.h>

#include <vector>

namespace {

#include "window_icons.inc"  // the icon's PNG files, made at build time

struct IconFile {
  const unsigned char* png;
  unsigned size;
};
const IconFile kIcons[] = {
    {icon_48, icon_48_size}, {icon_128, icon_128_size}, {icon_256, icon_256_size}};

// _NET_WM_ICON's value: for each size its width, height and ARGB pixels,
// rows from the top. The X library takes 32-bit values as longs.
std::vector<unsigned long> icon_property() {
  std::vector<unsigned long> value;
  for (const IconFile& icon : kIcons) {
    int w = 0, h = 0, channels = 0;
    unsigned char* rgba =
        stbi_load_from_memory(icon.png, static_cast<int>(icon.size), &w, &h, &channels, 4);
    if (!rgba) continue;
    value.push_back(static_cast<unsigned long>(w));
    value.push_back(static_cast<unsigned long>(h));
    for (size_t i = 0; i < static_cast<size_t>(w) * static_cast<size_t>(h); ++i) {
      const unsigned char* p = rgba + 4 * i;
      value.push_back(static_cast<unsigned long>(p[3]) << 24 |
                      static_cast<unsigned long>(p[0]) << 16 |
                      static_cast<unsigned long>(p[1]) << 8 | p[2]);
    }
    stbi_image_free(rgba);
  }
  return value;
}

}  // namespace

void set_window_identity() {
  // GLUT draws into the window itself: the current drawable is the window,
  // on GLUT's connection.
  Display* display = glXGetCurrentDisplay();
  const Window window = glXGetCurrentDrawable();
  if (!display || window == 0) return;
  char name[] = "daubwork";
  char program_class[] = "Daubwork";
  XClassHint hint{name, program_class};
  XSetClassHint(display, window, &hint);
  const std::vector<unsigned long> icon = icon_property();
  if (!icon.empty()) {
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_ICON", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(icon.data()),
                    static_cast<int>(icon.size()));
  }
  XFlush(display);
}

void set_window_least_size(int width, int height) {
  Display* display = glXGetCurrentDisplay();
  const Window window = glXGetCurrentDrawable();
  if (!display || window == 0 || width <= 0 || height <= 0) return;
  XSizeHints* hints = XAllocSizeHints();
  if (!hints) return;
  long supplied = 0;
  XGetWMNormalHints(display, window, hints, &supplied);  // what GLUT set stays
  hints->flags |= PMinSize;
  hints->min_width = width;
  hints->min_height = height;
  XSetWMNormalHints(display, window, hints);
  XFree(hints);
  XFlush(display);
}

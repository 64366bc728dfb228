// Glue: Save Image. Reads the program's state (app/state.h: the canvas
// rectangle, the Image Filename field) and the canvas as shown, and hands
// the pixels to the TGA writer (export/tga.h).
#include "export/save_image.h"

#include <GL/freeglut.h>

#include <cstdio>
#include <new>

#include "app/canvas_buffers.h"
#include "app/state.h"
#include "export/tga.h"

void save_image() {
  refresh_canvas_rect();
  const int channels = glutGet(GLUT_WINDOW_RGBA) ? 4 : 3;
  const size_t bytes = static_cast<size_t>(vp_w) * static_cast<size_t>(vp_h) * channels;
  const char* path = image_filename_text->get_text();
  unsigned char* pixels = new (std::nothrow) unsigned char[bytes];
  if (!pixels) {
    std::fprintf(stderr, "[ERROR] could not save file \"%s\": not enough memory\n", path);
    std::fflush(stderr);
    return;
  }
  canvas_read_pixels(CANVAS_FRONT, vp_w, vp_h, channels, pixels);  // what the user sees
  write_tga(path, vp_w, vp_h, channels, pixels);
  delete[] pixels;
}

// Glue: Save Image. Reads the program's state (app/state.h: the canvas
// rectangle, the Image Filename field) and the canvas as shown, and hands
// the pixels to the TGA writer (export/tga.h).
#include "export/save_image.h"

#include <GL/freeglut.h>

#include <cstdio>
#include <memory>
#include <new>
#include <string>

#include "app/canvas_buffers.h"
#include "app/state.h"
#include "export/tga.h"

bool save_image() {
  refresh_canvas_rect();
  const int channels = glutGet(GLUT_WINDOW_RGBA) ? 4 : 3;
  const size_t bytes = static_cast<size_t>(vp_w) * static_cast<size_t>(vp_h) * channels;
  const char* path = image_filename_text->get_text();
  const std::unique_ptr<unsigned char[]> pixels(new (std::nothrow) unsigned char[bytes]);
  if (!pixels) {
    std::fprintf(stderr, "[ERROR] could not save file \"%s\": not enough memory\n", path);
    std::fflush(stderr);
    return false;
  }
  canvas_read_pixels(CANVAS_FRONT, vp_w, vp_h, channels, pixels.get());  // what the user sees
  std::string kept;
  const bool saved = write_tga_keeping(path, vp_w, vp_h, channels, pixels.get(), &kept);
  // Also after a failed save: a file written into may then be short, and
  // the copy is all that is left of it.
  if (!kept.empty()) std::printf("Kept the earlier %s as %s.\n", path, kept.c_str());
  return saved;
}

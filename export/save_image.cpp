#include "export/save_image.h"

#include <GL/freeglut.h>

#include <cstdio>
#include <new>

#include "app/canvas.h"
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
  GLint pack_alignment = 4;
  glGetIntegerv(GL_PACK_ALIGNMENT, &pack_alignment);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);  // 3-channel rows back to back
  canvas_read_buffer(CANVAS_FRONT);     // what the user sees
  if (bytes > 0)
    glReadPixels(0, 0, vp_w, vp_h, channels == 4 ? GL_RGBA : GL_RGB, GL_UNSIGNED_BYTE, pixels);
  glPixelStorei(GL_PACK_ALIGNMENT, pack_alignment);
  write_tga(path, vp_w, vp_h, channels, pixels);
  delete[] pixels;
}

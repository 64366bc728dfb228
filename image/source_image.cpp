// Glue: the source image's side of the program. Reads the program's state
// (app/state.h: the canvas rectangle, the Image Filename field, the Gradient
// Threshold spinner, the recapture flag) and hands plain arrays to the edge
// map (image/edge_map.h) and the edge angle (paint/edge_angle.h).
#include "image/source_image.h"

#include <GL/freeglut.h>

#include <cstdio>
#include <new>
#include <string>

#include "app/canvas_buffers.h"
#include "app/gl_scope.h"
#include "app/state.h"
#include "base/file_problem.h"
#include "base/messages.h"
#include "image/edge_map.h"
#include "image/picture_file.h"
#include "paint/edge_angle.h"

uint32_t image_texture = 0;
unsigned char* source_rgb = nullptr;
float* grad_x = nullptr;
float* grad_y = nullptr;
unsigned char* edge_mask = nullptr;
int source_width = 0, source_height = 0;
EdgeAngleField source_edges;

namespace {

void release_arrays() {
  delete[] source_rgb;
  delete[] grad_x;
  delete[] grad_y;
  delete[] edge_mask;
  source_rgb = nullptr;
  grad_x = grad_y = nullptr;
  edge_mask = nullptr;
  source_width = source_height = 0;
  source_edges.reset(nullptr, nullptr, nullptr, 0, 0);
}

// The picture, stretched over the whole canvas: texture corner (0, 0) at
// the canvas's bottom-left, (1, 1) at its top-right, whatever the
// picture's own aspect ratio.
void draw_picture() {
  glColor3f(1.0f, 1.0f, 1.0f);  // with the default modulate: the texture's own colours
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, image_texture);
  {
    const MatrixScope stretched;
    glScalef(static_cast<float>(vp_w), static_cast<float>(vp_h), 1.0f);
    glBegin(GL_QUADS);
    glTexCoord2f(0.0f, 0.0f);
    glVertex3f(0.0f, 0.0f, 0.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex3f(1.0f, 0.0f, 0.0f);
    glTexCoord2f(1.0f, 1.0f);
    glVertex3f(1.0f, 1.0f, 0.0f);
    glTexCoord2f(0.0f, 1.0f);
    glVertex3f(0.0f, 1.0f, 0.0f);
    glEnd();
  }
  glDisable(GL_TEXTURE_2D);
}

}  // namespace

void load_image() {
  const char* path = image_filename_text->get_text();
  // Decoded apart from the program: a broken file cannot take it down. The
  // picture being replaced is not drawn again, and its texture holds a
  // whole picture: the new one takes its place, or it is given back.
  image_texture = reload_picture_texture(path, image_texture);
  if (image_texture != 0) {
    print_message_line(stdout, "Image %s loaded.\n", path);
  } else {
    print_message_line(stdout, "Could not load image %s!\n", path);
    // A file that opens was refused for its content.
    const std::string why = read_problem(path);
    explain_last_message_line(why.empty() ? "not a picture this program reads" : why);
  }
  capture_source_image();
  recapture_pending = false;
}

void capture_source_image() {
  canvas_draw_buffer(CANVAS_BACK);
  canvas_clear();
  refresh_canvas_rect();
  draw_picture();

  release_arrays();
  const size_t cells = static_cast<size_t>(vp_w) * static_cast<size_t>(vp_h);
  source_rgb = new (std::nothrow) unsigned char[3 * cells];
  grad_x = new (std::nothrow) float[cells];
  grad_y = new (std::nothrow) float[cells];
  if (!source_rgb || !grad_x || !grad_y) {
    print_message_line(stderr, "Not enough memory for the source image of a %d x %d canvas.\n",
                       vp_w, vp_h);
    release_arrays();
  } else {
    source_width = vp_w;
    source_height = vp_h;
    canvas_read_pixels(CANVAS_BACK, vp_w, vp_h, 3, source_rgb);
    compute_edge_map();
  }

  canvas_clear();
  glutPostRedisplay();
  canvas_draw_buffer(CANVAS_FRONT);
  canvas_clear();
}

void compute_edge_map() {
  refresh_canvas_rect();
  const int w = source_width, h = source_height;
  delete[] edge_mask;
  edge_mask = new (std::nothrow) unsigned char[static_cast<size_t>(w) * static_cast<size_t>(h)];
  if (!edge_mask || !source_rgb || !grad_x || !grad_y) {
    print_message_line(stderr, "Not enough memory for the edge map of a %d x %d canvas.\n", w, h);
    release_arrays();
    return;
  }
  const float threshold = gradient_threshold_spinner->get_float_val();
  compute_edge_map_arrays(source_rgb, w, h, threshold, grad_x, grad_y, edge_mask);
  source_edges.reset(grad_x, grad_y, edge_mask, w, h);
}

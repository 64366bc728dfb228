#include "app/canvas_buffers.h"

#include <GL/freeglut.h>
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glx.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "app/gl_scope.h"

namespace {

// One framebuffer object: attachment 0 is "back", 1 is "front", and the
// depth buffer is shared. Colour has no alpha planes, like the window.
GLuint fbo = 0;
GLuint color[2] = {0, 0};
GLuint depth = 0;
int width_ = 0, height_ = 0;  // logical size; storage is at least 1 x 1
CanvasBuffer draw_selected = CANVAS_BACK;
CanvasBuffer read_selected = CANVAS_BACK;
// Back may hold something front does not show yet. Every drawing into
// back is preceded by canvas_draw_buffer(CANVAS_BACK) or a clear since
// the last swap (the program selects its buffer before each drawing),
// which set this; so a swap with nothing new is one copy, front to window.
bool back_changed = true;
// Where back may have changed since the last swap: [x0, x1) x [y0, y1),
// or anywhere.
struct Drawn {
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  bool anywhere = true;
};
Drawn back_drawn;
// The screen shows front as it stood at the last swap, over the rectangle
// shown then: false from a change of front that no swap has shown (a
// drawing into front or a clear of it, a new size) until the next whole
// swap.
bool screen_matches_front = false;
// Shown only in part since the last whole swap, and when each was.
using Clock = std::chrono::steady_clock;
bool shown_in_part = false;
Clock::time_point last_swap, last_whole_swap;
// The longest the painting goes on without a whole swap, and the pause
// after which the window is shown whole again.
constexpr auto kWholeSwapAtLeastEvery = std::chrono::seconds(1);
constexpr auto kPauseBeforeWholeSwap = std::chrono::milliseconds(50);
// A buffer holds nothing but the clear colour: it has been cleared since it
// was last selected for drawing. Clearing it again changes nothing, so a
// display that blanks the canvas over and over shows nothing new.
bool known_blank[2] = {true, true};
// The window may not show front as it stands: something was drawn or
// cleared since the last swap, or the last swap went to a rectangle of
// another size.
bool unshown = true;
int shown_x = -1, shown_y = -1, shown_w = -1, shown_h = -1;
// The drawing counted since the last batch ended (see
// canvas_count_drawing), and the mark placed where that batch ended (null
// when there is none, or the driver could place none).
constexpr unsigned kBatch = 32;
unsigned batch_count = 0;
GLsync batch_end = nullptr;

// The driver's copy of part of the window's back buffer to the screen;
// null where it has none.
PFNGLXCOPYSUBBUFFERMESAPROC copy_sub_buffer() {
  static PFNGLXCOPYSUBBUFFERMESAPROC copy = nullptr;
  static bool looked = false;
  if (looked) return copy;
  Display* display = glXGetCurrentDisplay();
  if (!display) return nullptr;  // no context yet: look again later
  looked = true;
  const char* extensions = glXQueryExtensionsString(display, DefaultScreen(display));
  const char* name = "GLX_MESA_copy_sub_buffer";
  for (const char* at = extensions; at && (at = std::strstr(at, name)); at += std::strlen(name)) {
    const char end = at[std::strlen(name)];
    if ((at == extensions || at[-1] == ' ') && (end == ' ' || end == '\0')) {
      copy = reinterpret_cast<PFNGLXCOPYSUBBUFFERMESAPROC>(
          glXGetProcAddress(reinterpret_cast<const GLubyte*>("glXCopySubBufferMESA")));
      break;
    }
  }
  return copy;
}

GLenum attachment(CanvasBuffer b) {
  return b == CANVAS_BACK ? GL_COLOR_ATTACHMENT0 : GL_COLOR_ATTACHMENT1;
}

void allocate(GLuint* colors, GLuint* depth_rb, int w, int h) {
  w = std::max(w, 1);
  h = std::max(h, 1);
  glGenRenderbuffers(2, colors);
  glGenRenderbuffers(1, depth_rb);
  for (int i = 0; i < 2; ++i) {
    glBindRenderbuffer(GL_RENDERBUFFER, colors[i]);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGB8, w, h);
  }
  glBindRenderbuffer(GL_RENDERBUFFER, *depth_rb);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, w, h);
  glBindRenderbuffer(GL_RENDERBUFFER, 0);
}

void attach(GLuint* colors, GLuint depth_rb) {
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colors[0]);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT1, GL_RENDERBUFFER, colors[1]);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth_rb);
}

// Restores the framebuffer binding and the two selections.
void bind_targets() {
  glBindFramebuffer(GL_FRAMEBUFFER, fbo);
  glDrawBuffer(attachment(draw_selected));
  glReadBuffer(attachment(read_selected));
}

}  // namespace

void canvas_buffers_resize(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (fbo != 0 && width == width_ && height == height_) return;

  GLuint new_color[2], new_depth;
  allocate(new_color, &new_depth, width, height);
  if (fbo == 0) {
    glGenFramebuffers(1, &fbo);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    attach(new_color, new_depth);
    const GLfloat white[4] = {1, 1, 1, 1};
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glClearBufferfv(GL_COLOR, 0, white);
    glDrawBuffer(GL_COLOR_ATTACHMENT1);
    glClearBufferfv(GL_COLOR, 0, white);
    glClearBufferfi(GL_DEPTH_STENCIL, 0, 1.0f, 0);
  } else {
    // Carry over what fits: a second framebuffer reads the old targets
    // while the new ones receive them, bottom-left corners aligned.
    GLuint old_fbo;
    glGenFramebuffers(1, &old_fbo);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, old_fbo);
    glFramebufferRenderbuffer(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, color[0]);
    glFramebufferRenderbuffer(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT1, GL_RENDERBUFFER, color[1]);
    glFramebufferRenderbuffer(GL_READ_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, fbo);
    attach(new_color, new_depth);  // on the draw binding, which is fbo
    int w = std::min(width, width_), h = std::min(height, height_);
    const GLfloat white[4] = {1, 1, 1, 1};
    // The scissor box would cut the blits.
    const CapabilityScope no_scissor(GL_SCISSOR_TEST, false);
    for (int i = 0; i < 2; ++i) {
      glDrawBuffer(GL_COLOR_ATTACHMENT0 + i);
      glClearBufferfv(GL_COLOR, 0, white);
      glReadBuffer(GL_COLOR_ATTACHMENT0 + i);
      if (w > 0 && h > 0)
        glBlitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    }
    glClearBufferfi(GL_DEPTH_STENCIL, 0, 1.0f, 0);
    if (w > 0 && h > 0) glBlitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_DEPTH_BUFFER_BIT, GL_NEAREST);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glDeleteFramebuffers(1, &old_fbo);
    glDeleteRenderbuffers(2, color);
    glDeleteRenderbuffers(1, &depth);
  }
  color[0] = new_color[0];
  color[1] = new_color[1];
  depth = new_depth;
  width_ = width;
  height_ = height;
  back_changed = true;
  back_drawn = Drawn{};
  screen_matches_front = false;
  unshown = true;
  bind_targets();
}

void canvas_draw_buffer(CanvasBuffer buffer) {
  if (fbo == 0) canvas_buffers_resize(0, 0);
  draw_selected = buffer;
  known_blank[buffer] = false;  // drawing may follow
  if (buffer == CANVAS_BACK) {
    back_changed = true;
    back_drawn.anywhere = true;
  } else {
    screen_matches_front = false;
  }
  unshown = true;
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, fbo);
  glDrawBuffer(attachment(buffer));
}

void canvas_draw_back_within(int x0, int y0, int x1, int y1) {
  if (fbo == 0) canvas_buffers_resize(0, 0);
  draw_selected = CANVAS_BACK;
  if (x0 < x1 && y0 < y1) {
    if (!back_changed) {
      back_drawn = Drawn{x0, y0, x1, y1, false};
    } else if (!back_drawn.anywhere) {
      back_drawn.x0 = std::min(back_drawn.x0, x0);
      back_drawn.y0 = std::min(back_drawn.y0, y0);
      back_drawn.x1 = std::max(back_drawn.x1, x1);
      back_drawn.y1 = std::max(back_drawn.y1, y1);
    }
    known_blank[CANVAS_BACK] = false;
    back_changed = true;
    unshown = true;
  }
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, fbo);
  glDrawBuffer(attachment(CANVAS_BACK));
}

CanvasBuffer canvas_selected_draw_buffer() { return draw_selected; }

void canvas_read_buffer(CanvasBuffer buffer) {
  if (fbo == 0) canvas_buffers_resize(0, 0);
  read_selected = buffer;
  glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo);
  glReadBuffer(attachment(buffer));
}

void canvas_read_pixels(CanvasBuffer buffer, int width, int height, int channels,
                        unsigned char* out) {
  canvas_read_buffer(buffer);
  if (width <= 0 || height <= 0) return;
  const PixelStoreScope rows_back_to_back(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width, height, channels == 4 ? GL_RGBA : GL_RGB, GL_UNSIGNED_BYTE, out);
}

void canvas_clear() {
  if (fbo == 0) canvas_buffers_resize(0, 0);
  if (!known_blank[draw_selected]) {
    if (draw_selected == CANVAS_BACK) {
      back_changed = true;
      back_drawn.anywhere = true;
    } else {
      screen_matches_front = false;
    }
    unshown = true;
    known_blank[draw_selected] = true;
  }
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, fbo);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void canvas_swap(int x, int y, int width, int height) {
  if (fbo == 0) canvas_buffers_resize(0, 0);
  // The scissor box would cut the blits.
  const CapabilityScope no_scissor(GL_SCISSOR_TEST, false);
  // What back has new: all of it, or the rectangle drawn into.
  int nx0 = 0, ny0 = 0, nx1 = width_, ny1 = height_;
  if (!back_drawn.anywhere) {
    nx0 = std::max(back_drawn.x0, 0);
    ny0 = std::max(back_drawn.y0, 0);
    nx1 = std::min(back_drawn.x1, width_);
    ny1 = std::min(back_drawn.y1, height_);
  }
  const bool news = back_changed;
  if (back_changed && nx1 > nx0 && ny1 > ny0) {
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glDrawBuffer(GL_COLOR_ATTACHMENT1);
    glBlitFramebuffer(nx0, ny0, nx1, ny1, nx0, ny0, nx1, ny1, GL_COLOR_BUFFER_BIT, GL_NEAREST);
  }
  if (back_changed) known_blank[CANVAS_FRONT] = known_blank[CANVAS_BACK];
  back_changed = false;
  // Only the part of the rectangle that the targets cover is shown.
  int x0 = std::max(x, 0), y0 = std::max(y, 0);
  int x1 = std::min(x + width, width_), y1 = std::min(y + height, height_);
  const Clock::time_point now = Clock::now();
  // Shown in part: only the new rectangle, when the screen shows front as
  // it stood before it, in the same place; and not for too long.
  PFNGLXCOPYSUBBUFFERMESAPROC copy = copy_sub_buffer();
  const bool same_place = x == shown_x && y == shown_y && width == shown_w && height == shown_h;
  // Front is copied to the window's back buffer, in part or whole.
  glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo);
  glReadBuffer(GL_COLOR_ATTACHMENT1);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
  glDrawBuffer(GL_BACK);
  if (copy && news && !back_drawn.anywhere && screen_matches_front && same_place &&
      now - last_whole_swap < kWholeSwapAtLeastEvery) {
    x0 = std::max(x0, nx0);
    y0 = std::max(y0, ny0);
    x1 = std::min(x1, nx1);
    y1 = std::min(y1, ny1);
    if (x1 > x0 && y1 > y0) {
      glBlitFramebuffer(x0, y0, x1, y1, x0, y0, x1, y1, GL_COLOR_BUFFER_BIT, GL_NEAREST);
      copy(glXGetCurrentDisplay(), glXGetCurrentDrawable(), x0, y0, x1 - x0, y1 - y0);
      shown_in_part = true;
    }
  } else {
    if (x1 > x0 && y1 > y0)
      glBlitFramebuffer(x0, y0, x1, y1, x0, y0, x1, y1, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glutSwapBuffers();
    screen_matches_front = true;
    shown_in_part = false;
    last_whole_swap = now;
  }
  back_drawn = Drawn{0, 0, 0, 0, false};
  last_swap = now;
  bind_targets();
  // A software renderer may draw the first frame after a size change into
  // a window buffer of the old size (it takes the new size at the swap),
  // so a frame at a new size is followed by one more.
  unshown = !same_place;
  shown_x = x;
  shown_y = y;
  shown_w = width;
  shown_h = height;
}

void canvas_count_drawing(unsigned count) {
  batch_count += count;
  if (batch_count < kBatch) return;
  batch_count = 0;
  if (batch_end) {
    // The wait flushes the mark to the renderer itself: a driver that has
    // not sent it on (after a batch with no drawing behind its mark, say)
    // would otherwise leave it unsignalled for good. And it is bounded: a
    // driver whose mark never comes is waited for the old way.
    const GLuint64 kWaitNanoseconds = 2'000'000'000;
    const GLenum waited = glClientWaitSync(batch_end, GL_SYNC_FLUSH_COMMANDS_BIT, kWaitNanoseconds);
    if (waited != GL_ALREADY_SIGNALED && waited != GL_CONDITION_SATISFIED) glFinish();
    glDeleteSync(batch_end);
  }
  // Placing the mark hands the batch to the renderer.
  batch_end = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
  if (!batch_end) glFinish();  // no marks: wait for this batch instead
}

bool canvas_needs_showing() {
  return unshown || (shown_in_part && Clock::now() - last_swap >= kPauseBeforeWholeSwap);
}

int canvas_buffers_width() { return width_; }
int canvas_buffers_height() { return height_; }

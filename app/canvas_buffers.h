// The canvas's two colour buffers, "back" (the painting) and "front" (what
// was last shown), kept as off-screen targets of the canvas's size that
// share one depth buffer, as a window's two buffers do. Drawing, clearing
// and reading name them where a program would name GL_BACK and GL_FRONT,
// and a swap copies back to front and shows front in the window: a copying
// swap on every driver, so the painting never depends on what the
// window's own buffers keep, and reading "front" gives what was shown even
// where another window covers the canvas.
//
// All of this acts on the current GL context, which must be the main
// window's. The targets stay bound as the context's framebuffer between
// calls, so ordinary drawing and glClear land in the selected buffer.
#pragma once

enum CanvasBuffer { CANVAS_BACK, CANVAS_FRONT };

// Makes the targets cover window pixels [0, width) x [0, height), keeping
// what both held where old and new sizes overlap. Creates them on first
// use. Sizes of 0 are allowed: nothing can then be drawn or read.
void canvas_buffers_resize(int width, int height);

// Selects the buffer that drawing and clears go to (glDrawBuffer).
void canvas_draw_buffer(CanvasBuffer buffer);
// Selects back, as canvas_draw_buffer(CANVAS_BACK) does, for drawing that
// stays within window pixels [x0, x1) x [y0, y1) until the next selection
// (an empty rectangle: nothing is drawn). The next swap then copies and
// shows only what was drawn, not the whole canvas.
void canvas_draw_back_within(int x0, int y0, int x1, int y1);
CanvasBuffer canvas_selected_draw_buffer();

// Selects the buffer that glReadPixels reads (glReadBuffer).
void canvas_read_buffer(CanvasBuffer buffer);

// Reads window pixels [0, width) x [0, height) of `buffer` into out:
// `channels` bytes a pixel (3: R, G, B; 4: R, G, B, A), rows back to back
// from the bottom one, whatever the width (a pack alignment of 1 while it
// reads, the one before afterwards). Leaves `buffer` selected for reading.
void canvas_read_pixels(CanvasBuffer buffer, int width, int height, int channels,
                        unsigned char* out);

// Clears colour and depth of the selected draw buffer.
void canvas_clear();

// Copies back to front (when back may have changed since the last swap),
// shows front in the window's rectangle (x, y, width, height) and swaps
// the window's buffers (glutSwapBuffers). The selections stay as they were.
//
// Writing the whole canvas into the window costs a software renderer some
// 16 ms of processor time at 1920 x 1080, a frame's worth; a fast drag
// changes a few hundred pixels square in a frame. So when all that was
// drawn since the last swap was declared (canvas_draw_back_within), only
// that part is copied to front and to the window, and shown with the
// renderer's copy of part of the window's back buffer to the screen
// (GLX_MESA_copy_sub_buffer), where the driver has it. The rest of the
// window keeps what the last swap showed; whatever may have overwritten it
// on the screen meanwhile (another window passing over it) is shown anew by
// a whole swap: at least once a second while the painting goes on, and
// once it pauses (canvas_needs_showing).
void canvas_swap(int x, int y, int width, int height);

// Whether the window may not show the painting as it stands: something was
// drawn or cleared since the last swap, or that swap was the first at a new
// size, or it showed only part of the window and the painting has paused
// since. Clearing a buffer that holds only the clear colour changes
// nothing.
bool canvas_needs_showing();

// Counts drawing into the canvas, to keep it at most one batch ahead of
// the painting: 1 for each stroke, and 1 for every kFacesPerCount faces of
// a model. Every 32 counted end a batch, which goes to the renderer at
// once, but only after the batch before it has been painted (waited for
// at most two seconds, then with glFinish: a driver may never signal). Call it
// outside glBegin/glEnd.
//
// A software renderer (Mesa's llvmpipe) paints on threads of its own and
// keeps each batch in memory until it has painted it: some 64 KB a stroke
// (every stroke moves its frame, and each such change stores a copy of the
// renderer's drawing state) and a few hundred bytes a triangle. When the
// drawing runs ahead of the painting, as in a fast drag, batches pile up;
// and the renderer lets go of a painted batch's memory only when it reuses
// that batch, so one fast drag left the program hundreds of megabytes
// bigger for good. One batch ahead, the drawing holds a few megabytes; and
// the wait costs no speed, since the renderer meanwhile paints the batch
// just ended, while it is still in the processor's cache.
constexpr int kFacesPerCount = 256;
void canvas_count_drawing(unsigned count);

// The targets' size, in pixels.
int canvas_buffers_width();
int canvas_buffers_height();

// The canvas keeps its drawing at most one batch ahead of the renderer by
// waiting on a mark at the end of the batch before. A driver need not
// flush such a mark by itself, nor ever signal it: here a stand-in for the
// wait that never signals.
#include <GL/gl.h>
#include <GL/glext.h>
#include <gtest/gtest.h>

#include "app/canvas_buffers.h"
#include "tests/support/gl_window.h"

namespace {
int waits = 0;
GLbitfield wait_flags = 0;
GLuint64 wait_timeout = 0;
}  // namespace

// Takes the place of the driver's own for this program's calls.
extern "C" GLenum glClientWaitSync(GLsync, GLbitfield flags, GLuint64 timeout) {
  ++waits;
  wait_flags = flags;
  wait_timeout = timeout;
  // A wait asked again and again would hang the program: end it here.
  return waits > 100 ? GL_ALREADY_SIGNALED : GL_TIMEOUT_EXPIRED;
}

TEST(CanvasBatch, TheWaitForTheBatchBeforeFlushesAndIsBounded) {
  gl_test_window();
  canvas_buffers_resize(64, 64);
  for (int batch = 0; batch < 3; ++batch) canvas_count_drawing(32);
  EXPECT_EQ(waits, 2) << "one wait for each batch before the last";
  EXPECT_TRUE(wait_flags & GL_SYNC_FLUSH_COMMANDS_BIT);
  EXPECT_LE(wait_timeout, GLuint64{10'000'000'000}) << "nanoseconds";
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// Runs the whole program inside a gl test's process: everything main does
// before its loop, in a scratch working folder, then GLUT's loop one step
// at a time. The program's state is process-wide, so one harness per test
// process (every test case runs in a process of its own).
#pragma once

#include <string>
#include <vector>

#include "app/canvas_buffers.h"
#include "tests/support/test_files.h"

class AppHarness {
 public:
  // Copies the given files of the source tree into the working folder
  // first (by default the program's default picture).
  explicit AppHarness(const std::vector<std::string>& files = {"samples/image1.jpg"});
  ~AppHarness();

  // Lets GLUT handle what is pending, `rounds` times.
  void pump(int rounds = 3);
  // Posts a redisplay of the main window, a frame of the screen after the
  // last, and lets GLUT run it.
  void display();
  // Resizes the main window and waits until the canvas has the new size.
  void resize(int window_width, int window_height);

  // A rectangle of a canvas buffer as RGB bytes, bottom row first.
  std::vector<unsigned char> read(CanvasBuffer buffer, int x, int y, int w, int h);
  // One pixel of a canvas buffer.
  std::vector<unsigned char> pixel(CanvasBuffer buffer, int x, int y) {
    return read(buffer, x, y, 1, 1);
  }
  // Whether every pixel of the canvas buffer is white.
  bool all_white(CanvasBuffer buffer);

  const TempDir& dir() const { return dir_; }

 private:
  TempDir dir_;
  std::string old_cwd_;
};

#include "tests/support/app_harness.h"

#include <GL/freeglut.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "app/startup.h"
#include "app/state.h"
#include "app/window_callbacks.h"
#include "tests/support/gl_driver.h"

AppHarness::AppHarness(const std::vector<std::string>& files) {
  for (const std::string& f : files)
    std::filesystem::copy_file(source_path(f), dir_.file(std::filesystem::path(f).filename()));
  char cwd[4096];
  if (getcwd(cwd, sizeof cwd)) old_cwd_ = cwd;
  if (chdir(dir_.path().c_str()) != 0) throw std::runtime_error("chdir failed");
  start_daubwork();
  pin_gl_driver();
  // The first reshape puts the light at the canvas centre; wait for it
  // and for the first display.
  for (int i = 0; i < 200 && light_x == 0; ++i) {
    pump(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (light_x == 0) throw std::runtime_error("the main window was never reshaped");
  display();
}

AppHarness::~AppHarness() {
  if (!old_cwd_.empty() && chdir(old_cwd_.c_str()) != 0) std::perror("chdir");
}

void AppHarness::pump(int rounds) {
  for (int i = 0; i < rounds; ++i) glutMainLoopEvent();
  glutSetWindow(main_window);
}

void AppHarness::display() {
  // The program shows at most once a frame of the screen: a display asked
  // for sooner is put off, as this one would be after the last.
  std::this_thread::sleep_for(std::chrono::microseconds(16700));
  glutSetWindow(main_window);
  glutPostRedisplay();
  pump(2);
}

void AppHarness::resize(int window_width, int window_height) {
  glutSetWindow(main_window);
  glutReshapeWindow(window_width, window_height);
  for (int i = 0; i < 300; ++i) {
    pump(1);
    if (glutGet(GLUT_WINDOW_WIDTH) == window_width &&
        glutGet(GLUT_WINDOW_HEIGHT) == window_height && vp_h == window_height)
      break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  pump(3);
  display();
}

std::vector<unsigned char> AppHarness::read(CanvasBuffer buffer, int x, int y, int w, int h) {
  glutSetWindow(main_window);
  std::vector<unsigned char> out(static_cast<size_t>(w) * h * 3);
  GLint align = 4;
  glGetIntegerv(GL_PACK_ALIGNMENT, &align);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  canvas_read_buffer(buffer);
  if (!out.empty()) glReadPixels(x, y, w, h, GL_RGB, GL_UNSIGNED_BYTE, out.data());
  glPixelStorei(GL_PACK_ALIGNMENT, align);
  return out;
}

bool AppHarness::all_white(CanvasBuffer buffer) {
  std::vector<unsigned char> px = read(buffer, 0, 0, vp_w, vp_h);
  for (unsigned char c : px)
    if (c != 255) return false;
  return true;
}

// Painting speed on the real GL driver: 20-stroke bursts of each flat brush
// at sizes 10 and 100 on a 600 x 600 canvas, and the cost of a display
// with nothing pending at 600 x 600 and 1920 x 1080, next to a bare copy
// of the canvas to the window (the floor a display cannot go below).
//
// Needs an X display large enough for the window, e.g.
//   Xvfb :5 -screen 0 2400x1200x24 & DISPLAY=:5 build/bench/paint_bench
#include <GL/freeglut.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/canvas.h"
#include "app/canvas_buffers.h"
#include "app/panel.h"
#include "app/startup.h"
#include "app/state.h"
#include "paint/scatter.h"
#include "paint/stroke.h"

namespace {

void pump() {
  for (int i = 0; i < 5; ++i) glutMainLoopEvent();
  glutSetWindow(main_window);
}

// Starts the program once, with the sample picture loaded.
void start_once() {
  static bool started = false;
  if (started) return;
  started = true;
  std::filesystem::path dir = std::filesystem::temp_directory_path() / "daubwork-paint-bench";
  std::filesystem::create_directories(dir);
  std::filesystem::copy_file(std::string(DAUB_SOURCE_DIR) + "/samples/image1.jpg", dir / "image1.jpg",
                             std::filesystem::copy_options::overwrite_existing);
  if (chdir(dir.c_str()) != 0) std::abort();
  start_daubwork();
  for (int i = 0; i < 100 && light_x == 0; ++i) {
    pump();
    usleep(10000);
  }
}

// Sizes the canvas and captures the picture at that size.
void canvas_size(int w, int h) {
  start_once();
  glutSetWindow(main_window);
  glutReshapeWindow(w + glui->get_panel_width(), h);
  for (int i = 0; i < 200 && (vp_w != w || vp_h != h); ++i) {
    pump();
    glutPostRedisplay();
    usleep(5000);
  }
  if (vp_w != w || vp_h != h) std::abort();
  control_cb(LOAD_IMAGE_ID);
  glutPostRedisplay();
  pump();
  display_cb();
}

void BM_Burst(benchmark::State& state) {
  canvas_size(600, 600);
  brush_type = static_cast<int>(state.range(0));
  stroke_size_spinner->set_float_val(static_cast<float>(state.range(1)));
  recapture_pending = false;
  int i = 0;
  for (auto _ : state) {
    scatter_burst(100 + (i * 37) % 400, 100 + (i * 53) % 400, 20, 50, paint_stroke);
    glFinish();  // llvmpipe draws lazily: count the drawing, not its queueing
    ++i;
  }
  state.counters["bursts/s"] = benchmark::Counter(static_cast<double>(state.iterations()),
                                                  benchmark::Counter::kIsRate);
  static const char* names[] = {"Circles", "Lines", "Crosses", "Blocks"};
  state.SetLabel(std::string(names[state.range(0)]) + " size " + std::to_string(state.range(1)));
}
BENCHMARK(BM_Burst)
    ->ArgsProduct({{0, 1, 2, 3}, {10, 100}})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

// A display with nothing pending: set the projection, show front.
void BM_Display(benchmark::State& state) {
  canvas_size(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  recapture_pending = false;
  for (auto _ : state) {
    display_cb();
    glFinish();
  }
  state.SetLabel(std::to_string(state.range(0)) + "x" + std::to_string(state.range(1)));
}
BENCHMARK(BM_Display)->Args({600, 600})->Args({1920, 1080})->Unit(benchmark::kMicrosecond)->UseRealTime();

// The floor: one copy of the canvas into the window and a swap.
void BM_DisplayFloor(benchmark::State& state) {
  canvas_size(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  for (auto _ : state) {
    canvas_read_buffer(CANVAS_FRONT);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glDrawBuffer(GL_BACK);
    glBlitFramebuffer(0, 0, vp_w, vp_h, 0, 0, vp_w, vp_h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glutSwapBuffers();
    canvas_draw_buffer(canvas_selected_draw_buffer());
    glFinish();
  }
  state.SetLabel(std::to_string(state.range(0)) + "x" + std::to_string(state.range(1)));
}
BENCHMARK(BM_DisplayFloor)->Args({600, 600})->Args({1920, 1080})->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

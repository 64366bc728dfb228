// Painting speed on the real GL driver: 20-stroke bursts of each flat brush
// at sizes 10 and 100 on a 600 x 600 canvas, painted one stroke at a time
// with GLUT's sphere (paint_stroke, the baseline) and as a burst
// (paint_burst, as a motion event paints them; "burst" in the label),
// the CPU column being the painting thread's own time, and the cost of a display
// with nothing pending at 600 x 600 and 1920 x 1080, next to a bare copy
// of the canvas to the window (the floor a display cannot go below).
//
// Also 20-stroke bursts of the OBJ File brush with the default sphere and
// with finer spheres of 20,000 and 100,000 faces, with the cost of one
// stroke (stroke_time).
//
// Needs an X display large enough for the window, e.g.
//   Xvfb :5 -screen 0 2400x1200x24 & DISPLAY=:5 build/bench/paint_bench
#include <GL/freeglut.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/canvas_buffers.h"
#include "app/panel.h"
#include "app/startup.h"
#include "app/state.h"
#include "app/window_callbacks.h"
#include "model/obj_model.h"
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
  for (const char* f : {"image1.jpg", "sphere.obj", "sphere.mtl", "sphere.png"})
    std::filesystem::copy_file(std::string(DAUB_SOURCE_DIR) + "/samples/" + f, dir / f,
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
    const int x = 100 + (i * 37) % 400, y = 100 + (i * 53) % 400;
    if (state.range(2))
      paint_burst(x, y, 20, 50);
    else
      scatter_burst(x, y, 20, 50, paint_stroke);
    glFinish();  // llvmpipe draws lazily: count the drawing, not its queueing
    ++i;
  }
  state.counters["bursts/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  static const char* names[] = {"Circles", "Lines", "Crosses", "Blocks"};
  state.SetLabel(std::string(names[state.range(0)]) + " size " + std::to_string(state.range(1)) +
                 (state.range(2) ? " burst" : ""));
}
BENCHMARK(BM_Burst)
    ->ArgsProduct({{0, 1, 2, 3}, {10, 100}, {0, 1}})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

// A UV sphere of stacks x slices quads (20,000 faces for 100 x 200), in
// the file form the loader reads.
void write_fine_sphere(const std::string& path, int stacks, int slices) {
  std::ofstream out(path);
  for (int i = 0; i <= stacks; ++i)
    for (int j = 0; j <= slices; ++j) {
      double t = M_PI * i / stacks, p = 2 * M_PI * j / slices;
      double x = std::sin(t) * std::cos(p), y = std::cos(t), z = std::sin(t) * std::sin(p);
      out << "v " << x << " " << y << " " << z << "\n";
      out << "vn " << x << " " << y << " " << z << "\n";
      out << "vt " << double(j) / slices << " " << double(i) / stacks << "\n";
    }
  auto id = [&](int i, int j) { return i * (slices + 1) + j + 1; };
  for (int i = 0; i < stacks; ++i)
    for (int j = 0; j < slices; ++j) {
      out << "f";
      for (int k : {id(i, j), id(i + 1, j), id(i + 1, j + 1), id(i, j + 1)})
        out << " " << k << "/" << k << "/" << k;
      out << "\n";
    }
}

void BM_ObjBurst(benchmark::State& state) {
  canvas_size(600, 600);
  static ObjModel* models[3] = {nullptr, nullptr, nullptr};
  static const char* const files[3] = {"sphere.obj", "fine.obj", "finer.obj"};
  const int which = static_cast<int>(state.range(0));
  if (!models[which]) {
    if (which == 1) write_fine_sphere(files[1], 100, 200);
    if (which == 2) write_fine_sphere(files[2], 250, 400);
    // The loader's count lines would land among the results.
    std::fflush(stdout);
    int saved = dup(1), null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    models[which] = new ObjModel;
    bool ok = models[which]->load_obj_model(".", files[which]);
    std::fflush(stdout);
    dup2(saved, 1);
    close(saved);
    close(null);
    if (!ok) {
      state.SkipWithError("model did not load");
      return;
    }
  }
  current_model = models[which];
  brush_type = 4;
  stroke_size_spinner->set_float_val(10);
  recapture_pending = false;
  int i = 0;
  for (auto _ : state) {
    scatter_burst(100 + (i * 37) % 400, 100 + (i * 53) % 400, 20, 50, paint_stroke);
    glFinish();
    ++i;
  }
  state.counters["bursts/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  // Seconds per stroke: the burst's 20 strokes as a rate, inverted.
  state.counters["stroke_time"] =
      benchmark::Counter(20.0 * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.SetLabel(std::to_string(models[which]->face_count) + " faces");
}
BENCHMARK(BM_ObjBurst)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond)->UseRealTime();

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
BENCHMARK(BM_Display)
    ->Args({600, 600})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

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
BENCHMARK(BM_DisplayFloor)
    ->Args({600, 600})
    ->Args({1920, 1080})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

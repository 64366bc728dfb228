// Loading a large OBJ file against the least any loader must do with it.
//
// The file: a wavy 1000 x 1000 grid of quads (one million faces, about a
// million vertices, texture coordinates and normals), written once to a
// temporary folder. Each iteration times, back to back on the same file:
//   floor: open, read the whole file into a fresh buffer, scan it once for
//          line feeds (memchr), free it. The buffer asks for large pages
//          (madvise MADV_HUGEPAGE) as the loader's do: filling a fresh
//          buffer page by page can cost more than reading the file, and a
//          floor that pays that would hide the parsing behind it;
//   floor_4k: the same without asking for large pages (the floor of the
//          loader's figures before it asked for them), timed after the
//          pairs of floor and load;
//   load:  ObjModel::load_obj_model on a fresh record.
// Reported (medians over the repetitions): floor_ms, floor_4k_ms, load_ms,
// ratio = load / floor (goal <= 2), ratio_4k = load / floor_4k, the ratio
// in this thread's CPU time (cpu_ratio), and the load's peak heap use
// counted by a replacing operator new, against the goal 1.5 x file size +
// the arrays.
// The loader's three count lines go to /dev/null while it runs.
//
// BM_LineShapes loads files of one size (256 MB; --line_mb=N for another)
// whose bytes are laid out in lines of different lengths: lines of 100
// bytes (the baseline), one line without a line feed (the file `truncate
// -s` makes) and one face line of short corners. A load must cost the same
// whatever the lengths of its lines; the run ends with the ratios of the
// medians to the baseline's. On a shared machine, interleave the
// repetitions (--benchmark_enable_random_interleaving=true) so that what
// the others do falls on every shape alike.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>
#include <string>

#include "bench/bench_support.h"
#include "model/obj_model.h"

// --- counting allocator ------------------------------------------------------

namespace {
std::atomic<size_t> heap_in_use{0};
std::atomic<size_t> heap_peak{0};

void* counted_alloc(size_t size) {
  void* p = std::malloc(size ? size : 1);
  if (!p) return nullptr;
  size_t now = heap_in_use += malloc_usable_size(p);
  size_t peak = heap_peak.load();
  while (now > peak && !heap_peak.compare_exchange_weak(peak, now)) {
  }
  return p;
}
// Every operator new below gets its memory from counted_alloc's malloc.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void counted_free(void* p) {
  if (!p) return;
  heap_in_use -= malloc_usable_size(p);
  std::free(p);
}
#pragma GCC diagnostic pop
}  // namespace

void* operator new(size_t size) {
  void* p = counted_alloc(size);
  if (!p) throw std::bad_alloc();
  return p;
}
void* operator new[](size_t size) {
  void* p = counted_alloc(size);
  if (!p) throw std::bad_alloc();
  return p;
}
void* operator new(size_t size, const std::nothrow_t&) noexcept { return counted_alloc(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return counted_alloc(size); }
void operator delete(void* p) noexcept { counted_free(p); }
void operator delete[](void* p) noexcept { counted_free(p); }
void operator delete(void* p, size_t) noexcept { counted_free(p); }
void operator delete[](void* p, size_t) noexcept { counted_free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { counted_free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { counted_free(p); }

namespace {

constexpr int kGrid = 1000;  // quads per side: kGrid^2 faces

std::string bench_dir;
const char* kFileName = "grid.obj";
size_t file_size = 0;
size_t array_bytes = 0;  // what the loaded record's arrays take

void append(std::string& out, const char* format, double a, double b, double c, int n) {
  char line[96];
  int len = n == 3 ? std::snprintf(line, sizeof line, format, a, b, c)
                   : std::snprintf(line, sizeof line, format, a, b);
  out.append(line, size_t(len));
}

bool write_grid_file() {
  char pattern[] = "/tmp/daubwork-bench-XXXXXX";
  if (!mkdtemp(pattern)) return false;
  bench_dir = pattern;
  std::string path = bench_dir + "/" + kFileName;
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  std::string out;
  const int n = kGrid + 1;
  std::fputs("# benchmark grid\no grid\n", f);
  for (int pass = 0; pass < 3; ++pass) {
    for (int i = 0; i < n; ++i) {
      out.clear();
      for (int j = 0; j < n; ++j) {
        double u = double(j) / kGrid, v = double(i) / kGrid;
        double h = 0.05 * std::sin(12.0 * u) * std::cos(9.0 * v);
        if (pass == 0) {
          append(out, "v %.6f %.6f %.6f\n", u - 0.5, h, v - 0.5, 3);
        } else if (pass == 1) {
          append(out, "vt %.6f %.6f\n", u, v, 0, 2);
        } else {
          double nx = -0.6 * std::cos(12.0 * u) * std::cos(9.0 * v);
          double nz = 0.45 * std::sin(12.0 * u) * std::sin(9.0 * v);
          double len = std::sqrt(nx * nx + 1.0 + nz * nz);
          append(out, "vn %.6f %.6f %.6f\n", nx / len, 1.0 / len, nz / len, 3);
        }
      }
      std::fwrite(out.data(), 1, out.size(), f);
    }
  }
  std::fputs("usemtl grid\ns 1\n", f);
  for (int i = 0; i < kGrid; ++i) {
    out.clear();
    for (int j = 0; j < kGrid; ++j) {
      int a = i * n + j + 1, b = a + 1, c = a + n + 1, d = a + n;
      char line[128];
      int len = std::snprintf(line, sizeof line, "f %d/%d/%d %d/%d/%d %d/%d/%d %d/%d/%d\n", a, a, a,
                              b, b, b, c, c, c, d, d, d);
      out.append(line, size_t(len));
    }
    std::fwrite(out.data(), 1, out.size(), f);
  }
  file_size = size_t(std::ftell(f));
  std::fclose(f);
  size_t vertices = size_t(n) * n, faces = size_t(kGrid) * kGrid;
  array_bytes = vertices * (3 + 2 + 3) * sizeof(float) + faces * (3 * 4 * sizeof(int32_t) + 1);
  return true;
}

std::string shape_file_name(int shape);

void remove_grid_file() {
  if (bench_dir.empty()) return;
  std::remove((bench_dir + "/" + kFileName).c_str());
  for (int shape = 0; shape < 3; ++shape)
    std::remove((bench_dir + "/" + shape_file_name(shape)).c_str());
  rmdir(bench_dir.c_str());
}

// Wall-clock and this thread's CPU time (user and system), in seconds. The
// machine is shared, so the CPU figures are the steadier ones.
struct Clock {
  double wall, cpu;
  static Clock now() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return {
        std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(),
        double(ts.tv_sec) + 1e-9 * double(ts.tv_nsec)};
  }
  Clock operator-(const Clock& o) const { return {wall - o.wall, cpu - o.cpu}; }
};

// The least work any loader of this file does: all its bytes into memory,
// and one look at each for the line ends.
size_t read_and_scan(const char* path, bool large_pages) {
  FILE* f = std::fopen(path, "rb");
  if (!f) std::abort();
  std::fseek(f, 0, SEEK_END);
  long size = std::ftell(f);
  std::fseek(f, 0, SEEK_SET);
  char* buffer = new char[size_t(size)];
  if (large_pages) {
    // Whole 2 MB pages inside the buffer.
    constexpr uintptr_t kHuge = uintptr_t{2} << 20;
    uintptr_t first = (reinterpret_cast<uintptr_t>(buffer) + kHuge - 1) & ~(kHuge - 1);
    uintptr_t last = (reinterpret_cast<uintptr_t>(buffer) + size_t(size)) & ~(kHuge - 1);
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
  }
  if (std::fread(buffer, 1, size_t(size), f) != size_t(size)) std::abort();
  std::fclose(f);
  size_t lines = 0;
  const char* end = buffer + size;
  for (const char* p = buffer; p < end; ++lines) {
    const void* lf = std::memchr(p, '\n', size_t(end - p));
    if (!lf) break;
    p = static_cast<const char*>(lf) + 1;
  }
  delete[] buffer;
  return lines;
}

void BM_LoadObjModel(benchmark::State& state) {
  std::string path = bench_dir + "/" + kFileName;
  // The three count lines of every load go to /dev/null.
  std::fflush(stdout);
  int saved_stdout = dup(1);
  int null_fd = open("/dev/null", O_WRONLY);
  dup2(null_fd, 1);

  double floor_total = 0, load_total = 0, floor_cpu = 0, load_cpu = 0, floor_4k_total = 0;
  size_t peak_extra = 0;
  int faces = 0;
  for (auto _ : state) {
    Clock start = Clock::now();
    benchmark::DoNotOptimize(read_and_scan(path.c_str(), true));
    Clock floor = Clock::now() - start;
    floor_total += floor.wall;
    floor_cpu += floor.cpu;

    size_t base = heap_in_use.load();
    heap_peak = base;
    start = Clock::now();
    {
      ObjModel model;
      if (!model.load_obj_model(bench_dir.c_str(), kFileName)) std::abort();
      faces = model.face_count;
      benchmark::DoNotOptimize(model.vertices);
    }
    Clock load = Clock::now() - start;
    load_total += load.wall;
    load_cpu += load.cpu;
    state.SetIterationTime(load.wall);
    peak_extra = heap_peak.load() - base;
  }

  // Apart from the pairs above: memory left in small pieces by a 4 KB-page
  // buffer makes the next large-page buffer slower to come by.
  for (int64_t i = 0; i < int64_t(state.iterations()); ++i) {
    Clock start = Clock::now();
    benchmark::DoNotOptimize(read_and_scan(path.c_str(), false));
    floor_4k_total += (Clock::now() - start).wall;
  }

  std::fflush(stdout);
  dup2(saved_stdout, 1);
  close(saved_stdout);
  close(null_fd);
  if (faces != kGrid * kGrid) state.SkipWithError("not every face was loaded");

  double n = double(state.iterations());
  state.counters["floor_ms"] = 1e3 * floor_total / n;
  state.counters["floor_4k_ms"] = 1e3 * floor_4k_total / n;
  state.counters["ratio_4k"] = load_total / floor_4k_total;
  state.counters["load_ms"] = 1e3 * load_total / n;
  state.counters["ratio"] = load_total / floor_total;
  state.counters["floor_cpu_ms"] = 1e3 * floor_cpu / n;
  state.counters["load_cpu_ms"] = 1e3 * load_cpu / n;
  state.counters["cpu_ratio"] = load_cpu / floor_cpu;
  state.counters["file_MB"] = double(file_size) / 1e6;
  state.counters["arrays_MB"] = double(array_bytes) / 1e6;
  state.counters["peak_MB"] = double(peak_extra) / 1e6;
  // <= 1 meets the memory goal.
  state.counters["peak_vs_goal"] =
      double(peak_extra) / (1.5 * double(file_size) + double(array_bytes));
  state.SetBytesProcessed(int64_t(file_size) * state.iterations());
}
BENCHMARK(BM_LoadObjModel)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3)
    ->Repetitions(5);

// --- the same bytes in lines of other lengths --------------------------------

size_t shape_megabytes = 256;  // --line_mb=N
enum LineShape { kShortLines, kOneLine, kOneFaceLine };
const char* const kShapeNames[] = {"lines of 100 bytes", "one line", "one face line"};

// Writes the file of the shape, shape_megabytes long, in blocks of 1 MB.
bool write_shape_file(const std::string& path, int shape) {
  std::string block(size_t{1} << 20, '\0');
  if (shape == kShortLines) {
    // 1 MB is no multiple of 100: the line across each block's border is
    // shorter, and no line is longer.
    for (size_t i = 99; i < block.size(); i += 100) block[i] = '\n';
  } else if (shape == kOneFaceLine) {
    for (size_t i = 0; i < block.size(); ++i) block[i] = "1/1/1 "[i % 6];
  }
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = true;
  for (size_t i = 0; ok && i < shape_megabytes; ++i) {
    if (i == 0 && shape == kOneFaceLine) {
      std::string first = block;
      first.replace(0, 2, "f ");
      ok = std::fwrite(first.data(), 1, first.size(), f) == first.size();
    } else {
      ok = std::fwrite(block.data(), 1, block.size(), f) == block.size();
    }
  }
  return std::fclose(f) == 0 && ok;
}

std::string shape_file_name(int shape) { return "shape" + std::to_string(shape) + ".obj"; }

// Loads the shape's file n times; gives the peak heap of the last load,
// or 0 when a load fails.
size_t load_shape(int shape, benchmark::State* state, int n) {
  // The count lines, and the report of a model with no face to draw, go to
  // /dev/null.
  std::fflush(stdout);
  std::fflush(stderr);
  int saved_stdout = dup(1), saved_stderr = dup(2);
  int null_fd = open("/dev/null", O_WRONLY);
  dup2(null_fd, 1);
  dup2(null_fd, 2);
  size_t peak_extra = 0;
  bool loaded = true;
  auto load = [&] {
    size_t base = heap_in_use.load();
    heap_peak = base;
    ObjModel model;
    loaded &= model.load_obj_model(bench_dir.c_str(), shape_file_name(shape).c_str());
    peak_extra = heap_peak.load() - base;
  };
  if (state) {
    for (auto _ : *state) load();
  } else {
    for (int i = 0; i < n; ++i) load();
  }
  std::fflush(stdout);
  std::fflush(stderr);
  dup2(saved_stdout, 1);
  dup2(saved_stderr, 2);
  close(saved_stdout);
  close(saved_stderr);
  close(null_fd);
  return loaded ? peak_extra : 0;
}

void BM_LineShapes(benchmark::State& state) {
  const int shape = static_cast<int>(state.range(0));
  // Each file is written, and loaded once untimed (the first load of a
  // fresh file pays for the system's first look at it), before its first
  // repetition.
  static bool written[3] = {false, false, false};
  if (!written[shape]) {
    if (!write_shape_file(bench_dir + "/" + shape_file_name(shape), shape) ||
        load_shape(shape, nullptr, 1) == 0) {
      state.SkipWithError("could not write or load the file");
      return;
    }
    written[shape] = true;
  }
  size_t peak_extra = load_shape(shape, &state, 0);
  if (peak_extra == 0) state.SkipWithError("the file did not load");
  state.counters["file_MB"] = double(shape_megabytes << 20) / 1e6;
  state.counters["peak_MB"] = double(peak_extra) / 1e6;
  state.SetLabel(kShapeNames[shape]);
  state.SetBytesProcessed(int64_t(shape_megabytes << 20) * state.iterations());
}
BENCHMARK(BM_LineShapes)
    ->DenseRange(kShortLines, kOneFaceLine)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(9)
    ->ReportAggregatesOnly(true);

// Takes --line_mb=N out of the arguments.
void take_line_mb(int* argc, char** argv) {
  int kept = 0;
  for (int i = 0; i < *argc; ++i) {
    if (std::strncmp(argv[i], "--line_mb=", 10) == 0) {
      shape_megabytes = std::strtoul(argv[i] + 10, nullptr, 10);
    } else {
      argv[kept++] = argv[i];
    }
  }
  *argc = kept;
}

}  // namespace

int main(int argc, char** argv) {
  take_line_mb(&argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  if (shape_megabytes == 0 || shape_megabytes > 2047) {
    std::fprintf(stderr, "obj_load_bench: --line_mb takes 1 to 2047\n");
    return 1;
  }
  if (!write_grid_file()) {
    std::fprintf(stderr, "obj_load_bench: could not write the benchmark file\n");
    remove_grid_file();
    return 1;
  }
  std::fprintf(stderr, "obj_load_bench: %s/%s, %zu bytes\n", bench_dir.c_str(), kFileName,
               file_size);
  bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.print_ratio("one line / lines of 100 bytes", "BM_LineShapes/1", "BM_LineShapes/0");
  reporter.print_ratio("one face line / lines of 100 bytes", "BM_LineShapes/2", "BM_LineShapes/0");
  benchmark::Shutdown();
  remove_grid_file();
  return 0;
}

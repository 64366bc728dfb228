// The edge map of a capture against the memory-bound floor of the same
// sizes: reading the pixels once and writing the three outputs once.
//
// Bytes touched per pixel: 3 read (R, G, B) + 4 + 4 + 1 written = 12.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "bench/bench_support.h"
#include "image/edge_map.h"
#include "tests/support/edge_reference.h"

namespace {

constexpr int kBytesPerPixel = 12;

struct Frame {
  int w = 0, h = 0;
  std::vector<unsigned char> rgb;
  std::vector<float> gx, gy;
  std::vector<unsigned char> mask;
};

Frame& frame(int w, int h) {
  static std::vector<Frame*> frames;
  for (Frame* f : frames)
    if (f->w == w && f->h == h) return *f;
  Frame* f = new Frame;
  f->w = w;
  f->h = h;
  f->rgb = bench::sample_picture(w, h);
  const std::size_t n = static_cast<std::size_t>(w) * h;
  f->gx.assign(n, 0.0f);
  f->gy.assign(n, 0.0f);
  f->mask.assign(n, 0);
  frames.push_back(f);
  return *f;
}

void finish(benchmark::State& state, const Frame& f) {
  const double pixels = static_cast<double>(f.w) * f.h;
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * pixels * kBytesPerPixel));
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * pixels));  // pixels
}

void BM_EdgeMap(benchmark::State& state) {
  Frame& f = frame(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  if (f.rgb.empty()) return state.SkipWithError("no sample picture");
  for (auto _ : state) {
    compute_edge_map_arrays(f.rgb.data(), f.w, f.h, 12.0f, f.gx.data(), f.gy.data(), f.mask.data());
    benchmark::ClobberMemory();
  }
  std::size_t edges = 0;
  for (unsigned char m : f.mask) edges += m;
  state.counters["edge_share"] = static_cast<double>(edges) / f.mask.size();
  finish(state, f);
}

// The same arithmetic without vector instructions (machines without AVX2).
void BM_EdgeMapPortable(benchmark::State& state) {
  Frame& f = frame(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  if (f.rgb.empty()) return state.SkipWithError("no sample picture");
  for (auto _ : state) {
    edge_map_detail::compute_edge_map_arrays_portable(f.rgb.data(), f.w, f.h, 12.0f, f.gx.data(),
                                                      f.gy.data(), f.mask.data());
    benchmark::ClobberMemory();
  }
  finish(state, f);
}

// Four separate passes with a whole-picture luminance array, in double.
void BM_EdgeMapReference(benchmark::State& state) {
  Frame& f = frame(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  if (f.rgb.empty()) return state.SkipWithError("no sample picture");
  for (auto _ : state) {
    reference::edge_map(f.rgb.data(), f.w, f.h, 12.0f, f.gx.data(), f.gy.data(), f.mask.data());
    benchmark::ClobberMemory();
  }
  finish(state, f);
}

// The floor: every pixel byte read once (folded into a word so that the
// reads cannot be dropped), every output byte written once, row by row
// with the library's fastest fill.
void BM_Floor(benchmark::State& state) {
  Frame& f = frame(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  if (f.rgb.empty()) return state.SkipWithError("no sample picture");
  const std::size_t w = static_cast<std::size_t>(f.w);
  const std::size_t row_bytes = 3 * w;
  for (auto _ : state) {
    uint64_t fold = 0;
    for (int y = 0; y < f.h; ++y) {
      const unsigned char* src = f.rgb.data() + row_bytes * y;
      uint64_t a = 0, b = 0, c = 0, d = 0;
      std::size_t k = 0;
      for (; k + 32 <= row_bytes; k += 32) {
        uint64_t v[4];
        std::memcpy(v, src + k, 32);
        a ^= v[0];
        b ^= v[1];
        c ^= v[2];
        d ^= v[3];
      }
      for (; k < row_bytes; ++k) a ^= src[k];
      fold ^= a ^ b ^ c ^ d;
      const int byte = static_cast<int>(fold & 0x3F);
      std::memset(f.gx.data() + w * y, byte, 4 * w);
      std::memset(f.gy.data() + w * y, byte, 4 * w);
      std::memset(f.mask.data() + w * y, byte, w);
    }
    benchmark::DoNotOptimize(fold);
    benchmark::ClobberMemory();
  }
  finish(state, f);
}

// A plainer floor: one pixel at a time, each byte converted and stored.
void BM_FloorPerPixel(benchmark::State& state) {
  Frame& f = frame(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  if (f.rgb.empty()) return state.SkipWithError("no sample picture");
  const std::size_t n = static_cast<std::size_t>(f.w) * f.h;
  for (auto _ : state) {
    const unsigned char* src = f.rgb.data();
    float* gx = f.gx.data();
    float* gy = f.gy.data();
    unsigned char* m = f.mask.data();
    for (std::size_t i = 0; i < n; ++i) {
      gx[i] = src[3 * i];
      gy[i] = src[3 * i + 1];
      m[i] = src[3 * i + 2];
    }
    benchmark::ClobberMemory();
  }
  finish(state, f);
}

void sizes(benchmark::internal::Benchmark* b) {
  b->Args({600, 600})->Args({3840, 2160});
  b->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);
  b->MinTime(0.2);
}

BENCHMARK(BM_Floor)->Apply(sizes);
BENCHMARK(BM_FloorPerPixel)->Apply(sizes);
BENCHMARK(BM_EdgeMap)->Apply(sizes);
BENCHMARK(BM_EdgeMapPortable)->Apply(sizes);
BENCHMARK(BM_EdgeMapReference)->Apply(sizes);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nRatios of medians (goal: edge map within 4x the floor at 3840x2160)\n");
  for (const char* size : {"600/600", "3840/2160"}) {
    const std::string s = size;
    reporter.print_ratio("edge map / floor, " + s, "BM_EdgeMap/" + s, "BM_Floor/" + s);
    reporter.print_ratio("edge map / per-pixel floor, " + s, "BM_EdgeMap/" + s,
                         "BM_FloorPerPixel/" + s);
    reporter.print_ratio("portable / floor, " + s, "BM_EdgeMapPortable/" + s, "BM_Floor/" + s);
    reporter.print_ratio("reference / edge map, " + s, "BM_EdgeMapReference/" + s,
                         "BM_EdgeMap/" + s);
  }
  benchmark::Shutdown();
  return 0;
}

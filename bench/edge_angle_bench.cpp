// Bursts of 20 edge-following strokes on the sample photograph, as one
// motion event paints them (20 points within 50 pixels of the cursor), with
// the edge map at the starting threshold 12:
//   Reference  the plain loop over every grid sample
//   Shipped    EdgeAngleField::angle_degrees, one stroke at a time
//   Together   EdgeAngleField::angles_degrees, the burst at once, on the
//              calling thread alone
//   Worker     the same with the spare thread taking part (what a motion
//              event paints with); the time is the calling thread's, wall
//              and processor
//   ...Idle    Together and Worker with a millisecond's pause before each
//              burst, as between the motion events of a 1,000 Hz mouse:
//              the spare thread has gone to sleep by then, and waking it
//              is part of the time
//   Floor      only the in-order float additions of the samples that change
//              the sums (weight not 0), from precomputed terms: what no
//              exact method can go below
// and what reset() adds to a capture.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_support.h"
#include "image/edge_map.h"
#include "paint/edge_angle.h"
#include "tests/support/edge_reference.h"

namespace {

constexpr int kStrokes = 20;
constexpr int kRadius = 50;
constexpr int kBursts = 8;
constexpr float kThreshold = 12.0f;

struct Point {
  int x, y;
};

// One stroke's taking-part samples with non-zero weight, in grid order:
// the term added to the angle sum and the weight added to the total.
struct Additions {
  std::vector<double> term;
  std::vector<float> weight;
};

struct Scene {
  int w = 0, h = 0;
  std::vector<float> gx, gy;
  std::vector<unsigned char> mask;
  std::size_t edges = 0;
  EdgeAngleField field;
  std::vector<std::vector<Point>> bursts;
  std::vector<std::vector<Additions>> additions[2];  // by falloff, burst, stroke
  std::size_t samples[2] = {0, 0};                   // non-zero-weight samples, all bursts
  bool identical = true;                             // shipped == reference everywhere
};

Additions collect(const Scene& s, int x, int y, int falloff) {
  Additions out;
  const int h = edge_window_half_width(s.w);
  for (long long r = static_cast<long long>(y) - h; r < static_cast<long long>(y) + h; r += 2) {
    for (long long c = static_cast<long long>(x) - h; c < static_cast<long long>(x) + h; c += 2) {
      if (r < 0 || r >= s.h || c < 0 || c >= s.w) continue;
      const std::size_t i = static_cast<std::size_t>(c + r * s.w);
      if (!s.mask[i]) continue;
      const float dx = static_cast<float>(c - x), dy = static_cast<float>(r - y);
      const float d2 = dx * dx + dy * dy;
      const float a = static_cast<float>(
          std::atan2(static_cast<double>(s.gy[i]), static_cast<double>(s.gx[i])));
      const float root = static_cast<float>(std::sqrt(static_cast<double>(d2)));
      const float w =
          falloff == 1 ? static_cast<float>(std::exp(-static_cast<double>(root))) : 1.0f / d2;
      if (w == 0.0f) continue;
      out.term.push_back(static_cast<double>(a) * static_cast<double>(w) * 180 / 3.14159);
      out.weight.push_back(w);
    }
  }
  return out;
}

uint32_t bits(float f) {
  uint32_t u;
  std::memcpy(&u, &f, sizeof u);
  return u;
}

Scene& scene(int w, int h) {
  static std::vector<Scene*> scenes;
  for (Scene* s : scenes)
    if (s->w == w && s->h == h) return *s;
  Scene* s = new Scene;
  scenes.push_back(s);
  s->w = w;
  s->h = h;
  const std::vector<unsigned char> rgb = bench::sample_picture(w, h);
  if (rgb.empty()) return *s;
  const std::size_t n = static_cast<std::size_t>(w) * h;
  s->gx.resize(n);
  s->gy.resize(n);
  s->mask.resize(n);
  compute_edge_map_arrays(rgb.data(), w, h, kThreshold, s->gx.data(), s->gy.data(), s->mask.data());
  for (unsigned char m : s->mask) s->edges += m;
  s->field.reset(s->gx.data(), s->gy.data(), s->mask.data(), w, h);

  std::mt19937 rng(static_cast<unsigned>(w * 7919 + h));
  std::uniform_int_distribution<int> cx(kRadius, w - 1 - kRadius), cy(kRadius, h - 1 - kRadius);
  std::uniform_int_distribution<int> off(-kRadius, kRadius);
  for (int b = 0; b < kBursts; ++b) {
    const int x0 = cx(rng), y0 = cy(rng);
    std::vector<Point> burst;
    while (static_cast<int>(burst.size()) < kStrokes) {
      const int dx = off(rng), dy = off(rng);
      if (dx * dx + dy * dy <= kRadius * kRadius) burst.push_back({x0 + dx, y0 + dy});
    }
    for (int falloff : {0, 1}) {
      std::vector<Additions> strokes;
      for (const Point& p : burst) {
        strokes.push_back(collect(*s, p.x, p.y, falloff));
        s->samples[falloff] += strokes.back().term.size();
        const float got = s->field.angle_degrees(w, p.x, p.y, falloff);
        const float want = reference::edge_angle(s->gx.data(), s->gy.data(), s->mask.data(), w, h,
                                                 w, p.x, p.y, falloff);
        if (bits(got) != bits(want)) s->identical = false;
      }
      s->additions[falloff].push_back(std::move(strokes));
    }
    s->bursts.push_back(std::move(burst));
  }
  return *s;
}

bool ready(benchmark::State& state, Scene& s) {
  if (s.mask.empty()) {
    state.SkipWithError("no sample picture");
    return false;
  }
  if (!s.identical) {
    state.SkipWithError("shipped angle differs from the reference loop");
    return false;
  }
  return true;
}

void label(benchmark::State& state, const Scene& s, int falloff) {
  state.counters["edge_share"] = static_cast<double>(s.edges) / s.mask.size();
  state.counters["samples_per_burst"] =
      static_cast<double>(s.samples[falloff]) / static_cast<double>(kBursts);
}

// One iteration is one burst; the bursts are taken in turn.
void BM_BurstReference(benchmark::State& state) {
  Scene& s = scene(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  const int falloff = static_cast<int>(state.range(2));
  if (!ready(state, s)) return;
  std::size_t b = 0;
  for (auto _ : state) {
    for (const Point& p : s.bursts[b])
      benchmark::DoNotOptimize(reference::edge_angle(s.gx.data(), s.gy.data(), s.mask.data(), s.w,
                                                     s.h, s.w, p.x, p.y, falloff));
    b = (b + 1) % s.bursts.size();
  }
  label(state, s, falloff);
}

void BM_BurstShipped(benchmark::State& state) {
  Scene& s = scene(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  const int falloff = static_cast<int>(state.range(2));
  if (!ready(state, s)) return;
  std::size_t b = 0;
  for (auto _ : state) {
    for (const Point& p : s.bursts[b])
      benchmark::DoNotOptimize(s.field.angle_degrees(s.w, p.x, p.y, falloff));
    b = (b + 1) % s.bursts.size();
  }
  label(state, s, falloff);
}

// One iteration is one burst; with `idle`, a pause of a millisecond,
// untimed, goes before each.
void burst_together(benchmark::State& state, bool spare, bool idle) {
  Scene& s = scene(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  const int falloff = static_cast<int>(state.range(2));
  if (!ready(state, s)) return;
  s.field.set_spare_thread(spare);
  std::vector<std::vector<int>> xs, ys;
  bool identical = true;
  for (const std::vector<Point>& burst : s.bursts) {
    xs.emplace_back();
    ys.emplace_back();
    for (const Point& p : burst) {
      xs.back().push_back(p.x);
      ys.back().push_back(p.y);
    }
    float out[kStrokes];
    s.field.angles_degrees(s.w, xs.back().data(), ys.back().data(), kStrokes, falloff, out);
    for (int k = 0; k < kStrokes; ++k)
      identical &=
          bits(out[k]) == bits(s.field.angle_degrees(s.w, burst[k].x, burst[k].y, falloff));
  }
  if (!identical) return state.SkipWithError("the burst's angles differ from one at a time");
  std::size_t b = 0;
  float out[kStrokes];
  const std::size_t handed = s.field.strokes_handed_over();
  const std::size_t on_spare = s.field.strokes_on_spare_thread();
  for (auto _ : state) {
    if (idle) {
      state.PauseTiming();
      std::this_thread::sleep_for(std::chrono::microseconds(1000));
      state.ResumeTiming();
    }
    s.field.angles_degrees(s.w, xs[b].data(), ys[b].data(), kStrokes, falloff, out);
    benchmark::DoNotOptimize(out);
    b = (b + 1) % s.bursts.size();
  }
  label(state, s, falloff);
  // Strokes a burst handed to the spare thread, and the share of them it
  // worked out (the rest the caller took back, the thread not yet begun).
  const double handed_now = static_cast<double>(s.field.strokes_handed_over() - handed);
  state.counters["handed"] = handed_now / static_cast<double>(state.iterations());
  state.counters["on_spare"] =
      handed_now > 0
          ? static_cast<double>(s.field.strokes_on_spare_thread() - on_spare) / handed_now
          : 0.0;
}

void BM_BurstTogether(benchmark::State& state) { burst_together(state, false, false); }
void BM_BurstWorker(benchmark::State& state) { burst_together(state, true, false); }
void BM_BurstTogetherIdle(benchmark::State& state) { burst_together(state, false, true); }
void BM_BurstWorkerIdle(benchmark::State& state) { burst_together(state, true, true); }

void BM_BurstFloor(benchmark::State& state) {
  Scene& s = scene(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  const int falloff = static_cast<int>(state.range(2));
  if (!ready(state, s)) return;
  std::size_t b = 0;
  for (auto _ : state) {
    for (const Additions& a : s.additions[falloff][b]) {
      float sum = 0.0f, total = 0.0f;
      const std::size_t n = a.term.size();
      for (std::size_t k = 0; k < n; ++k) {
        sum = static_cast<float>(static_cast<double>(sum) + a.term[k]);
        total = total + a.weight[k];
      }
      benchmark::DoNotOptimize(total > 0.0f ? sum / total : 0.0f);
    }
    b = (b + 1) % s.bursts.size();
  }
  label(state, s, falloff);
}

void BM_Reset(benchmark::State& state) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  const std::vector<unsigned char> rgb = bench::sample_picture(w, h);
  if (rgb.empty()) return state.SkipWithError("no sample picture");
  const std::size_t n = static_cast<std::size_t>(w) * h;
  std::vector<float> gx(n), gy(n);
  std::vector<unsigned char> mask(n);
  compute_edge_map_arrays(rgb.data(), w, h, kThreshold, gx.data(), gy.data(), mask.data());
  EdgeAngleField field;
  for (auto _ : state) {
    field.reset(gx.data(), gy.data(), mask.data(), w, h);
    benchmark::ClobberMemory();
  }
  state.counters["edges"] = static_cast<double>(field.edge_pixels());
}

// The most a capture of this picture can cost: threshold 0, so that every
// pixel with any gradient is an edge; and of a picture of noise at
// threshold 0, where every pixel is.
void reset_at_threshold_zero(benchmark::State& state, bool noise) {
  const int w = static_cast<int>(state.range(0)), h = static_cast<int>(state.range(1));
  std::vector<unsigned char> rgb = bench::sample_picture(w, h);
  if (rgb.empty()) return state.SkipWithError("no sample picture");
  if (noise) {
    std::mt19937 rng(5);
    for (auto& b : rgb) b = static_cast<unsigned char>(rng());
  }
  const std::size_t n = static_cast<std::size_t>(w) * h;
  std::vector<float> gx(n), gy(n);
  std::vector<unsigned char> mask(n);
  compute_edge_map_arrays(rgb.data(), w, h, 0.0f, gx.data(), gy.data(), mask.data());
  EdgeAngleField field;
  for (auto _ : state) {
    field.reset(gx.data(), gy.data(), mask.data(), w, h);
    benchmark::ClobberMemory();
  }
  state.counters["edges"] = static_cast<double>(field.edge_pixels());
}

void BM_ResetThresholdZero(benchmark::State& state) { reset_at_threshold_zero(state, false); }
void BM_ResetNoiseThresholdZero(benchmark::State& state) { reset_at_threshold_zero(state, true); }

void bursts(benchmark::internal::Benchmark* b) {
  for (int falloff : {0, 1}) b->Args({600, 600, falloff})->Args({1920, 1080, falloff});
  b->Unit(benchmark::kMicrosecond)->Repetitions(7)->ReportAggregatesOnly(true)->MinTime(0.3);
}

void captures(benchmark::internal::Benchmark* b) {
  b->Args({1920, 1080})->Args({3840, 2160});
  b->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true)->MinTime(0.3);
}

BENCHMARK(BM_BurstReference)->Apply(bursts);
BENCHMARK(BM_BurstShipped)->Apply(bursts);
BENCHMARK(BM_BurstTogether)->Apply(bursts);
BENCHMARK(BM_BurstWorker)->Apply(bursts);
BENCHMARK(BM_BurstTogetherIdle)->Apply(bursts);
BENCHMARK(BM_BurstWorkerIdle)->Apply(bursts);
BENCHMARK(BM_BurstFloor)->Apply(bursts);
BENCHMARK(BM_Reset)->Apply(captures);
BENCHMARK(BM_ResetThresholdZero)->Apply(captures);
BENCHMARK(BM_ResetNoiseThresholdZero)->Apply(captures);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  bench::RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf(
      "\nPer-burst medians in microseconds, real / cpu (goal: shipped within 4000 at\n"
      "1920x1080, or within 1.5x of the floor where the floor alone takes longer)\n");
  for (const char* size : {"600/600", "1920/1080"})
    for (const char* falloff : {"0", "1"}) {
      const std::string key = std::string(size) + "/" + falloff;
      const auto both = [&](const std::string& name) {
        static char text[64];
        std::snprintf(text, sizeof text, "%.1f / %.1f", reporter.median(name + key),
                      reporter.median_cpu(name + key));
        return std::string(text);
      };
      std::printf("%-10s falloff %s: reference %s  shipped %s  together %s  floor %s\n", size,
                  falloff, both("BM_BurstReference/").c_str(), both("BM_BurstShipped/").c_str(),
                  both("BM_BurstTogether/").c_str(), both("BM_BurstFloor/").c_str());
      std::printf("%-10s            worker %s   after a pause: together %s  worker %s\n", "",
                  both("BM_BurstWorker/").c_str(), both("BM_BurstTogetherIdle/").c_str(),
                  both("BM_BurstWorkerIdle/").c_str());
      reporter.print_ratio("  reference / shipped", "BM_BurstReference/" + key,
                           "BM_BurstShipped/" + key);
      reporter.print_ratio("  shipped / floor", "BM_BurstShipped/" + key, "BM_BurstFloor/" + key);
      reporter.print_ratio("  shipped / together", "BM_BurstShipped/" + key,
                           "BM_BurstTogether/" + key);
      reporter.print_ratio("  together / floor", "BM_BurstTogether/" + key, "BM_BurstFloor/" + key);
      reporter.print_ratio("  together / worker", "BM_BurstTogether/" + key,
                           "BM_BurstWorker/" + key);
      reporter.print_ratio("  same after a pause", "BM_BurstTogetherIdle/" + key,
                           "BM_BurstWorkerIdle/" + key);
    }
  benchmark::Shutdown();
  return 0;
}

// Saving a 600 x 600 RGBA canvas: the TGA writer against the plain
// byte-at-a-time writer (one fputc per byte, results not checked), both
// writing to a file in a memory-backed folder so the disk does not blur the
// comparison (syncing a file there costs nothing).
//
//   ./build/bench/tga_bench --benchmark_repetitions=10 --benchmark_report_aggregates_only
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "export/tga.h"

namespace {

constexpr int kSide = 600;

std::string bench_path() {
  const std::string dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  return dir + "/daubwork-tga-bench-" + std::to_string(getpid()) + ".tga";
}

std::vector<unsigned char> canvas() {
  std::vector<unsigned char> p(static_cast<std::size_t>(kSide) * kSide * 4);
  for (std::size_t i = 0; i < p.size(); ++i) p[i] = static_cast<unsigned char>(i * 7 + i / 2400);
  return p;
}

// The baseline: header in one block, then every pixel byte by fputc.
bool write_tga_bytewise(const char* path, int width, int height, const unsigned char* pixels) {
  FILE* f = std::fopen(path, "wb");
  if (!f) return false;
  const unsigned char header[18] = {0,
                                    0,
                                    2,
                                    0,
                                    0,
                                    0,
                                    0,
                                    0,
                                    0,
                                    0,
                                    0,
                                    0,
                                    static_cast<unsigned char>(width & 0xFF),
                                    static_cast<unsigned char>((width >> 8) & 0xFF),
                                    static_cast<unsigned char>(height & 0xFF),
                                    static_cast<unsigned char>((height >> 8) & 0xFF),
                                    32,
                                    0};
  std::fwrite(header, 1, sizeof header, f);
  const std::size_t n = static_cast<std::size_t>(width) * height * 4;
  for (std::size_t i = 0; i < n; i += 4) {
    std::fputc(pixels[i + 2], f);
    std::fputc(pixels[i + 1], f);
    std::fputc(pixels[i + 0], f);
    std::fputc(pixels[i + 3], f);
  }
  std::fclose(f);
  return true;
}

void BM_SaveCanvas_Bytewise(benchmark::State& state) {
  const auto pixels = canvas();
  const std::string path = bench_path();
  for (auto _ : state)
    benchmark::DoNotOptimize(write_tga_bytewise(path.c_str(), kSide, kSide, pixels.data()));
  std::remove(path.c_str());
  state.SetBytesProcessed(static_cast<long long>(state.iterations()) * (18 + kSide * kSide * 4));
}

void BM_SaveCanvas_WriteTga(benchmark::State& state) {
  const auto pixels = canvas();
  const std::string path = bench_path();
  for (auto _ : state)
    benchmark::DoNotOptimize(write_tga(path.c_str(), kSide, kSide, 4, pixels.data()));
  std::remove(path.c_str());
  state.SetBytesProcessed(static_cast<long long>(state.iterations()) * (18 + kSide * kSide * 4));
}

BENCHMARK(BM_SaveCanvas_Bytewise)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveCanvas_WriteTga)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

// Shared by the benchmarks: the sample photograph at any size, and a
// console reporter that also prints ratios of medians between benchmarks
// of one run, so that a speed goal is read off one run on one machine.
#pragma once

#include <IL/il.h>
#include <IL/ilu.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace bench {

// samples/image1.jpg stretched to width x height with bilinear filtering,
// 3 bytes R, G, B a pixel, row 0 at the bottom (the layout of a capture).
// Empty when the picture cannot be read.
inline std::vector<unsigned char> sample_picture(int width, int height) {
  std::string path = __FILE__;
  path = path.substr(0, path.rfind('/') + 1) + "../samples/image1.jpg";
  static bool started = false;
  if (!started) {
    ilInit();
    iluInit();
    started = true;
  }
  ILuint id = 0;
  ilGenImages(1, &id);
  ilBindImage(id);
  ilEnable(IL_ORIGIN_SET);
  ilOriginFunc(IL_ORIGIN_LOWER_LEFT);
  std::vector<unsigned char> rgb;
  if (ilLoadImage(path.c_str()) && ilConvertImage(IL_RGB, IL_UNSIGNED_BYTE)) {
    iluImageParameter(ILU_FILTER, ILU_BILINEAR);
    if (iluScale(width, height, 1)) {
      rgb.resize(static_cast<std::size_t>(3) * width * height);
      ilCopyPixels(0, 0, 0, width, height, 1, IL_RGB, IL_UNSIGNED_BYTE, rgb.data());
    }
  }
  ilDeleteImages(1, &id);
  if (rgb.empty()) std::fprintf(stderr, "could not read %s\n", path.c_str());
  return rgb;
}

// Console output as usual; remembers each benchmark's median real and CPU
// time (the machine is shared, so both are shown).
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
        const std::string key = run.run_name.function_name + "/" + run.run_name.args;
        real_[key] = run.GetAdjustedRealTime();
        cpu_[key] = run.GetAdjustedCPUTime();
      }
    ConsoleReporter::ReportRuns(runs);
  }
  // Median real time of `name` (function name / arguments, e.g.
  // "BM_X/600/600") in the benchmark's unit, or 0.
  double median(const std::string& name) const { return find(real_, name); }
  double median_cpu(const std::string& name) const { return find(cpu_, name); }
  void print_ratio(const std::string& what, const std::string& num, const std::string& den) const {
    const double a = median(num), b = median(den);
    const double ac = median_cpu(num), bc = median_cpu(den);
    if (a > 0 && b > 0 && ac > 0 && bc > 0)
      std::printf("%-40s real %7.3f  cpu %7.3f  (%s / %s)\n", what.c_str(), a / b, ac / bc,
                  num.c_str(), den.c_str());
  }

 private:
  static double find(const std::map<std::string, double>& m, const std::string& name) {
    auto it = m.find(name);
    return it == m.end() ? 0.0 : it->second;
  }
  std::map<std::string, double> real_, cpu_;
};

}  // namespace bench

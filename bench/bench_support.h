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

// Console output as usual; remembers each benchmark's median real time.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
        medians_[run.run_name.function_name + "/" + run.run_name.args] =
            run.GetAdjustedRealTime();
    ConsoleReporter::ReportRuns(runs);
  }
  // Median of `name` (function name / arguments, e.g. "BM_X/600/600"), or 0.
  double median(const std::string& name) const {
    auto it = medians_.find(name);
    return it == medians_.end() ? 0.0 : it->second;
  }
  void print_ratio(const std::string& what, const std::string& num, const std::string& den) const {
    const double a = median(num), b = median(den);
    if (a > 0 && b > 0)
      std::printf("%-58s %8.3f  (%s / %s)\n", what.c_str(), a / b, num.c_str(), den.c_str());
  }

 private:
  std::map<std::string, double> medians_;
};

}  // namespace bench

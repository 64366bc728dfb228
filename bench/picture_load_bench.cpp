// Load Image against DevIL's own decode of the same file, in one run, on a
// 12-megapixel JPEG (4000 x 3000) and a 64-megapixel PNG (8000 x 8000) of
// two kinds: the sample photograph scaled up (bilinear, so smooth that the
// PNG decodes faster than a real photograph's would) and written by DevIL,
// and photo-like content (a plasma fractal with noise added, as ImageMagick
// makes it: the PNG then has 16 bits a channel, as a photograph developed
// from a camera's raw file often has), written into a temporary folder,
// where later runs find them again.
//
//   BM_Decode          ilLoadImage in this process: the decode alone
//   BM_DecodeThenStorage  the same, then an empty texture of the picture's
//                      size made (glTexImage2D without pixels), one after the
//                      other: what a first load costs at the least when the
//                      renderer's clearing of new storage cannot overlap
//                      the decode
//   BM_Load            load_picture_texture, a new texture (the first Load
//                      Image), then glFinish
//   BM_Reload          reload_picture_texture into the texture of the same
//                      picture (every later Load Image), then glFinish
//   BM_BaselineLoad,   the same on the road before (the whole picture
//   BM_BaselineReload  through a pipe into the program, the texture made by
//                      DevIL's GL layer), kept here to be timed beside it
//
// Two runs, each with the decode beside it and its repetitions
// interleaved at random, so that a busy moment of the shared machine falls
// on all of them alike: first the shipped road, then the baseline. The
// baseline forks this whole process for each picture, which leaves every
// page of it, the shipped road's textures included, to be copied or
// unprotected on its next write: run after it, the shipped road would pay
// for the baseline's forks. The ratios are of medians.
// --picture=N times picture N only (0 and 1 the smooth JPEG and PNG, 2 and
// 3 the photo-like ones).
//
// Before the timings, each road loads each picture once in a fresh process
// of its own (this program started again), and reports the peak of that
// process's resident memory during the load (VmHWM, reset through
// /proc/self/clear_refs just before) minus its resident memory right
// before, in RGBA copies of the picture; and the peak of the largest
// process that decoded for it (ru_maxrss of the waited children and theirs,
// read once the program has ended them: it counts what they inherited of
// the program too), which the program's figure leaves out.
//
// Needs an X display, e.g.
//   Xvfb :5 -screen 0 1280x1024x24 & DISPLAY=:5 build/bench/picture_load_bench
#include <GL/freeglut.h>
#include <IL/il.h>
#include <IL/ilu.h>
#include <IL/ilut.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/fd_io.h"
#include "bench/bench_support.h"
#include "image/picture_file.h"

namespace {

struct Picture {
  const char* name;
  int width, height;
  ILenum type;
  bool photo_like;  // made by ImageMagick, else from the sample by DevIL
};
const Picture kPictures[] = {{"photo-12mp.jpg", 4000, 3000, IL_JPG, false},
                             {"photo-64mp.png", 8000, 8000, IL_PNG, false},
                             {"plasma-12mp.jpg", 4000, 3000, IL_JPG, true},
                             {"plasma-64mp.png", 8000, 8000, IL_PNG, true}};
constexpr int kPictureCount = static_cast<int>(std::size(kPictures));

std::string picture_path(const Picture& picture) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / "daubwork-picture-load-bench";
  std::filesystem::create_directories(dir);
  return (dir / picture.name).string();
}

// Writes the picture unless an earlier run did (a finished file only: it
// is written under another name first).
bool make_picture(const Picture& picture) {
  const std::string path = picture_path(picture);
  if (std::filesystem::exists(path)) return true;
  const std::string part = path + ".part";
  if (picture.photo_like) {
    const std::string size = std::to_string(picture.width) + "x" + std::to_string(picture.height);
    const std::string command = "convert -seed 1 -size " + size +
                                " plasma:fractal -attenuate 0.3 +noise Gaussian -quality 90 " +
                                (picture.type == IL_PNG ? "png:" : "jpg:") + part;
    return std::system(command.c_str()) == 0 && std::rename(part.c_str(), path.c_str()) == 0;
  }
  std::vector<unsigned char> rgb = bench::sample_picture(picture.width, picture.height);
  if (rgb.empty()) return false;
  ILuint image = 0;
  ilGenImages(1, &image);
  ilBindImage(image);
  ilEnable(IL_FILE_OVERWRITE);
  ilSetInteger(IL_JPG_QUALITY, 90);
  const bool saved =
      ilTexImage(picture.width, picture.height, 1, 3, IL_RGB, IL_UNSIGNED_BYTE, rgb.data()) &&
      (ilRegisterOrigin(IL_ORIGIN_LOWER_LEFT), ilSave(picture.type, part.c_str()));
  ilDeleteImages(1, &image);
  return saved && std::rename(part.c_str(), path.c_str()) == 0;
}

// The road before: the child turns the picture into RGBA with DevIL and
// sends it through a pipe; the program reads it into a buffer, DevIL copies
// that into an image of its own, and DevIL's GL layer turns it upright and
// makes the texture (or fills `into`). Its checks of the file are left out.
GLuint baseline_load(const char* path, GLuint into) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return 0;
  const pid_t pid = fork();
  if (pid == 0) {
    ILuint image = 0;
    ilGenImages(1, &image);
    ilBindImage(image);
    if (!ilLoadImage(path) || !ilConvertImage(IL_RGBA, IL_UNSIGNED_BYTE)) _exit(1);
    const int32_t head[3] = {ilGetInteger(IL_IMAGE_WIDTH), ilGetInteger(IL_IMAGE_HEIGHT),
                             ilGetInteger(IL_IMAGE_ORIGIN)};
    const size_t bytes = static_cast<size_t>(head[0]) * static_cast<size_t>(head[1]) * 4;
    _exit(write_all(fds[1], head, sizeof head) && write_all(fds[1], ilGetData(), bytes) ? 0 : 1);
  }
  close(fds[1]);
  int32_t head[3] = {};
  std::unique_ptr<unsigned char[]> rgba;
  if (pid > 0 && read_all(fds[0], head, sizeof head)) {
    const size_t bytes = static_cast<size_t>(head[0]) * static_cast<size_t>(head[1]) * 4;
    rgba.reset(new unsigned char[bytes]);
    if (!read_all(fds[0], rgba.get(), bytes)) rgba.reset();
  }
  close(fds[0]);
  if (pid > 0) waitpid(pid, nullptr, 0);
  if (!rgba) return 0;
  ILuint image = 0;
  ilGenImages(1, &image);
  ilBindImage(image);
  GLuint texture = 0;
  if (ilTexImage(head[0], head[1], 1, 4, IL_RGBA, IL_UNSIGNED_BYTE, rgba.get())) {
    ilRegisterOrigin(head[2]);
    if (into == 0) {
      texture = ilutGLBindTexImage();
    } else {
      glBindTexture(GL_TEXTURE_2D, into);
      if (ilutGLTexImage(0)) texture = into;
    }
  }
  ilDeleteImages(1, &image);
  return texture;
}

using Road = GLuint (*)(const char* path, GLuint into);
GLuint shipped_load(const char* path, GLuint into) {
  return into == 0 ? load_picture_texture(path) : reload_picture_texture(path, into);
}

void start_gl() {
  int argc = 1;
  char name[] = "picture_load_bench";
  char* argv[] = {name, nullptr};
  glutInit(&argc, argv);
  glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE);
  glutInitWindowSize(64, 64);
  glutCreateWindow("picture_load_bench");
  // DevIL as the program starts it.
  ilInit();
  iluInit();
  ilutRenderer(ILUT_OPENGL);
  glDisable(GL_TEXTURE_2D);
}

using Clock = std::chrono::steady_clock;
double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void decode(benchmark::State& state, bool then_storage) {
  const Picture& picture = kPictures[state.range(0)];
  const std::string path = picture_path(picture);
  for (auto _ : state) {
    ILuint image = 0;
    ilGenImages(1, &image);
    ilBindImage(image);
    GLuint texture = 0;
    const Clock::time_point start = Clock::now();
    const bool read = ilLoadImage(path.c_str());
    if (then_storage) {
      glGenTextures(1, &texture);
      glBindTexture(GL_TEXTURE_2D, texture);
      glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, picture.width, picture.height, 0, GL_RGBA,
                   GL_UNSIGNED_BYTE, nullptr);
      glFinish();
    }
    state.SetIterationTime(seconds_since(start));
    release_picture_texture(texture);
    ilDeleteImages(1, &image);
    if (!read) state.SkipWithError("DevIL cannot read the picture");
  }
}
void BM_Decode(benchmark::State& state) { decode(state, false); }
void BM_DecodeThenStorage(benchmark::State& state) { decode(state, true); }

// One load on `road`, into a new texture (given back untimed) or, with
// `again`, into the texture the road made of the picture before.
void time_road(benchmark::State& state, Road road, bool again) {
  static std::map<std::pair<Road, int64_t>, GLuint> made;
  const std::string path = picture_path(kPictures[state.range(0)]);
  GLuint& into = made[{road, state.range(0)}];
  if (again && into == 0) into = road(path.c_str(), 0);
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    const GLuint texture = road(path.c_str(), again ? into : 0);
    glFinish();
    state.SetIterationTime(seconds_since(start));
    if (texture == 0) state.SkipWithError("no texture");
    if (again)
      into = texture;
    else
      release_picture_texture(texture);
  }
}
void BM_Load(benchmark::State& state) { time_road(state, shipped_load, false); }
void BM_Reload(benchmark::State& state) { time_road(state, shipped_load, true); }
void BM_BaselineLoad(benchmark::State& state) { time_road(state, baseline_load, false); }
void BM_BaselineReload(benchmark::State& state) { time_road(state, baseline_load, true); }

void settings(benchmark::internal::Benchmark* b) {
  b->DenseRange(0, kPictureCount - 1)
      ->Unit(benchmark::kMillisecond)
      ->UseManualTime()
      ->Iterations(1);
  b->Repetitions(7)->ReportAggregatesOnly(true);
}
BENCHMARK(BM_Decode)->Apply(settings);
BENCHMARK(BM_DecodeThenStorage)->Apply(settings);
BENCHMARK(BM_Load)->Apply(settings);
BENCHMARK(BM_Reload)->Apply(settings);
BENCHMARK(BM_BaselineLoad)->Apply(settings);
BENCHMARK(BM_BaselineReload)->Apply(settings);

// --- peak memory, in a fresh process --------------------------------------

long status_kb(const char* key) {
  std::FILE* f = std::fopen("/proc/self/status", "r");
  char line[256];
  long kb = -1;
  while (f && std::fgets(line, sizeof line, f))
    if (std::strncmp(line, key, std::strlen(key)) == 0) kb = std::atol(line + std::strlen(key));
  if (f) std::fclose(f);
  return kb;
}

bool reset_peak() {
  std::FILE* f = std::fopen("/proc/self/clear_refs", "w");
  const bool done = f && std::fputs("5", f) >= 0;
  return f && std::fclose(f) == 0 && done;
}

// The probe process: one load of picture `index` on the road named, after
// a first untimed one when `again`; prints "extra_kB children_kB" at exit,
// after the program's own exit handlers have ended its decoding processes.
long probe_extra_kb = -1;
void print_probe() {
  rusage children{};
  getrusage(RUSAGE_CHILDREN, &children);
  std::printf("%ld %ld\n", probe_extra_kb, children.ru_maxrss);
}
int probe_memory(const std::string& road_name, bool again, int index) {
  std::atexit(print_probe);  // first in, so last to run
  start_gl();
  const Road road = road_name == "shipped" ? shipped_load : baseline_load;
  const std::string path = picture_path(kPictures[index]);
  const GLuint into = again ? road(path.c_str(), 0) : 0;
  if ((again && into == 0) || !reset_peak()) return 1;
  const long before = status_kb("VmRSS:");
  if (road(path.c_str(), into) == 0) return 1;
  glFinish();
  probe_extra_kb = status_kb("VmHWM:") - before;
  return 0;
}

void report_memory(const std::string& self, const std::vector<int>& indices) {
  std::printf("Peak memory of one load, fresh process (extra over the memory before it)\n");
  for (int index : indices) {
    const Picture& picture = kPictures[index];
    const double copy_kb = static_cast<double>(picture.width) * picture.height * 4 / 1024;
    for (const char* road : {"shipped", "baseline"})
      for (const char* when : {"load", "reload"}) {
        const std::string command =
            self + " --probe-memory " + road + " " + when + " " + std::to_string(index);
        std::FILE* p = popen(command.c_str(), "r");
        long extra = -1, child = -1;
        if (!p || std::fscanf(p, "%ld %ld", &extra, &child) != 2) extra = -1;
        if (p) pclose(p);
        if (extra < 0) {
          std::printf("  %-16s %-8s %-6s: failed\n", picture.name, road, when);
          continue;
        }
        std::printf("  %-16s %-8s %-6s: %7.1f MB = %.2f RGBA copies; decoding %7.1f MB\n",
                    picture.name, road, when, extra / 1024.0, extra / copy_kb, child / 1024.0);
      }
  }
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "--probe-memory") == 0)
    return probe_memory(argv[2], std::strcmp(argv[3], "reload") == 0,
                        std::atoi(argv[4]) % kPictureCount);

  std::vector<char*> args(argv, argv + argc);
  std::string pictures = "[0-9]+";
  std::vector<int> indices;
  for (int i = 0; i < kPictureCount; ++i) indices.push_back(i);
  for (auto it = args.begin() + 1; it != args.end();)
    if (std::strncmp(*it, "--picture=", 10) == 0) {
      pictures = std::to_string(std::atoi(*it + 10) % kPictureCount);
      indices = {std::atoi(pictures.c_str())};
      it = args.erase(it);
    } else {
      ++it;
    }
  char interleave[] = "--benchmark_enable_random_interleaving=true";
  args.insert(args.begin() + 1, interleave);
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;
  start_gl();
  for (int index : indices)
    if (!make_picture(kPictures[index])) {
      std::fprintf(stderr, "picture_load_bench: could not write %s\n",
                   picture_path(kPictures[index]).c_str());
      return 1;
    }
  char self[4096];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return 1;
  self[length] = '\0';
  report_memory(self, indices);

  bench::RatioReporter shipped, baseline;
  benchmark::RunSpecifiedBenchmarks(&shipped,
                                    "^BM_(Decode|DecodeThenStorage|Load|Reload)/" + pictures + "/");
  benchmark::RunSpecifiedBenchmarks(&baseline, "^BM_(Decode|Baseline.*)/" + pictures + "/");
  // Wall-clock time only: the decoding child's processor time is no
  // thread's of this process.
  std::printf(
      "\nRatios of median wall-clock times (goal: Load Image within 1.25x DevIL's decode)\n");
  for (int index : indices) {
    const std::string arg = std::to_string(index);
    const std::string name = kPictures[index].name;
    auto ratio = [&](const bench::RatioReporter& run, const std::string& road) {
      const double a = run.median("BM_" + road + "/" + arg);
      const double b = run.median(std::string("BM_Decode/") + arg);
      if (a > 0 && b > 0)
        std::printf("%-32s %6.3f  (%7.1f / %7.1f ms)\n", (road + ", " + name).c_str(), a / b, a, b);
    };
    for (const char* road : {"DecodeThenStorage", "Load", "Reload"}) ratio(shipped, road);
    for (const char* road : {"BaselineLoad", "BaselineReload"}) ratio(baseline, road);
  }
  benchmark::Shutdown();
  return 0;
}

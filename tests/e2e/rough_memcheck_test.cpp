// A short user journey of the real program under valgrind's memcheck: load
// the picture, paint with every brush (OBJ File after loading the sphere),
// follow edges, resize, clear, save, mistype two names, quit with q. Memcheck
// must find no invalid access and no definite leak outside the libraries
// that tests/valgrind/daubwork.supp names, in the program or in the child
// processes that decode its pictures; its exit status tells, and its log is
// kept as memcheck-journey.log in the build folder.
//
// Skipped where valgrind is missing, in a sanitizer build (the two do not
// mix), and when DAUB_MEMCHECK=0. tests/valgrind/run-memcheck.sh runs it
// alone for a given build.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/support/rough_files.h"

namespace {

constexpr int kValgrindFailed = 97;  // memcheck's status when it found errors

// Memcheck slows everything tenfold and more: generous waits.
constexpr e2e::Duration kSlow = std::chrono::minutes(4);

// Waits until the canvas rows [y0, y1) hold strokes.
testing::AssertionResult wait_for_strokes(Daubwork& d, int y0, int y1, const std::string& what) {
  return e2e::wait_until([&] { return non_white_pixels(d.canvas_shot(), 0, y0, 10000, y1) > 100; },
                         what, kSlow);
}

testing::AssertionResult press_and_wait(Daubwork& d, const std::string& label,
                                        const std::string& line,
                                        e2e::Stream stream = e2e::Stream::Out) {
  const std::size_t from = d.app().line_count(stream);
  d.click(label);
  return d.app().wait_for_line(line, nullptr, from, stream, kSlow);
}

// valgrind's full path, from the shell's search of PATH; "" when missing.
std::string valgrind_path() {
  FILE* p = popen("command -v valgrind", "r");
  if (!p) return "";
  char buf[4096] = "";
  const bool got = std::fgets(buf, sizeof buf, p) != nullptr;
  pclose(p);
  std::string path = got ? buf : "";
  while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
  return path;
}

}  // namespace

TEST(RoughMemcheck, AUserJourneyHasNoInvalidAccessAndNoDefiniteLeak) {
  if (kSanitizerBuild) GTEST_SKIP() << "a sanitizer build: memcheck runs on the plain build";
  const char* opt = std::getenv("DAUB_MEMCHECK");
  if (opt && std::string(opt) == "0") GTEST_SKIP() << "DAUB_MEMCHECK=0";
  const std::string valgrind = valgrind_path();
  if (valgrind.empty()) GTEST_SKIP() << "valgrind is not installed";

  const std::string log = std::string(DAUB_BINARY_DIR) + "/memcheck-journey.log";
  const auto started = std::chrono::steady_clock::now();
  Daubwork::Start start;
  start.launcher = {valgrind,
                    "--tool=memcheck",
                    "--error-exitcode=" + std::to_string(kValgrindFailed),
                    "--leak-check=full",
                    "--show-leak-kinds=definite,indirect",
                    "-s",  // the suppressions used, at the end of the log
                    "--errors-for-leak-kinds=definite",
                    "--keep-debuginfo=yes",
                    "--num-callers=40",
                    "--gen-suppressions=all",
                    "--suppressions=" + source_path("tests/valgrind/daubwork.supp"),
                    "--log-file=" + log};
  // llvmpipe rasterises on the program's own thread: no worker threads for
  // memcheck to serialise.
  start.env = {"LP_NUM_THREADS=0"};
  Daubwork d(Daubwork::default_files(), start);
  const int w = 800 - d.panel_width();

  ASSERT_TRUE(press_and_wait(d, "Load Image", "Image image1.jpg loaded."));
  // One band of the canvas per brush: strokes reach 60 pixels from the drag.
  const char* brushes[] = {"Circles", "Lines", "Crosses", "Blocks"};
  for (int i = 0; i < 4; ++i) {
    const int y = 60 + 120 * i;
    if (i > 0) d.click(brushes[i]);  // Circles is chosen at start-up
    d.drag({{60, y}, {w - 60, y}}, 2);
    ASSERT_TRUE(wait_for_strokes(d, y - 60, y + 60, std::string(brushes[i]) + " strokes"));
  }
  ASSERT_TRUE(press_and_wait(d, "Load OBJ Model", "File length: 35919"));
  d.click("OBJ File");
  d.drag({{60, 540}, {w - 60, 540}}, 2);
  ASSERT_TRUE(wait_for_strokes(d, 480, 600, "OBJ File strokes"));

  d.click("Clear Image");
  ASSERT_TRUE(e2e::wait_until([&] { return non_white_pixels(d.canvas_shot()) == 0; },
                              "a white canvas", kSlow));
  d.click("Follow Edges:");
  d.drag({{60, 100}, {w - 60, 100}}, 2);
  ASSERT_TRUE(wait_for_strokes(d, 40, 160, "OBJ File strokes following edges"));
  d.click("Lines");
  d.drag({{60, 250}, {w - 60, 250}}, 2);
  ASSERT_TRUE(wait_for_strokes(d, 190, 310, "Lines following edges"));

  // A resize blanks the canvas; the next drag captures again at the new size.
  d.x().resize(d.window(), 700, 500);
  ASSERT_TRUE(d.x().wait_for_size(d.window(), 700, 500, kSlow));
  ASSERT_TRUE(e2e::wait_until([&] { return non_white_pixels(d.canvas_shot()) == 0; },
                              "a blank canvas", kSlow));
  d.drag({{60, 300}, {200, 300}}, 2);
  ASSERT_TRUE(wait_for_strokes(d, 240, 360, "strokes after the resize"));

  ASSERT_TRUE(d.set_text("Image Filename: ", "journey.tga"));
  d.click("Save Image");
  ASSERT_TRUE(e2e::wait_for_file(d.dir().file("journey.tga"),
                                 18 + static_cast<std::size_t>(700 - d.panel_width()) * 500 * 4,
                                 kSlow));

  // Two mistyped names.
  ASSERT_TRUE(d.set_text("OBJ Filename: ", "sphere.objj"));
  ASSERT_TRUE(press_and_wait(d, "Load OBJ Model", "File ./sphere.objj could not be opened!",
                             e2e::Stream::Err));
  ASSERT_TRUE(d.set_text("Image Filename: ", "image1.jgp"));
  ASSERT_TRUE(press_and_wait(d, "Load Image", "Could not load image image1.jgp!"));

  // q over the canvas, once a click there has ended the panel's hold on the keys.
  d.click_canvas(100, 100, e2e::Button::Middle);
  d.x().move_pointer(d.window(), 100, 100);
  ASSERT_TRUE(d.x().key("q"));
  const testing::AssertionResult ended = d.app().wait_for_exit(0, kSlow);
  const auto seconds =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started)
          .count();
  std::printf("memcheck journey: %lld s, log %s\n", static_cast<long long>(seconds), log.c_str());
  const std::string report = read_file(log);
  EXPECT_TRUE(ended) << "memcheck found errors (status " << kValgrindFailed << " means so); log "
                     << log << ":\n"
                     << report.substr(0, 20000);
  // The program and every child it forked to decode a picture end with
  // their own summary in the same log.
  int summaries = 0;
  for (std::size_t at = report.find("ERROR SUMMARY: "); at != std::string::npos;
       at = report.find("ERROR SUMMARY: ", at + 1)) {
    ++summaries;
    EXPECT_EQ(report.compare(at, 24, "ERROR SUMMARY: 0 errors "), 0) << report.substr(at, 80);
  }
  EXPECT_GT(summaries, 0) << report.substr(0, 20000);
}

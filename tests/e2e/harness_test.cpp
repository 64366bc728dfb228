// The e2e harness checked against a probe program that prints every input
// event it gets: the events the harness sends must arrive as a user's would.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/e2e.h"
#include "tests/support/test_files.h"

namespace {

using e2e::Button;
using e2e::Found;

const Rgb kRed{255, 0, 0}, kBlue{0, 0, 255}, kGreen{0, 255, 0};

struct Probe {
  TempDir dir;
  e2e::XServer x;
  // The OpenGL driver's allocations still held at exit are not the
  // probe's to free: in a sanitizer build they would turn q's status 0 into 1.
  e2e::App app{e2e::Launch{
      E2E_PROBE_APP, {}, dir.path(), x.display_name(), {"ASAN_OPTIONS=detect_leaks=0"}}};
  e2e::Window window = 0;
};

testing::AssertionResult open_probe(Probe& p) {
  auto r = p.x.wait_for_window("E2E Probe", &p.window);
  if (!r) return r << "\n" << p.app.errors();
  r = p.x.wait_for_size(p.window, 320, 240);
  if (!r) return r;
  return p.app.wait_for_line("reshape 320 240");
}

TEST(E2eHarness, FindsTheWindowItsChildAndWhatItShows) {
  Probe p;
  ASSERT_TRUE(open_probe(p));
  EXPECT_EQ(p.x.title(p.window), "E2E Probe");
  const e2e::Rect g = p.x.geometry(p.window);
  EXPECT_EQ(g.x, 60);  // no window manager: exactly where it asked to be
  EXPECT_EQ(g.y, 40);

  const auto kids = p.x.children(p.window);
  ASSERT_EQ(kids.size(), 1u);
  EXPECT_EQ(kids[0].rect.x, 240);
  EXPECT_EQ(kids[0].rect.y, 0);
  EXPECT_EQ(kids[0].rect.width, 80);
  EXPECT_EQ(kids[0].rect.height, 240);
  EXPECT_TRUE(kids[0].mapped);

  // Red block top-left, blue canvas, green child on the right.
  ASSERT_TRUE(p.x.wait_for_colour(p.window, {300, 200}, kGreen));
  EXPECT_FALSE(p.x.wait_for_colour(p.window, {300, 200}, kRed, std::chrono::milliseconds(200)));
  RgbImage shot;
  auto shows_probe = [&] {
    shot = p.x.screenshot(p.window);
    return shot.at(2, 2) == kRed && shot.at(19, 9) == kRed && shot.at(20, 9) == kBlue &&
           shot.at(2, 10) == kBlue && shot.at(239, 239) == kBlue && shot.at(240, 0) == kGreen &&
           shot.at(319, 239) == kGreen;
  };
  EXPECT_TRUE(e2e::wait_until(shows_probe, "the probe's colours on screen"))
      << "at (2, 2) " << shot.at(2, 2) << ", (20, 9) " << shot.at(20, 9) << ", (240, 0) "
      << shot.at(240, 0);
  EXPECT_EQ(shot.width, 320);
  EXPECT_EQ(shot.height, 240);
  // The same pixels in a shot of the whole screen, at the window's place.
  EXPECT_EQ(p.x.screenshot().at(60 + 2, 40 + 2), kRed);

  p.x.move_pointer(p.window, 100, 100);
  ASSERT_TRUE(p.x.key("q"));
  EXPECT_TRUE(p.app.wait_for_exit(0));
}

TEST(E2eHarness, MouseKeysAndResizeArriveAsAUsersWould) {
  Probe p;
  ASSERT_TRUE(open_probe(p));
  Found f;

  std::size_t from = p.app.line_count();
  p.x.click(p.window, 100, 50);
  ASSERT_TRUE(p.app.wait_for_line("mouse 0 0 100 50", &f, from));
  ASSERT_TRUE(p.app.wait_for_line("mouse 0 1 100 50", nullptr, f.index + 1));
  p.x.click(p.window, 30, 60, Button::Right);
  ASSERT_TRUE(p.app.wait_for_line("mouse 2 1 30 60", &f, from));
  EXPECT_EQ(p.app.lines()[f.index - 1], "mouse 2 0 30 60");
  p.x.click(p.window, 7, 8, Button::Middle);
  ASSERT_TRUE(p.app.wait_for_line("mouse 1 1 7 8", nullptr, from));

  // A drag: press, motion events along the path, release at its end.
  from = p.app.line_count();
  p.x.drag(p.window, {{50, 50}, {150, 50}, {150, 120}}, Button::Left, 4);
  ASSERT_TRUE(p.app.wait_for_line("mouse 0 1 150 120", &f, from));
  const auto lines = p.app.lines();
  const std::vector<std::string> drag(lines.begin() + static_cast<long>(from),
                                      lines.begin() + static_cast<long>(f.index) + 1);
  ASSERT_GE(drag.size(), 4u);
  EXPECT_EQ(drag.front(), "mouse 0 0 50 50");
  EXPECT_EQ(drag[drag.size() - 2], "motion 150 120");
  int motions = 0;
  for (const auto& line : drag) motions += line.rfind("motion ", 0) == 0;
  EXPECT_EQ(motions, 8) << "4 motion events on each of the two segments";
  EXPECT_NE(std::find(drag.begin(), drag.end(), "motion 150 50"), drag.end());

  // Keys go to the window under the pointer.
  p.x.move_pointer(p.window, 100, 100);
  from = p.app.line_count();
  ASSERT_TRUE(p.x.type_text("aB."));
  ASSERT_TRUE(p.x.key("Return"));
  ASSERT_TRUE(p.x.key("BackSpace"));
  ASSERT_TRUE(p.x.key("Escape"));
  ASSERT_TRUE(p.x.key("Q"));
  ASSERT_TRUE(p.app.wait_for_line("key 81", &f, from));
  const auto all = p.app.lines();
  EXPECT_EQ(std::vector<std::string>(all.begin() + static_cast<long>(from), all.end()),
            (std::vector<std::string>{"key 97", "key 66", "key 46", "key 13", "key 8", "key 27",
                                      "key 81"}));
  EXPECT_FALSE(p.x.key("NoSuchKeyName"));

  // Resizing as a user would: the program reshapes, its child follows.
  from = p.app.line_count();
  p.x.resize(p.window, 400, 300);
  ASSERT_TRUE(p.x.wait_for_size(p.window, 400, 300));
  ASSERT_TRUE(p.app.wait_for_line("reshape 400 300", nullptr, from));
  EXPECT_TRUE(e2e::wait_until(
      [&] {
        const auto kids = p.x.children(p.window);
        return kids.size() == 1 && kids[0].rect.x == 320 && kids[0].rect.height == 300;
      },
      "the child to be docked on the right again"));

  ASSERT_TRUE(p.x.key("q"));
  EXPECT_TRUE(p.app.wait_for_exit(0));
  EXPECT_EQ(p.app.exit_code(), 0);
}

TEST(E2eHarness, TwoServersRunSideBySide) {
  Probe a, b;
  EXPECT_NE(a.x.display_name(), b.x.display_name());
  ASSERT_TRUE(open_probe(a));
  ASSERT_TRUE(open_probe(b));
  a.x.click(a.window, 11, 12);
  b.x.click(b.window, 21, 22);
  ASSERT_TRUE(a.app.wait_for_line("mouse 0 1 11 12"));
  ASSERT_TRUE(b.app.wait_for_line("mouse 0 1 21 22"));
  EXPECT_FALSE(a.app.wait_for_line("21 22", nullptr, 0, e2e::Stream::Out, std::chrono::seconds(1)));
  a.x.move_pointer(a.window, 100, 100);
  ASSERT_TRUE(a.x.key("q"));
  ASSERT_TRUE(a.app.wait_for_exit(0));
  EXPECT_TRUE(b.app.running()) << "q on one server must not reach the other";
  b.x.move_pointer(b.window, 100, 100);
  ASSERT_TRUE(b.x.key("q"));
  EXPECT_TRUE(b.app.wait_for_exit(0));
}

TEST(E2eHarness, ReportsStatusErrorsAndAnEndedProgram) {
  TempDir dir;
  e2e::XServer x;
  e2e::App app(E2E_PROBE_APP, dir.path(), x.display_name(), {"--exit", "7"});
  Found f;
  ASSERT_TRUE(app.wait_for_match("^(b)y(e)$", &f, 0, e2e::Stream::Err));
  EXPECT_EQ(f.line, "bye");
  EXPECT_EQ(f.groups, (std::vector<std::string>{"b", "e"}));
  EXPECT_FALSE(app.wait_for_exit(0)) << "a wrong status is a failure";
  EXPECT_TRUE(app.wait_for_exit(7));
  EXPECT_EQ(app.exit_code(), 7);
  // A line that never comes fails at once when the program has ended.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(app.wait_for_line("never printed"));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(read_file(dir.file("e2e-stderr.txt")), "bye\n");
  EXPECT_TRUE(e2e::wait_for_file(app.stderr_path(), 4));
  EXPECT_FALSE(e2e::wait_for_file(app.stderr_path(), 5, std::chrono::milliseconds(100)));

  // A program that cannot be started is reported, not run.
  EXPECT_THROW(e2e::App(dir.file("missing-program"), dir.path(), x.display_name()),
               std::runtime_error);
  // Seeding copies files of the source tree into the test's folder.
  ASSERT_TRUE(e2e::seed(dir, {"samples/image1.jpg"}));
  EXPECT_EQ(read_file(dir.file("image1.jpg")), read_file(source_path("samples/image1.jpg")));
}

}  // namespace

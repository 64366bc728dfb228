// The program over a long session, two builds side by side in one run (a
// baseline and the shipped one), each on an X server of its own:
//
//   idle  With the sample picture loaded and nothing happening, the
//         processor time the whole process (every thread) takes over 10 s,
//         as a share of one core; at the start-up size and with the window
//         at 1920 x 1080.
//   drag  Bursts painted per second during a fast drag: the left button
//         held and many motion events sent as fast as the X server takes
//         them over the left of the canvas, then one to a corner that was
//         not painted yet; the time runs from the first event until that
//         corner shows the last burst. Every motion event paints one burst:
//         3,000 bursts of 20 Circles strokes of size 10 (the defaults) at a
//         600 x 600 canvas and with the window at 1920 x 1080; 300 bursts
//         of 100 strokes of size 40 at the 600 x 600 canvas.
//   memory  How much bigger the program is once a fast drag has been
//         painted: kFlickMotions motion events sent at once, each a burst
//         of 100 strokes of size 40; its resident memory after, less
//         before. With Circles, Lines and the OBJ File brush (the sample
//         sphere), at the start-up size.
//
//   hand  A hand on a 1,000 Hz mouse: with the sample photograph on a
//         1920 x 1080 canvas, the left button held and one motion event
//         sent every millisecond for 5 s (absolute deadlines, so a late
//         event does not push the later ones back) along a path that
//         sweeps the whole canvas; Circles, Circles with Follow Edges,
//         Blocks with Follow Edges and Lines with Follow Edges, every other
//         setting at its default. Lag: from the last motion event until the
//         program is idle (the processor time of all its threads stops
//         growing: no 10 ms in the next 300 ms in which it used more than
//         1 ms); and that processor time from the button press until idle,
//         per motion event, the GLUT thread's alone, and the X server's over
//         the same time.
//
//   session_bench <baseline program> <program> [repetitions] [figures]
//
// figures: a comma-separated choice of idle, drag, memory, hand (default
// all). HAND_ROW=<row name> in the environment (e.g. "Circles + Follow
// Edges") runs that hand row alone, to profile it. Prints the median of the repetitions (default 3)
// for each figure, the two programs taking turns; every run goes to standard error. Both programs
// show the panel of this source tree (the layout comes from it).
#include <dirent.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/daubwork_e2e.h"

// After the harness: Xlib's macros (None, Bool) would break GoogleTest's
// headers.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kIdleSeconds = 10;
constexpr int kFlickMotions = 300;

// The bursts of a fast drag: how many, and the Stroke Number and Size.
struct Bursts {
  const char* name;
  int motions;
  const char* number;
  const char* size;
};
const Bursts kDefaultBursts{"", 3000, "20", "10"};
const Bursts kBigBursts{"big bursts, ", 300, "100", "40"};

struct Size {
  const char* name;
  int canvas_w;  // 0: the window's width is given instead
  int window_w, window_h;
};
const Size kStartup{"start-up size (800 x 600)", 0, 800, 600};
const Size kCanvas600{"600 x 600 canvas", 600, 0, 600};
const Size kFullHd{"window 1920 x 1080", 0, 1920, 1080};
const Size kCanvasFullHd{"1920 x 1080 canvas", 1920, 0, 1080};

// Processor time of the whole process so far (every thread), in clock
// ticks; -1 when it cannot be read.
long process_ticks(pid_t pid) {
  const std::string stat = read_file("/proc/" + std::to_string(pid) + "/stat");
  // The command name, in parentheses, may hold blanks: count from its end.
  const std::size_t at = stat.rfind(')');
  unsigned long user = 0, system = 0;
  if (at == std::string::npos ||
      std::sscanf(stat.c_str() + at + 1, " %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu",
                  &user, &system) != 2)
    return -1;
  return static_cast<long>(user + system);
}

// Starts the program, sizes its window and loads the sample picture.
struct Session {
  explicit Session(const std::string& program, const Size& size)
      : d(Daubwork::default_files(), start_for(program)) {
    const int w = size.canvas_w > 0 ? size.canvas_w + d.panel_width() : size.window_w;
    d.x().resize(d.window(), w, size.window_h);
    // Shown at the new size before the picture is loaded: a program that
    // captured with the projection of the last display would stretch the
    // picture over the old canvas only.
    testing::AssertionResult r = d.x().wait_for_size(d.window(), w, size.window_h);
    if (r) r = d.wait_until_shown();
    if (r) r = d.click_and_wait("Load Image", "Image image1.jpg loaded.");
    d.x().move_pointer(d.window(), 10, 10);
    if (r) r = d.wait_until_shown();
    ok = r;
    if (!ok) std::fprintf(stderr, "session_bench: %s: %s\n", program.c_str(), r.message());
  }
  static Daubwork::Start start_for(const std::string& program) {
    Daubwork::Start s;
    s.program = program;
    s.screen = {2400, 1200};  // room for a 1920 x 1080 canvas and the panel
    return s;
  }
  Daubwork d;
  bool ok = false;
};

// Share of one core used over kIdleSeconds with nothing happening.
double idle_share(const std::string& program, const Size& size) {
  Session s(program, size);
  if (!s.ok) return NAN;
  const long ticks_per_second = sysconf(_SC_CLK_TCK);
  const long before = process_ticks(s.d.app().pid());
  std::this_thread::sleep_for(std::chrono::seconds(kIdleSeconds));
  const long after = process_ticks(s.d.app().pid());
  return 100.0 * static_cast<double>(after - before) / (ticks_per_second * kIdleSeconds);
}

// Bursts a second during a fast drag.
double drag_rate(const std::string& program, const Size& size, const Bursts& bursts) {
  Session s(program, size);
  if (!s.ok) return NAN;
  testing::AssertionResult r = s.d.set_text("Stroke Number: ", bursts.number);
  if (r) r = s.d.set_text("Stroke Size: ", bursts.size);
  if (r) {
    s.d.click_canvas(10, 10, e2e::Button::Middle);  // commits the last field
    r = s.d.wait_until_shown();
  }
  if (!r) {
    std::fprintf(stderr, "session_bench: %s: %s\n", program.c_str(), r.message());
    return NAN;
  }
  const e2e::Rect g = s.d.x().geometry(s.d.window());
  const int canvas_w = g.width - s.d.panel_width(), canvas_h = g.height;
  // The sweep stays in the left half; the last point lies in the far
  // corner, more than a stroke radius (50) and a stroke size (40 at most)
  // away.
  std::vector<e2e::Point> path;
  const int span_x = canvas_w / 2 - 120, span_y = canvas_h - 240;
  for (int i = 0; i < bursts.motions; ++i) {
    const double t = i * 0.013;
    path.push_back({60 + static_cast<int>(span_x * (0.5 + 0.5 * std::sin(t * 3.1))),
                    120 + static_cast<int>(span_y * (0.5 + 0.5 * std::sin(t * 2.3)))});
  }
  const e2e::Point last{canvas_w - 100, canvas_h - 100};
  path.push_back(last);
  const e2e::Rect corner{g.x + last.x - 40, g.y + last.y - 40, 80, 80};
  const Clock::time_point start = Clock::now();
  s.d.x().drag(s.d.window(), path, e2e::Button::Left, 1);
  auto painted = [&] { return non_white_pixels(s.d.x().screenshot(corner)) > 0; };
  if (!e2e::wait_until(painted, "the last burst", std::chrono::seconds(300))) return NAN;
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return static_cast<double>(path.size() - 1) / seconds;
}

// How many MB bigger the program is once a fast drag of big bursts of big
// strokes with `brush` has been painted.
double growth_after_flick(const std::string& program, const std::string& brush) {
  Session s(program, kStartup);
  if (!s.ok) return NAN;
  Daubwork& d = s.d;
  testing::AssertionResult r = testing::AssertionSuccess();
  if (brush == "OBJ File") r = d.click_and_wait("Load OBJ Model", "File length: ");
  if (r) {
    d.click(brush);
    r = d.set_text("Stroke Number: ", "100");
  }
  if (r) r = d.set_text("Stroke Size: ", "40");
  if (r) {
    d.click_canvas(400, 500, e2e::Button::Middle);  // commits the last field
    r = d.wait_until_shown();
  }
  const long before = d.app().resident_kb();
  if (r) {
    d.drag({{60, 60}, {400, 540}}, kFlickMotions);
    r = d.wait_until_shown();
  }
  const long after = d.app().resident_kb();
  if (!r || before <= 0 || after <= 0) {
    std::fprintf(stderr, "session_bench: %s, %s: %s\n", program.c_str(), brush.c_str(),
                 r ? "no resident memory" : r.message());
    return NAN;
  }
  return static_cast<double>(after - before) / 1024.0;
}

// Processor time of all the process's threads so far, in nanoseconds (the
// scheduler's own count, finer than clock ticks); -1 when unreadable.
double process_cpu_ns(pid_t pid) {
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  DIR* dir = opendir(tasks.c_str());
  if (!dir) return -1;
  double total = 0;
  while (const dirent* e = readdir(dir)) {
    if (e->d_name[0] == '.') continue;
    unsigned long long run = 0;
    if (std::sscanf(read_file(tasks + "/" + e->d_name + "/schedstat").c_str(), "%llu", &run) == 1)
      total += static_cast<double>(run);
  }
  closedir(dir);
  return total;
}

// Processor time of the process's first thread, the one that runs GLUT's
// loop and every callback, in nanoseconds; -1 when unreadable.
double main_thread_cpu_ns(pid_t pid) {
  const std::string p = std::to_string(pid);
  unsigned long long run = 0;
  if (std::sscanf(read_file("/proc/" + p + "/task/" + p + "/schedstat").c_str(), "%llu", &run) != 1)
    return -1;
  return static_cast<double>(run);
}

// This process's X server (each session starts one of its own, and one at
// a time): the Xvfb whose parent we are; -1 when none is found.
pid_t x_server_pid() {
  DIR* dir = opendir("/proc");
  if (!dir) return -1;
  pid_t found = -1;
  while (const dirent* e = readdir(dir)) {
    if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
    const std::string stat = read_file(std::string("/proc/") + e->d_name + "/stat");
    // "pid (comm) state ppid ...": the command name may hold blanks.
    const std::size_t open = stat.find('('), close = stat.rfind(')');
    int parent = 0;
    if (open == std::string::npos || close == std::string::npos ||
        stat.compare(open, close - open + 1, "(Xvfb)") != 0 ||
        std::sscanf(stat.c_str() + close + 1, " %*c %d", &parent) != 1 || parent != getpid())
      continue;
    found = static_cast<pid_t>(std::atoi(e->d_name));
    break;
  }
  closedir(dir);
  return found;
}

struct Hand {
  const char* name;
  const char* brush;
  bool follow_edges;
};
const Hand kHands[] = {{"Circles", "Circles", false},
                       {"Circles + Follow Edges", "Circles", true},
                       {"Blocks + Follow Edges", "Blocks", true},
                       {"Lines + Follow Edges", "Lines", true}};
constexpr int kHandHz = 1000;
constexpr int kHandSeconds = 5;

struct HandFigure {
  double lag_ms = NAN;
  double cpu_us_per_motion = NAN;
  double x_server_us_per_motion = NAN;  // the X server's processor time, likewise
  double glut_us_per_motion = NAN;      // the program's GLUT thread's alone
};

// Sends one motion event every 1 / kHandHz s for kHandSeconds over the
// canvas (window pixels given by `at`), each at its own absolute deadline;
// returns when the last one is sent, with the time it was sent.
template <typename At>
Clock::time_point send_paced_motions(Display* display, const e2e::Rect& window, At at) {
  const int screen = DefaultScreen(display);
  const int motions = kHandHz * kHandSeconds;
  timespec deadline;
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  for (int i = 0; i < motions; ++i) {
    deadline.tv_nsec += 1000000000L / kHandHz;
    if (deadline.tv_nsec >= 1000000000L) {
      deadline.tv_nsec -= 1000000000L;
      ++deadline.tv_sec;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) != 0) {
    }
    const e2e::Point p = at(static_cast<double>(i) / motions);
    XTestFakeMotionEvent(display, screen, window.x + p.x, window.y + p.y, CurrentTime);
    XFlush(display);
  }
  return Clock::now();
}

HandFigure hand(const std::string& program, const Hand& row) {
  HandFigure out;
  Session s(program, kCanvasFullHd);
  if (!s.ok) return out;
  Daubwork& d = s.d;
  d.click(row.brush);
  if (row.follow_edges) d.click("Follow Edges:");
  d.click_canvas(10, 10, e2e::Button::Middle);  // leaves the panel's focus
  testing::AssertionResult r = d.wait_until_shown();
  if (!r) {
    std::fprintf(stderr, "session_bench: %s: %s\n", program.c_str(), r.message());
    return out;
  }
  const e2e::Rect g = d.x().geometry(d.window());
  const int w = g.width - d.panel_width(), h = g.height, margin = 20;
  // Twice across the canvas and back, up and down seven times meanwhile.
  const auto at = [&](double t) {
    const double x = 0.5 - 0.5 * std::cos(2 * M_PI * 2 * t);
    const double y = 0.5 - 0.5 * std::cos(2 * M_PI * 7 * t);
    return e2e::Point{margin + static_cast<int>(x * (w - 2 * margin)),
                      margin + static_cast<int>(y * (h - 2 * margin))};
  };
  const pid_t pid = d.app().pid();
  const pid_t server = x_server_pid();
  d.x().move_pointer(d.window(), at(0).x, at(0).y);
  const double cpu_before = process_cpu_ns(pid), glut_before = main_thread_cpu_ns(pid);
  const double server_before = server > 0 ? process_cpu_ns(server) : NAN;
  d.x().press(e2e::Button::Left);
  const Clock::time_point last = send_paced_motions(d.x().display(), g, at);
  // Idle: no 10 ms in the next 300 ms in which the program used more than
  // a tenth of them. The lag runs to the end of the last busy 10 ms. (A
  // program at rest still wakes once a frame for its panel, sometimes for
  // a few hundred microseconds: counted by the millisecond, that read as
  // busy.)
  Clock::time_point busy_until = last, before = last;
  double cpu_then = process_cpu_ns(pid), cpu_idle = cpu_then;
  for (;;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    const Clock::time_point now = Clock::now();
    const double cpu_now = process_cpu_ns(pid);
    const double wall_ns = std::chrono::duration<double, std::nano>(now - before).count();
    if (cpu_now - cpu_then > 0.1 * wall_ns) {
      busy_until = now;
      cpu_idle = cpu_now;
    }
    cpu_then = cpu_now;
    before = now;
    if (now - busy_until > std::chrono::milliseconds(300)) break;
    if (now - last > std::chrono::seconds(120)) return out;
  }
  const double server_after = server > 0 ? process_cpu_ns(server) : NAN;
  const double glut_after = main_thread_cpu_ns(pid);
  d.x().release(e2e::Button::Left);
  out.lag_ms = std::chrono::duration<double, std::milli>(busy_until - last).count();
  out.cpu_us_per_motion = (cpu_idle - cpu_before) / 1000.0 / (kHandHz * kHandSeconds);
  out.x_server_us_per_motion = (server_after - server_before) / 1000.0 / (kHandHz * kHandSeconds);
  out.glut_us_per_motion = (glut_after - glut_before) / 1000.0 / (kHandHz * kHandSeconds);
  return out;
}

// The median of the runs that gave a figure (a run that failed says why on
// standard error); NaN when none did.
double median(std::vector<double> v) {
  v.erase(std::remove_if(v.begin(), v.end(), [](double x) { return std::isnan(x); }), v.end());
  std::sort(v.begin(), v.end());
  return v.empty() ? NAN : v[v.size() / 2];
}

// measure(program) for the baseline and the shipped program in turn,
// `repetitions` times, so that a change in the machine's load falls on
// both alike. Prints every run on standard error; gives the two medians.
template <typename Measure>
void side_by_side(const std::string (&programs)[2], int repetitions, Measure&& measure,
                  double (&out)[2]) {
  std::vector<double> values[2];
  for (int r = 0; r < repetitions; ++r)
    for (int i = 0; i < 2; ++i) values[i].push_back(measure(programs[i]));
  for (int i = 0; i < 2; ++i) {
    std::fprintf(stderr, "%s:", i == 0 ? "baseline" : "shipped");
    for (double v : values[i]) std::fprintf(stderr, " %.2f", v);
    std::fprintf(stderr, "\n");
    out[i] = median(values[i]);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s <baseline program> <program> [repetitions] [figures]\n",
                 argv[0]);
    return 2;
  }
  // The programs run in folders of their own.
  const std::string programs[2] = {std::filesystem::absolute(argv[1]),
                                   std::filesystem::absolute(argv[2])};
  const int repetitions = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
  const std::string figures = argc > 4 ? argv[4] : "idle,drag,memory,hand";
  const auto wanted = [&](const char* figure) {
    return ("," + figures + ",").find(std::string(",") + figure + ",") != std::string::npos;
  };
  std::printf("medians of %d; baseline %s, shipped %s\n", repetitions, programs[0].c_str(),
              programs[1].c_str());
  for (const Hand& row : kHands) {
    if (!wanted("hand")) break;
    if (getenv("HAND_ROW") && std::string(getenv("HAND_ROW")) != row.name) continue;
    std::vector<HandFigure> runs[2];
    for (int r = 0; r < repetitions; ++r)
      for (int i = 0; i < 2; ++i) {
        runs[i].push_back(hand(programs[i], row));
        std::fprintf(stderr,
                     "hand, %s, %s: lag %.0f ms, %.0f us a motion (GLUT thread %.0f us), X server "
                     "%.0f us\n",
                     row.name, i == 0 ? "baseline" : "shipped", runs[i].back().lag_ms,
                     runs[i].back().cpu_us_per_motion, runs[i].back().glut_us_per_motion,
                     runs[i].back().x_server_us_per_motion);
      }
    double lag[2], cpu[2], glut[2], server[2];
    for (int i = 0; i < 2; ++i) {
      std::vector<double> l, c, g, x;
      for (const HandFigure& f : runs[i]) {
        l.push_back(f.lag_ms);
        c.push_back(f.cpu_us_per_motion);
        g.push_back(f.glut_us_per_motion);
        x.push_back(f.x_server_us_per_motion);
      }
      lag[i] = median(l);
      cpu[i] = median(c);
      glut[i] = median(g);
      server[i] = median(x);
    }
    std::printf(
        "hand at 1 kHz, %-22s lag baseline %6.0f ms, shipped %6.0f ms; processor a motion "
        "baseline %5.0f us, shipped %5.0f us (%.2f x); GLUT thread %4.0f / %4.0f us; X server "
        "%4.0f / %4.0f us\n",
        row.name, lag[0], lag[1], cpu[0], cpu[1], cpu[0] / cpu[1], glut[0], glut[1], server[0],
        server[1]);
    std::fflush(stdout);
  }
  for (const Size& size : {kStartup, kFullHd}) {
    if (!wanted("idle")) break;
    double share[2];
    side_by_side(
        programs, repetitions, [&](const std::string& p) { return idle_share(p, size); }, share);
    std::printf("idle, %-28s baseline %6.1f %% of a core, shipped %6.2f %%\n", size.name, share[0],
                share[1]);
  }
  const std::pair<Size, Bursts> drags[] = {
      {kCanvas600, kDefaultBursts}, {kFullHd, kDefaultBursts}, {kCanvas600, kBigBursts}};
  for (const auto& [size, bursts] : drags) {
    if (!wanted("drag")) break;
    double rate[2];
    side_by_side(
        programs, repetitions, [&](const std::string& p) { return drag_rate(p, size, bursts); },
        rate);
    const std::string name = std::string(bursts.name) + size.name;
    std::printf("drag, %-28s baseline %6.0f bursts/s, shipped %6.0f bursts/s (%.2f x)\n",
                name.c_str(), rate[0], rate[1], rate[1] / rate[0]);
  }
  for (const char* brush : {"Circles", "Lines", "OBJ File"}) {
    if (!wanted("memory")) break;
    double growth[2];
    side_by_side(
        programs, repetitions, [&](const std::string& p) { return growth_after_flick(p, brush); },
        growth);
    std::printf("memory after a fast drag, %-9s baseline %+7.1f MB, shipped %+7.1f MB\n", brush,
                growth[0], growth[1]);
  }
  return 0;
}

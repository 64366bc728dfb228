// End-to-end test harness: runs a real program on a private X server and
// drives it with real X input events, as a user would.
//
//   XServer  a private Xvfb (1280x1024x24) on a free display number,
//            started by tools/xvfb.sh as the tools start theirs, with
//            the harness's own connection: finds windows by title, reads
//            and changes their geometry, sends pointer and key events
//            through XTest, and takes screenshots.
//   App      a started program: its standard output and error go to files
//            in its working folder; waits for lines, for exit, kills it
//            when the test ends.
//
// Every wait polls what the program shows (a line, a file, a window, a
// pixel) until a generous timeout: the test machines are small and loaded.
// Waits return testing::AssertionResult, so a failed wait says what it was
// waiting for and what the program printed. Declare the XServer before the
// App, so that the program ends before its server does:
//
//   TempDir dir;
//   ASSERT_TRUE(e2e::seed(dir, {"samples/image1.jpg"}));
//   e2e::XServer x;
//   e2e::App app(DAUB_PROGRAM, dir.path(), x.display_name());
//   e2e::Window win = 0;
//   ASSERT_TRUE(x.wait_for_window("Daubwork Application", &win));
//   ASSERT_TRUE(x.wait_for_size(win, 800, 600));
//   std::vector<e2e::ChildWindow> kids = x.children(win);  // the docked panel
//   std::size_t from = app.line_count();
//   x.click(kids[0].id, 60, 40);            // a button, in the panel's pixels
//   ASSERT_TRUE(app.wait_for_line("Image image1.jpg loaded.", nullptr, from));
//   x.drag(win, {{100, 100}, {300, 200}});  // window pixels, y down
//   x.move_pointer(win, 10, 10);            // keys go to the window under the pointer
//   ASSERT_TRUE(x.key("q"));
//   ASSERT_TRUE(app.wait_for_exit(0));
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/rgb_image.h"

class TempDir;
struct _XDisplay;

namespace e2e {

using Duration = std::chrono::milliseconds;
// Default for every wait: long enough for a program starting on two busy
// cores under a software OpenGL, short enough that a hang ends the test.
inline constexpr Duration kTimeout = std::chrono::seconds(60);

// Polls done() about every 20 ms until it returns true or timeout passes.
// what names the awaited state in the failure message.
testing::AssertionResult wait_until(const std::function<bool()>& done, const std::string& what,
                                    Duration timeout = kTimeout);

// Waits until the file exists (and, when size is given, has that size).
testing::AssertionResult wait_for_file(const std::string& path,
                                       std::optional<std::size_t> size = std::nullopt,
                                       Duration timeout = kTimeout);

// Copies files of the source tree (paths relative to it, e.g.
// "samples/image1.jpg") into dir under their base names.
testing::AssertionResult seed(const TempDir& dir, const std::vector<std::string>& source_files);

using Window = unsigned long;  // an X window id

struct Point {
  int x = 0, y = 0;
};
struct Rect {
  int x = 0, y = 0, width = 0, height = 0;
};
struct ChildWindow {
  Window id = 0;
  Rect rect;  // inside area, relative to the parent's inside, y down
  bool mapped = false;
};

enum class Button { Left = 1, Middle = 2, Right = 3 };  // X button numbers

// A private X server for one test, with one screen of the given size.
// Starting it throws std::runtime_error (with Xvfb's log) when Xvfb cannot
// start; stopped when the object goes.
class XServer {
 public:
  explicit XServer(int screen_width = 1280, int screen_height = 1024);
  ~XServer();
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  const std::string& display_name() const { return display_name_; }  // e.g. ":3"

  // --- Windows ------------------------------------------------------------
  // Waits for a mapped window whose title is exactly title, searching the
  // whole window tree (there is no window manager: top-level windows are
  // the root's children).
  testing::AssertionResult wait_for_window(const std::string& title, Window* window,
                                           Duration timeout = kTimeout);
  std::string title(Window window);
  bool is_mapped(Window window);
  // The window's inside area: position on the screen, size.
  Rect geometry(Window window);
  testing::AssertionResult wait_for_size(Window window, int width, int height,
                                         Duration timeout = kTimeout);
  void resize(Window window, int width, int height);  // as a user dragging its edge
  void move(Window window, int x, int y);
  // Direct children in stacking order, bottom first.
  std::vector<ChildWindow> children(Window window);

  // --- Input (XTest). Each call returns once the server has processed the
  // events; the program sees them when its event loop next runs, so wait
  // for their effect. Window points are pixels from the window's top-left.
  void move_pointer(Window window, int x, int y);
  void press(Button button);  // at the pointer's position
  void release(Button button);
  void click(Window window, int x, int y, Button button = Button::Left);
  // Moves to path[0], presses, moves along the path with steps motion
  // events per segment (the last at the segment's end), releases at the
  // last point.
  void drag(Window window, const std::vector<Point>& path, Button button = Button::Left,
            int steps = 5);
  // Keys go to the window under the pointer (the server's focus follows
  // the pointer). key takes an X key name: "Escape", "Return", "BackSpace",
  // "Tab", "q", "Q" (shift is pressed as needed), after modifiers held
  // with it: "ctrl+v", "shift+Tab". type_text types printable ASCII and
  // "\n" (Return).
  testing::AssertionResult key(const std::string& key_name);
  testing::AssertionResult type_text(const std::string& text);
  void sync();  // waits until the server has handled every request sent

  // --- Screen ---------------------------------------------------------------
  // Pixels as shown on screen (write_ppm keeps one for looking at a failure).
  RgbImage screenshot();                    // the whole screen
  RgbImage screenshot(const Rect& region);  // screen coordinates, clipped
  RgbImage screenshot(Window window);       // the window's inside as shown
  // Waits until the window shows colour at its pixel (x, y), from its
  // top-left corner.
  testing::AssertionResult wait_for_colour(Window window, Point at, Rgb colour,
                                           Duration timeout = kTimeout);

  _XDisplay* display() { return display_; }  // for anything not offered here

 private:
  testing::AssertionResult key_sym(unsigned long keysym, const std::string& name,
                                   bool shift = false, bool ctrl = false);

  std::unique_ptr<TempDir> log_dir_;
  std::string display_name_;
  pid_t pid_ = -1;
  _XDisplay* display_ = nullptr;
};

// A program of the test's own that holds a selection ("CLIPBOARD" or
// "PRIMARY") on its own connection and thread, and answers requests for
// its text (UTF8_STRING, STRING, TARGETS) as told: after a delay, never,
// or as Xt programs do, refusing a request timed before it took the
// selection. Gives the selection up when it goes.
class SelectionOwner {
 public:
  struct Behaviour {
    std::string text;
    Duration delay{0};
    bool answers = true;
    bool refuses_older = false;
  };
  struct Request {
    std::string target;
    Duration at{0};  // since the first request
  };
  SelectionOwner(const std::string& display, const std::string& selection, Behaviour behaviour);
  ~SelectionOwner();
  SelectionOwner(const SelectionOwner&) = delete;
  SelectionOwner& operator=(const SelectionOwner&) = delete;
  std::vector<Request> requests() const;
  // Requests answered with the text.
  int served() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

enum class Stream { Out, Err };

// A line found by a wait: its index in the stream, its text without the
// line feed, and the regex's capture groups (wait_for_match only).
struct Found {
  std::size_t index = 0;
  std::string line;
  std::vector<std::string> groups;
};

// What to start; every field is needed (list env as {} when empty).
struct Launch {
  std::string program;            // path of the executable
  std::vector<std::string> args;  // arguments after the program name
  std::string working_dir;        // it runs here; its output files go here
  std::string display;            // its DISPLAY, e.g. x.display_name()
  std::vector<std::string> env;   // extra "NAME=value" entries
};

// A running program. Standard input is /dev/null; standard output and error
// go to e2e-stdout.txt and e2e-stderr.txt in its working folder. Killed
// (with its process group) when the object goes, if still running.
// Throws std::runtime_error when it cannot be started.
class App {
 public:
  explicit App(const Launch& launch);
  App(const std::string& program, const std::string& working_dir, const std::string& display,
      const std::vector<std::string>& args = {});
  ~App();
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  pid_t pid() const { return pid_; }
  // Its resident memory, in kB (0 when it cannot be read), and the most it
  // has held since it started or since reset_peak.
  long resident_kb() const;
  long peak_kb() const;
  bool reset_peak() const;
  std::string output() const;  // all standard output so far
  std::string errors() const;  // all standard error so far
  // Complete lines (ended by a line feed) so far, without the line feed.
  std::vector<std::string> lines(Stream stream = Stream::Out) const;
  std::size_t line_count(Stream stream = Stream::Out) const { return lines(stream).size(); }

  // Waits for a complete line at index from or later that contains text
  // (wait_for_line) or in which the POSIX extended regular expression
  // finds a match (wait_for_match, up to 9 groups). Fails early when the
  // program has ended without it.
  testing::AssertionResult wait_for_line(const std::string& text, Found* found = nullptr,
                                         std::size_t from = 0, Stream stream = Stream::Out,
                                         Duration timeout = kTimeout);
  testing::AssertionResult wait_for_match(const std::string& regex, Found* found = nullptr,
                                          std::size_t from = 0, Stream stream = Stream::Out,
                                          Duration timeout = kTimeout);

  // Waits for the program to end and checks that it exited with status.
  testing::AssertionResult wait_for_exit(int status, Duration timeout = kTimeout);
  bool running();
  // Once ended: the exit status, or -N when killed by signal N.
  std::optional<int> exit_code();
  void kill();  // ends it now (SIGTERM, then SIGKILL)

  std::string stdout_path() const { return out_path_; }
  std::string stderr_path() const { return err_path_; }

 private:
  testing::AssertionResult wait_for_line_where(
      const std::function<bool(const std::string&, Found*)>& test, const std::string& what,
      Found* found, std::size_t from, Stream stream, Duration timeout);
  std::string tail() const;  // the end of both streams, for failure messages
  bool reap(bool block);

  pid_t pid_ = -1;
  std::optional<int> status_;  // raw wait status once reaped
  std::string out_path_, err_path_;
};

}  // namespace e2e

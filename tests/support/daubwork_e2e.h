// The Daubwork program started as a user starts it, for e2e tests: in its
// own working folder holding the default files, on a private X server,
// with the panel's controls found by label (from the layout the program's
// own panel code gives, printed by the panel probe) and clicked, typed
// into and dragged over with real X input events.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/e2e.h"
#include "tests/support/test_files.h"

class Daubwork {
 public:
  struct Control {
    std::string kind;
    std::string label;   // exactly as shown, trailing blanks included
    e2e::Rect hot;       // the clickable part, in panel pixels
    e2e::Rect up, down;  // a spinner's arrows
  };

  // The program's default files (copied into the working folder).
  static std::vector<std::string> default_files();

  // Starts the program and waits until its window and panel are shown.
  explicit Daubwork(const std::vector<std::string>& files = default_files());

  // How to start it otherwise: through a launcher such as valgrind (the
  // program's path follows the launcher's words), with extra environment
  // entries ("NAME=value"), another build of the program (the same panel),
  // on a screen of another size, under a desktop's X resources.
  struct Start {
    std::vector<std::string> launcher;
    std::vector<std::string> env;
    std::string program = DAUB_PROGRAM;
    e2e::Point screen{1280, 1024};
    // The X resources a desktop sets (RESOURCE_MANAGER, e.g. "Xft.dpi: 192"),
    // and the window's starting size they give.
    std::string x_resources;
    e2e::Point window{800, 600};
    // Run on the server before the program starts (a desktop's leftovers).
    std::function<void(e2e::XServer&)> before;
  };
  Daubwork(const std::vector<std::string>& files, const Start& start);

  e2e::XServer& x() { return x_; }
  e2e::App& app() { return *app_; }
  const TempDir& dir() const { return dir_; }
  e2e::Window window() const { return window_; }
  e2e::Window panel() const { return panel_; }
  int panel_width() const { return panel_width_; }
  // The height of the panel's controls, as the probe measured it.
  int panel_height() const { return panel_height_; }

  const Control& control(const std::string& label) const;
  // Clicks the middle of a control's clickable part.
  void click(const std::string& label);
  // Clicks a spinner's up or down arrow.
  void click_arrow(const std::string& label, bool up);
  // Replaces the text of a field or spinner: clicks into it, deletes what
  // it holds and types `text`. The control stays active until the next
  // click in the canvas.
  testing::AssertionResult set_text(const std::string& label, const std::string& text);
  // Clicks a point of the canvas (window pixels, y down) with a button.
  void click_canvas(int x, int y, e2e::Button button = e2e::Button::Left);
  // Drags over the canvas with the left button, through window points.
  void drag(const std::vector<e2e::Point>& path, int steps = 5);

  // Presses a control and waits for a line it prints (from now on).
  testing::AssertionResult click_and_wait(const std::string& label, const std::string& line,
                                          e2e::Stream stream = e2e::Stream::Out);

  // A screenshot of the canvas, top row first, canvas-sized.
  RgbImage canvas_shot();
  // Waits until the program has handled every event sent to it so far
  // (what it shows proves it), and then until the canvas on screen stops
  // changing (the same at three looks a tenth of a second apart), so that
  // what was painted has been shown: Save Image saves what the screen
  // shows, and GLUT handles every queued event before it shows anything.
  testing::AssertionResult wait_until_handled();
  testing::AssertionResult wait_until_shown();

 private:
  TempDir dir_;
  e2e::XServer x_;
  std::unique_ptr<e2e::App> app_;
  e2e::Window window_ = 0;
  e2e::Window panel_ = 0;
  int panel_width_ = 0;
  int probe_panel_width_ = 0, panel_height_ = 0;
  std::vector<Control> controls_;
};

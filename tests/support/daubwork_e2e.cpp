#include "tests/support/daubwork_e2e.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <stdexcept>

std::vector<std::string> Daubwork::default_files() {
  // Everything in samples/ but its README, as the run command copies it.
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(source_path("samples")))
    if (entry.is_regular_file() && entry.path().filename() != "README.md")
      files.push_back("samples/" + entry.path().filename().string());
  std::sort(files.begin(), files.end());
  return files;
}

namespace {

std::vector<Daubwork::Control> parse_layout(const std::string& out) {
  std::vector<Daubwork::Control> controls;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream in(line);
    std::string word;
    in >> word;
    if (word == "control") {
      Daubwork::Control c;
      size_t index;
      in >> index >> c.kind >> c.hot.x >> c.hot.y >> c.hot.width >> c.hot.height;
      in.get();  // the one blank before the label
      std::getline(in, c.label);
      controls.push_back(c);
    } else if (word == "arrows") {
      size_t index;
      in >> index;
      Daubwork::Control& c = controls.at(index);
      in >> c.up.x >> c.up.y >> c.up.width >> c.up.height >> c.down.x >> c.down.y >> c.down.width >>
          c.down.height;
    }
  }
  return controls;
}

e2e::Point centre(const e2e::Rect& r) { return {r.x + r.width / 2, r.y + r.height / 2}; }

}  // namespace

Daubwork::Daubwork(const std::vector<std::string>& files) : Daubwork(files, Start{}) {}

Daubwork::Daubwork(const std::vector<std::string>& files, const Start& start)
    : x_(start.screen.x, start.screen.y) {
  if (!e2e::seed(dir_, files)) throw std::runtime_error("could not copy the default files");
  if (!start.x_resources.empty()) {
    // As a desktop sets them, before any program starts.
    Display* d = x_.display();
    XChangeProperty(d, DefaultRootWindow(d), XInternAtom(d, "RESOURCE_MANAGER", False), XA_STRING,
                    8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(start.x_resources.data()),
                    static_cast<int>(start.x_resources.size()));
    x_.sync();
  }
  {
    // The panel's layout, from the program's own panel code.
    TempDir probe_dir;
    e2e::App probe(DAUB_PANEL_PROBE, probe_dir.path(), x_.display_name());
    if (!probe.wait_for_exit(0))
      throw std::runtime_error("the panel probe failed: " + probe.errors());
    controls_ = parse_layout(probe.output());
    std::string first;  // "panel <width> <height>"
    std::istringstream(probe.output()) >> first >> probe_panel_width_ >> panel_height_;
    if (controls_.empty()) throw std::runtime_error("the panel probe printed no controls");
  }
  if (start.before) start.before(x_);
  e2e::Launch launch{start.program, {}, dir_.path(), x_.display_name(), start.env};
  if (!start.launcher.empty()) {
    launch.program = start.launcher.front();
    launch.args.assign(start.launcher.begin() + 1, start.launcher.end());
    launch.args.push_back(start.program);
  }
  app_ = std::make_unique<e2e::App>(launch);
  if (!x_.wait_for_window("Daubwork Application", &window_))
    throw std::runtime_error("no main window: " + app_->errors());
  if (!x_.wait_for_size(window_, start.window.x, start.window.y))
    throw std::runtime_error("main window not of its starting size");
  // The panel: the one child window, docked right, once it has its width.
  auto docked = [&] {
    for (const e2e::ChildWindow& c : x_.children(window_))
      if (c.mapped && c.rect.width > 1 && c.rect.x + c.rect.width == start.window.x) {
        panel_ = c.id;
        panel_width_ = c.rect.width;
        return true;
      }
    return false;
  };
  if (!e2e::wait_until(docked, "the panel docked on the right"))
    throw std::runtime_error("the panel never docked");
  // The canvas shows white once the program runs its display loop.
  if (!x_.wait_for_colour(window_, {10, 10}, {255, 255, 255}))
    throw std::runtime_error("the canvas never turned white");
}

const Daubwork::Control& Daubwork::control(const std::string& label) const {
  for (const Control& c : controls_)
    if (c.label == label) return c;
  throw std::runtime_error("no control labelled \"" + label + "\"");
}

void Daubwork::click(const std::string& label) {
  e2e::Point p = centre(control(label).hot);
  x_.click(panel_, p.x, p.y);
}

void Daubwork::click_arrow(const std::string& label, bool up) {
  const Control& c = control(label);
  e2e::Point p = centre(up ? c.up : c.down);
  x_.click(panel_, p.x, p.y);
}

testing::AssertionResult Daubwork::set_text(const std::string& label, const std::string& text) {
  const Control& c = control(label);
  // Click near the box's right end, go to the end of the text, delete
  // everything before it.
  x_.click(panel_, c.hot.x + c.hot.width - 4, c.hot.y + c.hot.height / 2);
  auto r = x_.key("End");
  if (!r) return r;
  for (int i = 0; i < 80; ++i) {
    r = x_.key("BackSpace");
    if (!r) return r;
  }
  return x_.type_text(text);
}

void Daubwork::click_canvas(int x, int y, e2e::Button button) { x_.click(window_, x, y, button); }

void Daubwork::drag(const std::vector<e2e::Point>& path, int steps) {
  x_.drag(window_, path, e2e::Button::Left, steps);
}

testing::AssertionResult Daubwork::click_and_wait(const std::string& label, const std::string& line,
                                                  e2e::Stream stream) {
  const size_t from = app_->line_count(stream);
  click(label);
  return app_->wait_for_line(line, nullptr, from, stream);
}

RgbImage Daubwork::canvas_shot() {
  e2e::Rect g = x_.geometry(window_);
  g.width -= panel_width_;
  return x_.screenshot(g);
}

testing::AssertionResult Daubwork::wait_until_handled() {
  // The Quit button lights up under the pointer and goes back when it
  // leaves; no test puts the pointer there otherwise. The program handles
  // events in order, so once it shows both, it has handled every event
  // sent before them. Quit is compared with two other buttons, of which
  // the pointer may have left one lit a moment ago. The pointer goes back
  // where it was.
  auto fill = [&](const RgbImage& shot, const char* label) {
    const e2e::Rect& r = control(label).hot;
    return shot.at(r.x + 2, r.y + r.height / 2);
  };
  auto quit_lit = [&](bool lit) {
    const RgbImage shot = x_.screenshot(panel_);
    const Rgb quit = fill(shot, "Quit"), a = fill(shot, "Load Image"),
              b = fill(shot, "Clear Image");
    return a == b && (quit != a) == lit;
  };
  // After a resize the program docks the panel again; the pointer is moved
  // in the panel's pixels once it has.
  auto r = e2e::wait_until(
      [&] {
        const e2e::Rect window = x_.geometry(window_);
        for (const e2e::ChildWindow& c : x_.children(window_))
          if (c.id == panel_)
            return c.rect.x + c.rect.width == window.width && c.rect.height == window.height;
        return false;
      },
      "the panel docked on the window's right edge");
  if (!r) return r;
  ::Window root, child;
  int root_x = 0, root_y = 0, x = 0, y = 0;
  unsigned mask = 0;
  XQueryPointer(x_.display(), window_, &root, &child, &root_x, &root_y, &x, &y, &mask);
  const e2e::Rect& quit = control("Quit").hot;
  x_.move_pointer(panel_, quit.x + 2, quit.y + quit.height / 2);
  r = e2e::wait_until([&] { return quit_lit(true); }, "the Quit button lit up by the pointer");
  x_.move_pointer(panel_, panel_width_ - 2, quit.y + quit.height / 2);  // the panel's background
  if (r) r = e2e::wait_until([&] { return quit_lit(false); }, "the Quit button no longer lit");
  x_.move_pointer(window_, x, y);
  return r;
}

testing::AssertionResult Daubwork::wait_until_shown() {
  auto handled = wait_until_handled();
  if (!handled) return handled;
  // Three looks a tenth of a second apart must agree: one quiet tenth can
  // be a program that the busy machine has not scheduled yet.
  RgbImage last = canvas_shot();
  auto start = std::chrono::steady_clock::now();
  int quiet = 0;
  return e2e::wait_until(
      [&] {
        if (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(100)) return false;
        RgbImage now = canvas_shot();
        quiet = now.rgb == last.rgb ? quiet + 1 : 0;
        last = now;
        start = std::chrono::steady_clock::now();
        return quiet == 2;
      },
      "the canvas to settle");
}

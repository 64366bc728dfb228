#include "tests/support/e2e.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <poll.h>
#include <regex.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "tests/support/test_files.h"

extern char** environ;

namespace e2e {
namespace {

using Clock = std::chrono::steady_clock;
constexpr Duration kPoll = std::chrono::milliseconds(20);

double seconds(Duration d) { return std::chrono::duration<double>(d).count(); }

// The harness asks about windows that may vanish at any moment (the
// program ending); Xlib's default handler would end the test process.
int ignore_x_error(Display*, XErrorEvent*) { return 0; }

struct SpawnRequest {
  std::vector<std::string> argv;  // argv[0] is the executable's path
  std::vector<std::string> env;   // "NAME=value"
  std::string cwd;                // empty: keep the current folder
  int in = -1, out = -1, err = -1;
  int keep = -1;  // one more descriptor the child inherits as it is
};

// Starts a process in a process group of its own (so it can be ended with
// whatever it starts). Everything is prepared before fork: the child only
// makes async-signal-safe calls until exec.
pid_t spawn(const SpawnRequest& request, std::string* error) {
  std::vector<char*> argv, envp;
  for (const auto& a : request.argv) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  for (const auto& e : request.env) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  // A pipe that closes on exec: the child writes errno into it when exec
  // fails, so a missing program is reported instead of a silent exit 127.
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) {
    *error = std::string("pipe: ") + std::strerror(errno);
    return -1;
  }
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid < 0) {
    *error = std::string("fork: ") + std::strerror(errno);
    close(report[0]);
    close(report[1]);
    return -1;
  }
  if (pid == 0) {
    setpgid(0, 0);
    // Ends with the test process even when that is killed (a ctest
    // timeout), so no server or program outlives its test.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    int failure = 0;
    if (!request.cwd.empty() && chdir(request.cwd.c_str()) != 0) failure = errno;
    if (!failure && request.in >= 0 && dup2(request.in, 0) < 0) failure = errno;
    if (!failure && request.out >= 0 && dup2(request.out, 1) < 0) failure = errno;
    if (!failure && request.err >= 0 && dup2(request.err, 2) < 0) failure = errno;
    if (!failure && request.keep >= 0 && fcntl(request.keep, F_SETFD, 0) != 0) failure = errno;
    if (!failure) {
      // Descriptors of the test process (other servers' pipes, other
      // programs' output files) stay out of the child.
      for (int fd = 3; fd < 1024; ++fd)
        if (fd != request.keep && fd != report[1]) close(fd);
      execve(argv[0], argv.data(), envp.data());
      failure = errno;
    }
    ssize_t ignored = write(report[1], &failure, sizeof failure);
    (void)ignored;
    _exit(127);
  }
  setpgid(pid, pid);  // also here, so a kill right after the start reaches the group
  close(report[1]);
  int failure = 0;
  ssize_t n;
  do {
    n = read(report[0], &failure, sizeof failure);
  } while (n < 0 && errno == EINTR);
  close(report[0]);
  if (n == static_cast<ssize_t>(sizeof failure)) {
    waitpid(pid, nullptr, 0);
    *error = "cannot start " + request.argv[0] + ": " + std::strerror(failure);
    return -1;
  }
  return pid;
}

std::vector<std::string> environment_with(const std::string& display,
                                          const std::vector<std::string>& extra) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, "DISPLAY=", 8) != 0) env.emplace_back(*e);
  if (!display.empty()) env.push_back("DISPLAY=" + display);
  for (const auto& e : extra) env.push_back(e);
  return env;
}

// Ends a process group started by spawn and reaps its leader: SIGTERM,
// then SIGKILL when it has not gone within grace.
void stop_group(pid_t pid, Duration grace) {
  if (pid <= 0) return;
  ::kill(-pid, SIGTERM);
  const auto end = Clock::now() + grace;
  while (Clock::now() < end) {
    const pid_t r = waitpid(pid, nullptr, WNOHANG);
    if (r == pid || (r < 0 && errno == ECHILD)) return;
    std::this_thread::sleep_for(kPoll);
  }
  ::kill(-pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
    lines.push_back(text.substr(start, nl - start));
  return lines;
}

std::string last_chars(const std::string& s, std::size_t n) {
  return s.size() <= n ? s : "..." + s.substr(s.size() - n);
}

}  // namespace

testing::AssertionResult wait_until(const std::function<bool()>& done, const std::string& what,
                                    Duration timeout) {
  const auto end = Clock::now() + timeout;
  for (;;) {
    if (done()) return testing::AssertionSuccess();
    if (Clock::now() >= end)
      return testing::AssertionFailure()
             << "timed out after " << seconds(timeout) << " s waiting for " << what;
    std::this_thread::sleep_for(kPoll);
  }
}

testing::AssertionResult wait_for_file(const std::string& path, std::optional<std::size_t> size,
                                       Duration timeout) {
  std::error_code ec;
  std::uintmax_t seen = 0;
  auto result = wait_until(
      [&] {
        if (!std::filesystem::is_regular_file(path, ec)) return false;
        seen = std::filesystem::file_size(path, ec);
        return !ec && (!size || seen == *size);
      },
      "file " + path + (size ? " of " + std::to_string(*size) + " bytes" : std::string()), timeout);
  if (!result && file_exists(path)) result << " (it has " << seen << " bytes)";
  return result;
}

testing::AssertionResult seed(const TempDir& dir, const std::vector<std::string>& source_files) {
  for (const auto& rel : source_files) {
    const std::string from = source_path(rel);
    const std::string to = dir.file(std::filesystem::path(rel).filename().string());
    std::error_code ec;
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) return testing::AssertionFailure() << "cannot copy " << from << ": " << ec.message();
  }
  return testing::AssertionSuccess();
}

// --- XServer ----------------------------------------------------------------

XServer::XServer(int screen_width, int screen_height) : log_dir_(std::make_unique<TempDir>()) {
  XSetErrorHandler(ignore_x_error);
  const std::string log_path = log_dir_->file("xvfb.log");
  const int log = open(log_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  const int null_in = open("/dev/null", O_RDONLY | O_CLOEXEC);
  int fds[2];
  if (log < 0 || null_in < 0 || pipe2(fds, O_CLOEXEC) != 0)
    throw std::runtime_error("cannot prepare Xvfb: " + std::string(std::strerror(errno)));

  // The tools' own starter becomes the server (this process owns it): it
  // takes the first free display number and writes it to the descriptor
  // once the server accepts connections, so parallel tests never collide.
  SpawnRequest request;
  request.argv = {source_path("tools/xvfb.sh"), std::to_string(fds[1]),
                  std::to_string(screen_width) + "x" + std::to_string(screen_height)};
  request.env = environment_with("", {});
  request.in = null_in;
  request.out = log;
  request.err = log;
  request.keep = fds[1];
  std::string error;
  pid_ = spawn(request, &error);
  close(fds[1]);
  close(log);
  close(null_in);
  if (pid_ < 0) {
    close(fds[0]);
    throw std::runtime_error(error);
  }

  std::string number;
  const auto end = Clock::now() + kTimeout;
  bool done = false;
  while (!done && Clock::now() < end) {
    pollfd p{fds[0], POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    char buf[32];
    const ssize_t n = read(fds[0], buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // Xvfb ended without a display
    number.append(buf, static_cast<std::size_t>(n));
    done = number.find('\n') != std::string::npos;
  }
  close(fds[0]);
  if (!done) {
    stop_group(pid_, std::chrono::seconds(5));
    pid_ = -1;
    throw std::runtime_error("Xvfb gave no display number; its log:\n" + read_file(log_path));
  }
  display_name_ = ":" + number.substr(0, number.find('\n'));
  display_ = XOpenDisplay(display_name_.c_str());
  if (display_ == nullptr) {
    stop_group(pid_, std::chrono::seconds(5));
    pid_ = -1;
    throw std::runtime_error("cannot connect to Xvfb at " + display_name_);
  }
  int event_base, error_base, major, minor;
  if (!XTestQueryExtension(display_, &event_base, &error_base, &major, &minor)) {
    XCloseDisplay(display_);
    stop_group(pid_, std::chrono::seconds(5));
    pid_ = -1;
    throw std::runtime_error("Xvfb at " + display_name_ + " has no XTEST extension");
  }
}

XServer::~XServer() {
  if (display_) XCloseDisplay(display_);
  stop_group(pid_, std::chrono::seconds(10));
}

std::string XServer::title(Window window) {
  std::string result;
  // _NET_WM_NAME (UTF-8) first, then the classic WM_NAME.
  const Atom net_name = XInternAtom(display_, "_NET_WM_NAME", False);
  const Atom utf8 = XInternAtom(display_, "UTF8_STRING", False);
  Atom type;
  int format;
  unsigned long count, after;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display_, window, net_name, 0, 1024, False, utf8, &type, &format, &count,
                         &after, &data) == Success &&
      data != nullptr && type == utf8) {
    result.assign(reinterpret_cast<char*>(data), count);
  }
  if (data) XFree(data);
  if (!result.empty()) return result;
  char* name = nullptr;
  if (XFetchName(display_, window, &name) && name) {
    result = name;
    XFree(name);
  }
  return result;
}

bool XServer::is_mapped(Window window) {
  XWindowAttributes a;
  return XGetWindowAttributes(display_, window, &a) && a.map_state == IsViewable;
}

Rect XServer::geometry(Window window) {
  XWindowAttributes a;
  if (!XGetWindowAttributes(display_, window, &a)) return Rect{};
  int x = 0, y = 0;
  ::Window child;
  XTranslateCoordinates(display_, window, DefaultRootWindow(display_), 0, 0, &x, &y, &child);
  return Rect{x, y, a.width, a.height};
}

testing::AssertionResult XServer::wait_for_window(const std::string& title_text, Window* window,
                                                  Duration timeout) {
  std::function<Window(::Window)> search = [&](::Window w) -> Window {
    if (w != DefaultRootWindow(display_) && title(w) == title_text && is_mapped(w)) return w;
    ::Window root, parent, *kids = nullptr;
    unsigned int n = 0;
    if (!XQueryTree(display_, w, &root, &parent, &kids, &n)) return 0;
    Window found = 0;
    for (unsigned int i = 0; i < n && !found; ++i) found = search(kids[i]);
    if (kids) XFree(kids);
    return found;
  };
  Window found = 0;
  auto result =
      wait_until([&] { return (found = search(DefaultRootWindow(display_))) != 0; },
                 "a mapped window titled \"" + title_text + "\" on " + display_name_, timeout);
  if (result && window) *window = found;
  return result;
}

testing::AssertionResult XServer::wait_for_size(Window window, int width, int height,
                                                Duration timeout) {
  Rect last;
  auto result = wait_until(
      [&] {
        last = geometry(window);
        return is_mapped(window) && last.width == width && last.height == height;
      },
      "window to be mapped at " + std::to_string(width) + "x" + std::to_string(height), timeout);
  if (!result) result << " (last seen " << last.width << "x" << last.height << ")";
  return result;
}

void XServer::resize(Window window, int width, int height) {
  XResizeWindow(display_, window, static_cast<unsigned>(width), static_cast<unsigned>(height));
  sync();
}

void XServer::move(Window window, int x, int y) {
  XMoveWindow(display_, window, x, y);
  sync();
}

std::vector<ChildWindow> XServer::children(Window window) {
  std::vector<ChildWindow> result;
  ::Window root, parent, *kids = nullptr;
  unsigned int n = 0;
  if (!XQueryTree(display_, window, &root, &parent, &kids, &n)) return result;
  for (unsigned int i = 0; i < n; ++i) {
    XWindowAttributes a;
    if (!XGetWindowAttributes(display_, kids[i], &a)) continue;
    result.push_back(
        ChildWindow{kids[i], Rect{a.x + a.border_width, a.y + a.border_width, a.width, a.height},
                    a.map_state == IsViewable});
  }
  if (kids) XFree(kids);
  return result;
}

void XServer::sync() { XSync(display_, False); }

void XServer::move_pointer(Window window, int x, int y) {
  const Rect g = geometry(window);
  XTestFakeMotionEvent(display_, DefaultScreen(display_), g.x + x, g.y + y, CurrentTime);
  sync();
}

void XServer::press(Button button) {
  XTestFakeButtonEvent(display_, static_cast<unsigned>(button), True, CurrentTime);
  sync();
}

void XServer::release(Button button) {
  XTestFakeButtonEvent(display_, static_cast<unsigned>(button), False, CurrentTime);
  sync();
}

void XServer::click(Window window, int x, int y, Button button) {
  move_pointer(window, x, y);
  press(button);
  release(button);
}

void XServer::drag(Window window, const std::vector<Point>& path, Button button, int steps) {
  if (path.empty()) return;
  if (steps < 1) steps = 1;
  const Rect g = geometry(window);
  const int screen = DefaultScreen(display_);
  move_pointer(window, path[0].x, path[0].y);
  press(button);
  for (std::size_t i = 1; i < path.size(); ++i) {
    const Point a = path[i - 1], b = path[i];
    for (int s = 1; s <= steps; ++s) {
      const int x = a.x + (b.x - a.x) * s / steps;
      const int y = a.y + (b.y - a.y) * s / steps;
      XTestFakeMotionEvent(display_, screen, g.x + x, g.y + y, CurrentTime);
    }
    sync();
  }
  release(button);
}

testing::AssertionResult XServer::key_sym(unsigned long keysym, const std::string& name, bool shift,
                                          bool ctrl) {
  const KeyCode code = XKeysymToKeycode(display_, keysym);
  if (code == 0)
    return testing::AssertionFailure() << "no key for \"" << name << "\" in the keymap";
  // Shift when the symbol sits on the key's shifted level only.
  shift = shift || (XkbKeycodeToKeysym(display_, code, 0, 0) != keysym &&
                    XkbKeycodeToKeysym(display_, code, 0, 1) == keysym);
  const KeyCode shift_code = XKeysymToKeycode(display_, XK_Shift_L);
  const KeyCode ctrl_code = XKeysymToKeycode(display_, XK_Control_L);
  if (ctrl) XTestFakeKeyEvent(display_, ctrl_code, True, CurrentTime);
  if (shift) XTestFakeKeyEvent(display_, shift_code, True, CurrentTime);
  XTestFakeKeyEvent(display_, code, True, CurrentTime);
  XTestFakeKeyEvent(display_, code, False, CurrentTime);
  if (shift) XTestFakeKeyEvent(display_, shift_code, False, CurrentTime);
  if (ctrl) XTestFakeKeyEvent(display_, ctrl_code, False, CurrentTime);
  sync();
  return testing::AssertionSuccess();
}

testing::AssertionResult XServer::key(const std::string& key_name) {
  std::string rest = key_name;
  bool shift = false, ctrl = false;
  for (;;) {
    if (rest.rfind("shift+", 0) == 0) {
      shift = true;
      rest.erase(0, 6);
    } else if (rest.rfind("ctrl+", 0) == 0) {
      ctrl = true;
      rest.erase(0, 5);
    } else {
      break;
    }
  }
  const KeySym sym = XStringToKeysym(rest.c_str());
  if (sym == NoSymbol)
    return testing::AssertionFailure() << "no X key named \"" << key_name << "\"";
  return key_sym(sym, key_name, shift, ctrl);
}

testing::AssertionResult XServer::type_text(const std::string& text) {
  for (const char c : text) {
    KeySym sym;
    if (c == '\n') {
      sym = XK_Return;
    } else if (c >= 0x20 && c < 0x7F) {
      sym = static_cast<KeySym>(c);  // printable ASCII keysyms are the characters' codes
    } else {
      return testing::AssertionFailure() << "cannot type character " << int(c);
    }
    auto r = key_sym(sym, std::string(1, c));
    if (!r) return r;
  }
  return testing::AssertionSuccess();
}

RgbImage XServer::screenshot() {
  return screenshot(Rect{0, 0, DisplayWidth(display_, DefaultScreen(display_)),
                         DisplayHeight(display_, DefaultScreen(display_))});
}

RgbImage XServer::screenshot(Window window) { return screenshot(geometry(window)); }

RgbImage XServer::screenshot(const Rect& region) {
  const int sw = DisplayWidth(display_, DefaultScreen(display_));
  const int sh = DisplayHeight(display_, DefaultScreen(display_));
  const int x0 = std::max(region.x, 0), y0 = std::max(region.y, 0);
  const int x1 = std::min(region.x + region.width, sw), y1 = std::min(region.y + region.height, sh);
  RgbImage shot;
  if (x1 <= x0 || y1 <= y0) return shot;
  XImage* image =
      XGetImage(display_, DefaultRootWindow(display_), x0, y0, static_cast<unsigned>(x1 - x0),
                static_cast<unsigned>(y1 - y0), AllPlanes, ZPixmap);
  if (image == nullptr) return shot;
  // Channel masks of the screen's visual (0xFF0000, 0xFF00, 0xFF at depth 24).
  auto shift_of = [](unsigned long mask) {
    int s = 0;
    while (mask && !(mask & 1)) {
      mask >>= 1;
      ++s;
    }
    return s;
  };
  const int rs = shift_of(image->red_mask), gs = shift_of(image->green_mask),
            bs = shift_of(image->blue_mask);
  shot.width = x1 - x0;
  shot.height = y1 - y0;
  shot.rgb.resize(static_cast<std::size_t>(shot.width) * shot.height * 3);
  for (int y = 0; y < shot.height; ++y)
    for (int x = 0; x < shot.width; ++x) {
      const unsigned long p = XGetPixel(image, x, y);
      unsigned char* q = &shot.rgb[(static_cast<std::size_t>(y) * shot.width + x) * 3];
      q[0] = static_cast<unsigned char>((p & image->red_mask) >> rs);
      q[1] = static_cast<unsigned char>((p & image->green_mask) >> gs);
      q[2] = static_cast<unsigned char>((p & image->blue_mask) >> bs);
    }
  XDestroyImage(image);
  return shot;
}

testing::AssertionResult XServer::wait_for_colour(Window window, Point at, Rgb colour,
                                                  Duration timeout) {
  Rgb seen;
  auto result = wait_until(
      [&] {
        const Rect g = geometry(window);
        seen = screenshot(Rect{g.x + at.x, g.y + at.y, 1, 1}).at(0, 0);
        return seen == colour;
      },
      "colour (" + std::to_string(colour.r) + ", " + std::to_string(colour.g) + ", " +
          std::to_string(colour.b) + ") at window pixel (" + std::to_string(at.x) + ", " +
          std::to_string(at.y) + ")",
      timeout);
  if (!result) result << " (last seen " << seen << ")";
  return result;
}

// --- App --------------------------------------------------------------------

App::App(const Launch& launch) {
  out_path_ = launch.working_dir + "/e2e-stdout.txt";
  err_path_ = launch.working_dir + "/e2e-stderr.txt";
  const int out = open(out_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  const int err = open(err_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  const int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (out < 0 || err < 0 || in < 0)
    throw std::runtime_error("cannot create output files in " + launch.working_dir);
  SpawnRequest request;
  request.argv.push_back(launch.program);
  request.argv.insert(request.argv.end(), launch.args.begin(), launch.args.end());
  request.env = environment_with(launch.display, launch.env);
  request.cwd = launch.working_dir;
  request.in = in;
  request.out = out;
  request.err = err;
  std::string error;
  pid_ = spawn(request, &error);
  close(out);
  close(err);
  close(in);
  if (pid_ < 0) throw std::runtime_error(error);
}

App::App(const std::string& program, const std::string& working_dir, const std::string& display,
         const std::vector<std::string>& args)
    : App(Launch{program, args, working_dir, display, {}}) {}

App::~App() {
  if (!status_) stop_group(pid_, std::chrono::seconds(5));
}

std::string App::output() const { return read_file(out_path_); }
std::string App::errors() const { return read_file(err_path_); }

namespace {
// A figure of /proc/<pid>/status, in kB; 0 when it cannot be read.
long status_kb(pid_t pid, const std::string& field) {
  const std::string status = read_file("/proc/" + std::to_string(pid) + "/status");
  const std::size_t at = status.find(field);
  return at == std::string::npos ? 0 : std::atol(status.c_str() + at + field.size());
}
}  // namespace

long App::resident_kb() const { return status_kb(pid_, "VmRSS:"); }
long App::peak_kb() const { return status_kb(pid_, "VmHWM:"); }
bool App::reset_peak() const {
  return write_file("/proc/" + std::to_string(pid_) + "/clear_refs", "5");
}

std::vector<std::string> App::lines(Stream stream) const {
  return split_lines(stream == Stream::Out ? output() : errors());
}

std::string App::tail() const {
  return "\n--- standard output (end) ---\n" + last_chars(output(), 3000) +
         "\n--- standard error (end) ---\n" + last_chars(errors(), 3000);
}

bool App::reap(bool block) {
  if (status_) return true;
  int status = 0;
  pid_t r;
  do {
    r = waitpid(pid_, &status, block ? 0 : WNOHANG);
  } while (r < 0 && errno == EINTR);
  if (r == pid_) {
    status_ = status;
    return true;
  }
  return false;
}

bool App::running() { return !reap(false); }

std::optional<int> App::exit_code() {
  if (!reap(false)) return std::nullopt;
  if (WIFEXITED(*status_)) return WEXITSTATUS(*status_);
  if (WIFSIGNALED(*status_)) return -WTERMSIG(*status_);
  return std::nullopt;
}

void App::kill() {
  if (status_) return;
  ::kill(-pid_, SIGTERM);
  const auto end = Clock::now() + std::chrono::seconds(5);
  while (!reap(false) && Clock::now() < end) std::this_thread::sleep_for(kPoll);
  if (!status_) {
    ::kill(-pid_, SIGKILL);
    reap(true);
  }
}

testing::AssertionResult App::wait_for_line_where(
    const std::function<bool(const std::string&, Found*)>& test, const std::string& what,
    Found* found, std::size_t from, Stream stream, Duration timeout) {
  Found hit;
  bool ended = false;
  auto look = [&] {
    // Check whether it had ended before reading, so that a line printed
    // just before the exit is still seen.
    ended = !running();
    const std::vector<std::string> all = lines(stream);
    for (std::size_t i = from; i < all.size(); ++i) {
      hit = Found{i, all[i], {}};
      if (test(all[i], &hit)) return true;
    }
    return false;
  };
  auto result = wait_until([&] { return look() || ended; }, what, timeout);
  if (result && !ended) {
    if (found) *found = hit;
    return result;
  }
  if (ended && look()) {  // it printed the line and then ended
    if (found) *found = hit;
    return testing::AssertionSuccess();
  }
  if (ended) {
    const std::optional<int> code = exit_code();
    return testing::AssertionFailure() << "program ended (status " << (code ? *code : 999)
                                       << ") while waiting for " << what << tail();
  }
  return result << tail();
}

testing::AssertionResult App::wait_for_line(const std::string& text, Found* found, std::size_t from,
                                            Stream stream, Duration timeout) {
  return wait_for_line_where(
      [&](const std::string& line, Found*) { return line.find(text) != std::string::npos; },
      std::string(stream == Stream::Out ? "an output" : "an error") + " line containing \"" + text +
          "\" from line " + std::to_string(from),
      found, from, stream, timeout);
}

testing::AssertionResult App::wait_for_match(const std::string& regex, Found* found,
                                             std::size_t from, Stream stream, Duration timeout) {
  regex_t re;
  if (regcomp(&re, regex.c_str(), REG_EXTENDED) != 0)
    return testing::AssertionFailure() << "bad regular expression /" << regex << "/";
  auto result = wait_for_line_where(
      [&](const std::string& line, Found* hit) {
        regmatch_t m[10];
        if (regexec(&re, line.c_str(), 10, m, 0) != 0) return false;
        hit->groups.clear();
        for (std::size_t i = 1; i <= re.re_nsub && i < 10; ++i)
          hit->groups.push_back(
              m[i].rm_so < 0 ? std::string()
                             : line.substr(static_cast<std::size_t>(m[i].rm_so),
                                           static_cast<std::size_t>(m[i].rm_eo - m[i].rm_so)));
        return true;
      },
      std::string(stream == Stream::Out ? "an output" : "an error") + " line matching /" + regex +
          "/ from line " + std::to_string(from),
      found, from, stream, timeout);
  regfree(&re);
  return result;
}

testing::AssertionResult App::wait_for_exit(int status, Duration timeout) {
  auto result = wait_until([&] { return !running(); }, "the program to exit", timeout);
  if (!result) return result << tail();
  const std::optional<int> code = exit_code();
  if (!code || *code != status) {
    auto failure = testing::AssertionFailure() << "program ended with ";
    if (code && *code < 0)
      failure << "signal " << -*code;
    else
      failure << "status " << (code ? *code : 999);
    return failure << ", expected status " << status << tail();
  }
  return testing::AssertionSuccess();
}

}  // namespace e2e

// --- SelectionOwner -----------------------------------------------------------

namespace e2e {

struct SelectionOwner::State {
  Display* display = nullptr;
  ::Window window = 0;
  Atom selection = 0;
  Behaviour behaviour;
  Time since = CurrentTime;  // when it took the selection, by the server's clock
  std::atomic<bool> stop{false};
  mutable std::mutex mutex;
  std::vector<Request> requests;
  int served = 0;
  std::optional<Clock::time_point> first;
  std::thread thread;

  struct Due {
    XSelectionRequestEvent request;
    Clock::time_point at;
  };
  std::vector<Due> due;

  void answer(const XSelectionRequestEvent& r) {
    XSelectionEvent reply{};
    reply.type = SelectionNotify;
    reply.requestor = r.requestor;
    reply.selection = r.selection;
    reply.target = r.target;
    reply.time = r.time;
    reply.property = None;
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    const Atom targets = XInternAtom(display, "TARGETS", False);
    const Atom property = r.property != None ? r.property : r.target;
    const bool refused = behaviour.refuses_older && r.time != CurrentTime && r.time < since;
    if (!refused && r.target == targets) {
      Atom offered[] = {targets, utf8, XA_STRING};
      XChangeProperty(display, r.requestor, property, XA_ATOM, 32, PropModeReplace,
                      reinterpret_cast<unsigned char*>(offered), 3);
      reply.property = property;
    } else if (!refused && (r.target == utf8 || r.target == XA_STRING)) {
      XChangeProperty(display, r.requestor, property, r.target, 8, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(behaviour.text.data()),
                      static_cast<int>(behaviour.text.size()));
      reply.property = property;
      std::lock_guard<std::mutex> lock(mutex);
      ++served;
    }
    XSendEvent(display, r.requestor, False, NoEventMask, reinterpret_cast<XEvent*>(&reply));
    XFlush(display);
  }

  void run() {
    while (!stop) {
      while (XPending(display) > 0) {
        XEvent e;
        XNextEvent(display, &e);
        if (e.type != SelectionRequest) continue;
        const Clock::time_point now = Clock::now();
        char* name = XGetAtomName(display, e.xselectionrequest.target);
        {
          std::lock_guard<std::mutex> lock(mutex);
          if (!first) first = now;
          requests.push_back(
              {name ? name : "", std::chrono::duration_cast<Duration>(now - *first)});
        }
        if (name) XFree(name);
        if (behaviour.answers) due.push_back({e.xselectionrequest, now + behaviour.delay});
      }
      const Clock::time_point now = Clock::now();
      for (auto it = due.begin(); it != due.end();) {
        if (it->at <= now) {
          answer(it->request);
          it = due.erase(it);
        } else {
          ++it;
        }
      }
      pollfd p{ConnectionNumber(display), POLLIN, 0};
      poll(&p, 1, 5);
    }
  }
};

SelectionOwner::SelectionOwner(const std::string& display, const std::string& selection,
                               Behaviour behaviour)
    : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.behaviour = std::move(behaviour);
  s.display = XOpenDisplay(display.c_str());
  if (!s.display) throw std::runtime_error("the selection owner cannot connect to " + display);
  s.window = XCreateSimpleWindow(s.display, DefaultRootWindow(s.display), 0, 0, 1, 1, 0, 0, 0);
  XSelectInput(s.display, s.window, PropertyChangeMask);
  // The server's time now, from a property change: the time it takes the
  // selection at, as a program that checks times does.
  const Atom stamp = XInternAtom(s.display, "E2E_STAMP", False);
  XChangeProperty(s.display, s.window, stamp, XA_STRING, 8, PropModeAppend, nullptr, 0);
  XEvent e;
  XWindowEvent(s.display, s.window, PropertyChangeMask, &e);
  s.since = e.xproperty.time;
  s.selection = XInternAtom(s.display, selection.c_str(), False);
  XSetSelectionOwner(s.display, s.selection, s.window, s.since);
  XSync(s.display, False);
  s.thread = std::thread([&s] { s.run(); });
}

SelectionOwner::~SelectionOwner() {
  state_->stop = true;
  state_->thread.join();
  XCloseDisplay(state_->display);
}

std::vector<SelectionOwner::Request> SelectionOwner::requests() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->requests;
}

int SelectionOwner::served() const {
  std::lock_guard<std::mutex> lock(state_->mutex);
  return state_->served;
}

}  // namespace e2e

// See glui_x11.h.
#include "glui/glui_x11.h"

#include <GL/freeglut.h>
#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <langinfo.h>
#include <poll.h>

#include <chrono>
#include <clocale>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <utility>

#include "glui/glui_clipboard.h"

namespace glui_x11 {
namespace {

using Clock = std::chrono::steady_clock;

// The toolkit's connection, once open: errors on it are the toolkit's.
Display* toolkit_display = nullptr;
int (*previous_error_handler)(Display*, XErrorEvent*) = nullptr;

int on_x_error(Display* display, XErrorEvent* error) {
  // A request of the toolkit's own: it failed, and that is all.
  if (display == toolkit_display) return 0;
  if (error->error_code == BadWindow && error->request_code == X_GetProperty) return 0;
  return previous_error_handler ? previous_error_handler(display, error) : 0;
}

// A connection of its own, closed at once: the picture decoder is forked
// after this, and must not hold the toolkit's connection open.
void forget_gone_window_manager() {
  Display* d = XOpenDisplay(nullptr);
  if (!d) return;
  const Atom check = XInternAtom(d, "_NET_SUPPORTING_WM_CHECK", False);
  const Window root = DefaultRootWindow(d);
  // Grabbed, so that no window manager starting meanwhile sets it anew.
  XGrabServer(d);
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(d, root, check, 0, 1, False, XA_WINDOW, &type, &format, &count, &after,
                         &data) == Success &&
      data && type == XA_WINDOW && format == 32 && count == 1) {
    const Window named = *reinterpret_cast<Window*>(data);
    unsigned char* own = nullptr;
    // Fails with BadWindow (dropped above) when the window is gone.
    if (XGetWindowProperty(d, named, check, 0, 1, False, XA_WINDOW, &type, &format, &count, &after,
                           &own) != Success)
      XDeleteProperty(d, root, check);
    if (own) XFree(own);
  }
  if (data) XFree(data);
  XUngrabServer(d);
  XCloseDisplay(d);
}

// The keys GLUT reports to a special function when they produce no
// character (freeglut's list).
bool glut_special(KeySym k) {
  if (k >= XK_F1 && k <= XK_F12) return true;
  switch (k) {
    case XK_Left:
    case XK_KP_Left:
    case XK_Right:
    case XK_KP_Right:
    case XK_Up:
    case XK_KP_Up:
    case XK_Down:
    case XK_KP_Down:
    case XK_Prior:
    case XK_KP_Prior:
    case XK_Next:
    case XK_KP_Next:
    case XK_Home:
    case XK_KP_Home:
    case XK_End:
    case XK_KP_End:
    case XK_Insert:
    case XK_KP_Insert:
    case XK_Num_Lock:
    case XK_KP_Begin:
    case XK_KP_Delete:
    case XK_Shift_L:
    case XK_Shift_R:
    case XK_Control_L:
    case XK_Control_R:
    case XK_Alt_L:
    case XK_Alt_R:
    case XK_Meta_L:
    case XK_Super_L:
    case XK_Meta_R:
    case XK_Super_R: return true;
    default: return false;
  }
}

// Keys are read in a UTF-8 locale: the user's own when it is one (its
// compositions are the ones the user knows), C.UTF-8 otherwise. In any
// other locale the X library turns a key beyond the locale's character set
// into nothing, and GLUT then drops the key at once: it would reach the
// toolkit only at the next idle time, by when a program that types by
// changing the keyboard map for a moment (xdotool) may have changed it
// back, and the key reads as nothing here too.
bool utf8_locale() {
  return std::setlocale(LC_CTYPE, nullptr) && std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0 &&
         XSupportsLocale();
}

void choose_locale() {
  if (std::setlocale(LC_CTYPE, "") && utf8_locale()) return;
  if (std::setlocale(LC_CTYPE, "C.UTF-8") && utf8_locale()) return;
  std::setlocale(LC_CTYPE, "C");
}

// A key press as the connection received it.
struct Entry {
  XKeyEvent key;
  bool composing = false;  // the input method took it into a composition:
                           // it types nothing itself
  Press press;             // the input method's account: text, Shift+Tab
};

// What GLUT makes of a key press: a control key, a character (its text),
// or nothing.
struct GlutView {
  enum Kind { control, character, dropped };
  Kind kind = dropped;
  std::string text;  // a character's, in the locale's encoding (UTF-8)
  bool back_tab = false;
};

class Connection {
 public:
  // Null when there is no X server to talk to.
  static Connection* get();

  void watch(int glut_window, Window window);
  // Reads everything the server has sent so far; with sync, everything it
  // sent before this call.
  void read(bool sync);
  std::deque<Entry>& presses() { return presses_; }
  bool utf8() const { return utf8_locale_; }
  // GLUT's reading of a press, made as GLUT makes it: through GLUT's own
  // connection, whose copy of the keyboard map GLUT has just brought up
  // to date for the press it reports. (A program that types by changing
  // the map for a moment, as xdotool does, changes it again right after;
  // the later a reading, the likelier it finds another key there.)
  GlutView glut_view(const Entry& entry) const;

  Clipboard& clipboard() { return *clipboard_; }

 private:
  explicit Connection(Display* display);
  void handle(XEvent& event);
  void record_press(XEvent& event);
  // Reads and handles one event, waiting for it until the deadline.
  void pump(Clock::time_point deadline);

  Display* display_;
  Window owner_;  // unmapped: holds selections, receives pastes
  XIM im_ = nullptr;
  std::map<Window, XIC> ics_;        // one input context per watched window
  std::map<Window, int> glut_ids_;   // watched windows, by X window
  Display* glut_display_ = nullptr;  // GLUT's own connection
  std::deque<Entry> presses_;
  bool utf8_locale_ = false;  // GLUT's bytes are then UTF-8
  std::unique_ptr<Clipboard> clipboard_;
};

Connection* Connection::get() {
  static bool tried = false;
  static Connection* connection = nullptr;
  if (!tried) {
    tried = true;
    choose_locale();
    if (Display* d = XOpenDisplay(nullptr)) {
      toolkit_display = d;
      connection = new Connection(d);  // lives as long as the program
      connection->utf8_locale_ = utf8_locale();
    }
  }
  return connection;
}

Connection::Connection(Display* display) : display_(display) {
  XSetWindowAttributes attributes{};
  // Property changes: answers that come in pieces, and the server's time.
  attributes.event_mask = PropertyChangeMask;
  owner_ = XCreateWindow(display_, DefaultRootWindow(display_), -10, -10, 1, 1, 0, 0, InputOnly,
                         CopyFromParent, CWEventMask, &attributes);
  clipboard_ = std::make_unique<Clipboard>(display_, owner_,
                                           [this](Clock::time_point deadline) { pump(deadline); });
  // The user's input method if one is set up, else the X library's own,
  // which knows the dead keys and compositions of the locale.
  XSetLocaleModifiers("");
  im_ = XOpenIM(display_, nullptr, nullptr, nullptr);
  if (!im_) {
    XSetLocaleModifiers("@im=none");
    im_ = XOpenIM(display_, nullptr, nullptr, nullptr);
  }
  XFlush(display_);
}

void Connection::watch(int glut_window, Window window) {
  if (window == 0 || glut_ids_.count(window)) return;
  glut_display_ = glXGetCurrentDisplay();
  glut_ids_[window] = glut_window;
  long mask = KeyPressMask | KeyReleaseMask;
  if (im_) {
    XIC ic = XCreateIC(im_, XNInputStyle, XIMPreeditNothing | XIMStatusNothing, XNClientWindow,
                       window, XNFocusWindow, window, nullptr);
    if (ic) {
      long filter = 0;
      XGetICValues(ic, XNFilterEvents, &filter, nullptr);
      mask |= filter;
      XSetICFocus(ic);
      ics_[window] = ic;
    }
  }
  XSelectInput(display_, window, mask);
  XFlush(display_);
}

void Connection::read(bool sync) {
  if (sync) XSync(display_, False);
  while (XPending(display_) > 0) {
    XEvent event;
    XNextEvent(display_, &event);
    handle(event);
  }
}

void Connection::handle(XEvent& event) {
  if (event.type == KeyPress) {
    record_press(event);
    return;
  }
  if (XFilterEvent(&event, None)) return;
  // Each kind of event to the part of the toolkit it is for. A window of
  // the toolkit's own that takes messages from other programs (drops)
  // adds its case here.
  if (clipboard_->handle(event)) return;
  switch (event.type) {
    case MappingNotify: XRefreshKeyboardMapping(&event.xmapping); break;
    default: break;
  }
}

void Connection::record_press(XEvent& event) {
  auto glut = glut_ids_.find(event.xkey.window);
  if (glut == glut_ids_.end()) {
    XFilterEvent(&event, None);
    return;
  }
  Entry entry;
  entry.key = event.xkey;
  entry.press.glut_window = glut->second;
  if (XFilterEvent(&event, None)) {
    entry.composing = true;
  } else if (auto ic = ics_.find(event.xkey.window); ic != ics_.end()) {
    KeySym sym = NoSymbol;
    Status status = XLookupNone;
    char buffer[64];
    std::string& text = entry.press.text;
    int n = Xutf8LookupString(ic->second, &event.xkey, buffer, sizeof buffer, &sym, &status);
    if (status == XBufferOverflow) {
      text.resize(static_cast<size_t>(n));
      n = Xutf8LookupString(ic->second, &event.xkey, text.data(), n, &sym, &status);
      text.resize(static_cast<size_t>(n > 0 ? n : 0));
    } else if (status == XLookupChars || status == XLookupBoth) {
      text.assign(buffer, static_cast<size_t>(n));
    }
    entry.press.back_tab =
        (status == XLookupKeySym || status == XLookupBoth) && sym == XK_ISO_Left_Tab;
  }
  presses_.push_back(std::move(entry));
}

GlutView Connection::glut_view(const Entry& entry) const {
  GlutView view;
  // A press the input method makes up has key code 0: GLUT never sees it.
  if (entry.key.keycode == 0) return view;
  XKeyEvent key = entry.key;
  if (glut_display_) key.display = glut_display_;
  char bytes[64];
  KeySym keysym = NoSymbol;
  const int length = XLookupString(&key, bytes, sizeof bytes - 1, &keysym, nullptr);
  const unsigned char first = static_cast<unsigned char>(bytes[0]);
  if (length > 0) {
    view.kind = first < 0x20 || first == 0x7F ? GlutView::control : GlutView::character;
    if (view.kind == GlutView::character) view.text.assign(bytes, static_cast<size_t>(length));
  } else {
    view.kind = glut_special(keysym) ? GlutView::control : GlutView::dropped;
    view.back_tab = keysym == XK_ISO_Left_Tab;
  }
  return view;
}

void Connection::pump(Clock::time_point deadline) {
  for (;;) {
    if (XPending(display_) > 0) {
      XEvent event;
      XNextEvent(display_, &event);
      handle(event);
      return;
    }
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return;
    pollfd fd{ConnectionNumber(display_), POLLIN, 0};
    if (poll(&fd, 1, static_cast<int>(left.count())) <= 0) return;
  }
}

// Without an X server: the selections stay inside the program.
std::string local_selection[2];

// Hands over a press that GLUT did not report, or whose report has had its
// turn already: the input method's account of it, else GLUT's reading.
void hand_over(const Entry& entry, const GlutView& view, const PressHandler& dropped) {
  if (entry.composing) return;
  Press press = entry.press;
  if (press.text.empty() && view.kind == GlutView::character) press.text = view.text;
  press.back_tab = press.back_tab || view.back_tab;
  // Control characters are the control keys' business.
  if (!press.text.empty() && static_cast<unsigned char>(press.text[0]) < 0x20) press.text.clear();
  if (!press.text.empty() || press.back_tab) dropped(press);
}

}  // namespace

void install_error_handler() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  previous_error_handler = XSetErrorHandler(on_x_error);
  forget_gone_window_manager();
}

void watch_current_window() {
  Connection* c = Connection::get();
  if (!c) return;
  // GLUT draws into the window itself, so the window's drawable is it.
  c->watch(glutGetWindow(), glXGetCurrentDrawable());
}

namespace {

// What becomes of the press at the head of the queue.
enum class Turn {
  wait,      // stays, with all after it: GLUT reports it later
  take,      // it is the key GLUT reports now
  hand_over  // its turn has come (or passed): to the handler, then the next
};

// Goes through the queue from its head as `turn` says of each press; the
// press taken, if one was.
std::optional<std::pair<Entry, GlutView>> take_presses(
    Connection* c, const PressHandler& dropped, const std::function<Turn(const GlutView&)>& turn) {
  std::deque<Entry>& q = c->presses();
  while (!q.empty()) {
    GlutView view = c->glut_view(q.front());
    const Turn t = turn(view);
    if (t == Turn::wait) break;
    Entry entry = std::move(q.front());
    q.pop_front();
    if (t == Turn::take) return std::make_pair(std::move(entry), std::move(view));
    hand_over(entry, view, dropped);  // may run a frame, and take more presses
  }
  return std::nullopt;
}

}  // namespace

std::string character_key_text(unsigned char c, const PressHandler& dropped) {
  Connection* connection = Connection::get();
  if (connection) {
    // GLUT holds this key's event, so the server has sent it here too: a
    // round trip brings it in with everything before it.
    connection->read(true);
    // Presses before this key's own go first, up to a control key (GLUT
    // reports that one later): dropped ones, and character keys that GLUT
    // read as nothing after all.
    auto own = take_presses(connection, dropped, [c](const GlutView& view) {
      if (view.kind == GlutView::control) return Turn::wait;
      if (view.kind == GlutView::character && static_cast<unsigned char>(view.text[0]) == c)
        return Turn::take;
      return Turn::hand_over;
    });
    if (own) return own->first.composing ? std::string() : own->second.text;
  }
  // No account of this key: GLUT's byte, unless it is only the first byte
  // of a longer UTF-8 sequence.
  if (c < 0x80) return std::string(1, static_cast<char>(c));
  if (connection && connection->utf8()) return std::string();
  return std::string{static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
}

void take_control_key(const PressHandler& dropped) {
  Connection* c = Connection::get();
  if (!c) return;
  c->read(true);
  take_presses(c, dropped, [](const GlutView& view) {
    return view.kind == GlutView::control ? Turn::take : Turn::hand_over;
  });
}

void take_dropped_presses(const PressHandler& dropped) {
  Connection* c = Connection::get();
  if (!c) return;
  c->read(false);
  // A character or control key waits for GLUT's report of it, and all
  // after it too.
  take_presses(c, dropped, [](const GlutView& view) {
    return view.kind == GlutView::dropped ? Turn::hand_over : Turn::wait;
  });
}

void set_selection_text(Selection which, const char* utf8) {
  if (Connection* c = Connection::get())
    c->clipboard().offer(which, utf8 ? utf8 : "");
  else
    local_selection[static_cast<int>(which)] = utf8 ? utf8 : "";
}

std::string selection_text(Selection which, size_t max_bytes) {
  if (Connection* c = Connection::get()) return c->clipboard().paste(which, max_bytes);
  return local_selection[static_cast<int>(which)].substr(0, max_bytes + 1);
}

std::chrono::steady_clock::duration paste_waits() {
  Connection* c = Connection::get();
  return c ? c->clipboard().waited() : std::chrono::steady_clock::duration{};
}

}  // namespace glui_x11

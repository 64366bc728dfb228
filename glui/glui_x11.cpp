// See glui_x11.h.
#include "glui/glui_x11.h"

#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xproto.h>
#include <langinfo.h>
#include <poll.h>

#include <clocale>
#include <cstring>

namespace glui_x11 {
namespace {

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

// Set when the input method went away or the user's arrived: the input
// contexts are made anew outside the X library's callbacks.
bool reopen_input_method = false;

}  // namespace

void install_error_handler() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  previous_error_handler = XSetErrorHandler(on_x_error);
  forget_gone_window_manager();
}

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
  open_input_method();
  // The user's input method, when it starts (or starts again) later.
  XSetLocaleModifiers("");
  XRegisterIMInstantiateCallback(display_, nullptr, nullptr, nullptr, input_method_arrived,
                                 reinterpret_cast<XPointer>(this));
  XFlush(display_);
}

// The user's input method if one is running, else the X library's own,
// which knows the dead keys and compositions of the locale.
void Connection::open_input_method() {
  XSetLocaleModifiers("");
  im_ = XOpenIM(display_, nullptr, nullptr, nullptr);
  if (!im_) {
    XSetLocaleModifiers("@im=none");
    im_ = XOpenIM(display_, nullptr, nullptr, nullptr);
  }
  if (!im_) return;
  XIMCallback destroyed{reinterpret_cast<XPointer>(this), input_method_destroyed};
  XSetIMValues(im_, XNDestroyCallback, &destroyed, nullptr);
  std::map<Window, int> watched;
  watched.swap(glut_ids_);
  for (const auto& [window, glut] : watched) watch(glut, window);
}

void Connection::input_method_arrived(Display*, XPointer, XPointer) { reopen_input_method = true; }

// The input method's server went away: its input contexts went with it.
void Connection::input_method_destroyed(XIM, XPointer self, XPointer) {
  auto* c = reinterpret_cast<Connection*>(self);
  c->im_ = nullptr;
  c->ics_.clear();
  reopen_input_method = true;
}

void Connection::input_method_gone() {
  for (const auto& [window, ic] : ics_) XDestroyIC(ic);
  ics_.clear();
  if (im_) XCloseIM(im_);
  im_ = nullptr;
}

void Connection::watch(int glut_window, Window window) {
  if (window == 0 || glut_ids_.count(window)) return;
  if (!glut_display_) glut_display_ = glXGetCurrentDisplay();
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

int Connection::glut_window(Window window) const {
  auto it = glut_ids_.find(window);
  return it == glut_ids_.end() ? 0 : it->second;
}

XIC Connection::input_context(Window window) const {
  auto it = ics_.find(window);
  return it == ics_.end() ? nullptr : it->second;
}

void Connection::read(bool sync) {
  if (sync) XSync(display_, False);
  while (XPending(display_) > 0) {
    XEvent event;
    XNextEvent(display_, &event);
    handle(event);
  }
  if (reopen_input_method) {
    reopen_input_method = false;
    input_method_gone();
    open_input_method();
  }
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

void Connection::handle(XEvent& event) {
  if (event.type == KeyPress && key_handler_ && key_handler_(event)) return;
  if (XFilterEvent(&event, None)) return;
  // Each kind of event to the part of the toolkit it is for.
  for (const Handler& h : handlers_)
    if (h(event)) return;
  if (event.type == MappingNotify) XRefreshKeyboardMapping(&event.xmapping);
}

}  // namespace glui_x11

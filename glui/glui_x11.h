// The toolkit's own connection to the X server, beside GLUT's, for what
// GLUT does not pass on: the text a key produces (glui_keys.h) and the
// selections shared with other programs (glui_clipboard.h). It holds the
// display, the character type locale, the input method, the process's X
// error handler and the event pump, which hands each event to the part of
// the toolkit that handles it.
//
// For the toolkit's parts only: this header brings in Xlib, whose macros
// (None, Bool, Status) the other parts keep out of their headers.
#pragma once

#include <X11/Xlib.h>

#include <chrono>
#include <functional>
#include <map>
#include <vector>

namespace glui_x11 {

// Before glutInit: takes the process's X error handler (Xlib has one for
// all connections). Errors on the toolkit's own connection come from other
// programs' windows (a requestor that went away) and only fail the request
// that caused them. Errors on GLUT's connection go to the handler this one
// replaces, except a BadWindow on reading a property of a window that is
// gone. Also removes the root window's _NET_SUPPORTING_WM_CHECK when the
// window it names is gone (left by a window manager that was killed):
// glutInit reads that window's property and ends the program when the
// read fails, whatever the error handler says.
void install_error_handler();

class Connection {
 public:
  using Clock = std::chrono::steady_clock;
  // Takes an event (after the input method has seen it): true when it was
  // the handler's. Drops, a window of the toolkit's own taking messages
  // from other programs, add a handler of their own.
  using Handler = std::function<bool(XEvent&)>;

  // Null when there is no X server to talk to. Opened on first use; makes
  // the process's character type locale a UTF-8 one (the user's own when
  // it is).
  static Connection* get();

  Display* display() const { return display_; }
  // The toolkit's unmapped window: holds selections, receives pastes; it
  // reports its property changes.
  Window owner() const { return owner_; }
  // GLUT's own connection, once a window is watched.
  Display* glut_display() const { return glut_display_; }
  // Whether GLUT's bytes are UTF-8 (the locale's encoding).
  bool utf8() const { return utf8_locale_; }

  // Selects the key events of a GLUT window, with an input context for it
  // while there is an input method.
  void watch(int glut_window, Window window);
  // The GLUT window id of a watched window, 0 for another.
  int glut_window(Window window) const;
  // The input context of a watched window; null while there is no input
  // method.
  XIC input_context(Window window) const;

  // Key presses on watched windows go to this handler, before the input
  // method filters them; every other event to the handlers added.
  void set_key_handler(Handler handler) { key_handler_ = std::move(handler); }
  void add_handler(Handler handler) { handlers_.push_back(std::move(handler)); }

  // Reads and hands on everything the server has sent so far; with sync,
  // everything it sent before this call.
  void read(bool sync);
  // Reads and hands on one event, waiting for it until the deadline.
  void pump(Clock::time_point deadline);

 private:
  explicit Connection(Display* display);
  void handle(XEvent& event);
  void open_input_method();
  void input_method_gone();
  static void input_method_arrived(Display* display, XPointer self, XPointer);
  static void input_method_destroyed(XIM im, XPointer self, XPointer);

  Display* display_;
  Window owner_;
  XIM im_ = nullptr;
  std::map<Window, XIC> ics_;        // one input context per watched window
  std::map<Window, int> glut_ids_;   // watched windows, by X window
  Display* glut_display_ = nullptr;  // GLUT's own connection
  bool utf8_locale_ = false;
  Handler key_handler_;
  std::vector<Handler> handlers_;
};

}  // namespace glui_x11

// The toolkit's own connection to the X server, beside GLUT's, for what
// GLUT does not pass on:
//   - the text a key produces: GLUT reports one Latin-1 byte a key and
//     drops every key beyond Latin-1 (Cyrillic, Greek, CJK), Shift+Tab,
//     dead keys and the input method's compositions;
//   - the CLIPBOARD and PRIMARY selections shared with other programs.
//
// The connection selects the key events of the windows it watches, so it
// receives every key press that GLUT receives, in the same order, and the
// GLUT side takes them in step with GLUT. Each key is one of:
//   - a control key (Enter, Tab, Backspace, arrows, Ctrl+letter...): GLUT
//     reports it, and it keeps the two in step: the presses before it
//     have had their turn when GLUT reports it;
//   - a character key: GLUT reports it with one byte of its text; the text
//     is taken from here (character_key_text);
//   - a key GLUT drops (Shift+Tab, a dead key, the input method's
//     compositions): handed over in its place in the order, before the
//     next key GLUT reports or at idle time.
// The X library may read a key other than GLUT did when the keyboard map
// changes meanwhile (xdotool types so); a key can then be lost, but the two
// never fall out of step.
//
// Without an X server to talk to, nothing is watched, keys are GLUT's
// alone, and the selections are kept inside the program.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>

namespace glui_x11 {

// One key press on a watched window that GLUT does not report, or whose
// text GLUT does not give whole.
struct Press {
  int glut_window = 0;    // the GLUT window it went to
  std::string text;       // UTF-8 text it types; empty when none
  bool back_tab = false;  // Shift+Tab
};
using PressHandler = std::function<void(const Press&)>;

// Watches the key events of the current GLUT window (a panel subwindow, or
// a main window whose keys all pass through the toolkit). Opens the
// connection on first use, and makes the process's character type locale a
// UTF-8 one (the user's own when it is).
void watch_current_window();

// For a character key that GLUT reports now with the byte c: hands the
// presses GLUT dropped before it to `dropped`, in order, and returns the
// UTF-8 text the key types: the X server's account of it, or GLUT's byte
// when there is none (keys that did not come from the X server, as in
// tests) and the byte is a character by itself.
std::string character_key_text(unsigned char c, const PressHandler& dropped);

// For a control key that GLUT reports now: hands the presses GLUT dropped
// before it to `dropped`, in order, and takes its own.
void take_control_key(const PressHandler& dropped);

// At idle time: hands the dropped presses that wait at the head of the
// queue to `dropped`, and answers other programs' requests for the
// selections the program holds.
void take_dropped_presses(const PressHandler& dropped);

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

enum class Selection { clipboard, primary };

// Offers UTF-8 text as the selection to other programs, until one of them
// takes the selection or the program ends.
void set_selection_text(Selection which, const char* utf8);

// The selection's text as UTF-8, from whichever program holds it (see
// glui_clipboard.h), at most max_bytes + 1 bytes of it; empty when none
// holds it or the holder does not answer within half a second.
std::string selection_text(Selection which, size_t max_bytes);

// How long pastes have waited for other programs, all told: time in which
// no key was held as far as the panels are concerned.
std::chrono::steady_clock::duration paste_waits();

}  // namespace glui_x11

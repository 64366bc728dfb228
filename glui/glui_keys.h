// The keys typed into the panels, kept in step with GLUT, and where they go.
//
// GLUT reports one Latin-1 byte a key and drops every key beyond Latin-1
// (Cyrillic, Greek, CJK), Shift+Tab, dead keys and the input method's
// compositions. The toolkit's X connection (glui_x11.h) selects the key
// events of the windows it watches, so it receives every key press that
// GLUT receives, in the same order, and takes them in step with GLUT. Each
// key is one of:
//   - a control key (Enter, Tab, Backspace, arrows, Ctrl+letter...): GLUT
//     reports it, and it keeps the two in step: the presses before it
//     have had their turn when GLUT reports it;
//   - a character key: GLUT reports it with one byte of its text; the text
//     is taken from the X server's account of the key;
//   - a key GLUT drops (Shift+Tab, a dead key, the input method's
//     compositions): handed over in its place in the order, before the
//     next key GLUT reports or at idle time.
// The X library may read a key other than GLUT did when the keyboard map
// changes meanwhile (xdotool types so); a key can then be lost, but the two
// never fall out of step.
//
// Where keys go: a key typed into a panel goes to its active control; one
// typed over a main window goes to the text control clicked last in a
// panel serving it, else to the program's keyboard or special function
// (GLUI_Master.set_glutKeyboardFunc, set_glutSpecialFunc, defined here).
// The GLUT entry points are in glui_input.h.
//
// Without an X server to talk to, nothing is watched and keys are GLUT's
// alone.
#pragma once

namespace glui_keys {

// Watches the key events of the current GLUT window (a panel subwindow, or
// a main window whose keys all pass through the toolkit).
void watch_current_window();

// At idle time: hands the key presses GLUT dropped that wait at the head
// of the queue to the text controls they were typed into.
void take_dropped_presses();

}  // namespace glui_keys

// The main window as the desktop sees it: its class ("daubwork",
// "Daubwork"), by which a desktop matches the window with the program's menu
// entry and groups its windows, and its icon, the program's own painting at
// 48, 128 and 256 pixels. GLUT sets neither; they are set through GLUT's
// own connection to the X server, right after the window is made, so that
// they follow GLUT's request to show the window in the same batch and are
// in place before a window manager comes to show it.
#pragma once

// Gives the current GLUT window the program's class and icon.
void set_window_identity();

// Tells the window manager the least size the current GLUT window may be
// given (WM_NORMAL_HINTS' minimum), keeping the position and size GLUT
// asked for: below it the panel would be cut off, with no way to reach
// the controls below the cut.
void set_window_least_size(int width, int height);

// Drives a control panel the way GLUT does, for the toolkit's gl tests:
// a real main window with the panel docked on it, events pumped through
// GLUT, and clicks and keys fed to the toolkit's own entry points with the
// window that GLUT would make current.
#pragma once

#include <functional>

#include "glui/glui.h"

// Creates a GLUT main window of the given size (RGB, double-buffered, no
// depth buffer, as the program asks) and makes it current. Calls glutInit
// on first use; each call makes a new window.
int glui_test_main_window(int width = 800, int height = 600);

// Runs GLUT's event loop until `done` holds, or `timeout_ms` has passed;
// returns whether it held.
bool glui_pump_until(const std::function<bool()>& done, int timeout_ms = 3000);
// Runs GLUT's event loop for a while, so that queued window events and
// posted redisplays are handled.
void glui_pump(int ms = 100);

// Draws the panel once, as its display callback would, so that every
// control's rectangle is recorded.
void glui_display(GLUI* gui);

// A left click (press and release) at a point of the panel, in its pixels;
// with `release_x/y` the release happens elsewhere.
void glui_click(GLUI* gui, int x, int y);
void glui_click(GLUI* gui, const GLUI_Rect& r);
void glui_press_release(GLUI* gui, int x, int y, int release_x, int release_y);

// Keys typed while the pointer is over the main window `window`.
void glui_type_over_main(int window, const char* text);
// A button event in the main window, as GLUT delivers it.
void glui_main_click(int window, int button, int state, int x, int y);

// The program's own control panel (build_control_panel) on a fresh main
// window. `main_window`, `glui` and the handles of app/state.h are set,
// and the live variables start at zero, as a program's do; here are the
// controls that app/state.h does not keep, found by their labels.
struct GluiTestPanel {
  GLUI_Button* load = nullptr;            // "Load Image", id 100
  GLUI_Button* quit = nullptr;            // "Quit", id 0
  GLUI_Rollout* advanced = nullptr;       // "Advanced"
  GLUI_Checkbox* small_on_top = nullptr;  // "Small Strokes On Top"
};

// The main window's functions a test hands to GLUI_Master (null: none).
struct GluiTestForwards {
  void (*display)() = nullptr;  // registered directly with GLUT
  void (*reshape)(int, int) = nullptr;
  void (*keyboard)(unsigned char, int, int) = nullptr;
  void (*mouse)(int, int, int, int) = nullptr;
};

// Makes the window, registers the forwards as the program does, builds the
// program's panel and sets the main graphics window, and pumps events
// until the panel has been placed and drawn; returns whether it was. Every
// control that calls back (the buttons and the Brushes group) calls
// `control_cb` with its id instead of the program's functions, which would
// load files or end the process.
bool glui_build_test_panel(GluiTestPanel* p, GLUI_Update_CB control_cb,
                           const GluiTestForwards& forwards = {}, int width = 800,
                           int height = 600);

// The control of the panel with the given label, or null.
GLUI_Control* glui_find_control(GLUI* gui, const char* label);

// The panel subwindow's geometry as GLUT reports it (x, y in the main
// window).
GLUI_Rect glui_panel_geometry(GLUI* gui);

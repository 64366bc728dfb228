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

// The program's control panel, built the way it builds it, on a fresh main
// window: the controls tests click, and the live variables they write.
struct GluiTestPanel {
  int main_window = 0;
  GLUI* gui = nullptr;
  GLUI_EditText* image_name = nullptr;
  GLUI_Button* load = nullptr;  // id 100
  GLUI_Button* quit = nullptr;  // id 0
  GLUI_RadioGroup* brush_group = nullptr;  // id 102, live var `brush`
  GLUI_EditText* obj_name = nullptr;
  GLUI_Button* load_obj = nullptr;  // id 104
  GLUI_Rollout* advanced = nullptr;
  GLUI_Spinner* number = nullptr;     // int limits 1..100, 20
  GLUI_Spinner* radius = nullptr;     // float limits 1..100, 50
  GLUI_Checkbox* small_on_top = nullptr;
  GLUI_Checkbox* follow = nullptr;
  GLUI_Spinner* threshold = nullptr;  // float limits 0..255, 12
  GLUI_RadioGroup* falloff_group = nullptr;  // id -1, no callback
  int brush = 0, falloff = 0, small_strokes = 0, follow_edges = 0;
};

// The main window's functions a test hands to GLUI_Master (null: none).
struct GluiTestForwards {
  void (*display)() = nullptr;  // registered directly with GLUT
  void (*reshape)(int, int) = nullptr;
  void (*keyboard)(unsigned char, int, int) = nullptr;
  void (*mouse)(int, int, int, int) = nullptr;
};

// Makes the window, registers the forwards as the program does, builds the
// panel with `control_cb` on the buttons and the Brushes group, sets the
// main graphics window, and pumps events until the panel has been placed
// and drawn; returns whether it was. `p` must outlive the panel (it holds
// the live variables).
bool glui_build_test_panel(GluiTestPanel* p, GLUI_Update_CB control_cb,
                           const GluiTestForwards& forwards = {},
                           int width = 800, int height = 600);

// The panel subwindow's geometry as GLUT reports it (x, y in the main
// window).
GLUI_Rect glui_panel_geometry(GLUI* gui);

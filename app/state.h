// The program's shared state: the canvas rectangle and flags kept by the
// window callbacks, and the control panel's handles and live variables.
// Every other module reads the settings straight from here at the moment
// of use; nothing copies them.
#pragma once

#include "glui/glui.h"
#include "paint/edge_angle.h"  // FalloffType

class ObjModel;

// Control ids handed to control_cb. No control has id 103.
enum ControlId {
  LOAD_IMAGE_ID = 100,
  SAVE_IMAGE_ID = 101,
  BRUSH_ID = 102,
  LOAD_OBJ_ID = 104,
  CLEAR_IMAGE_ID = 105,
};

// Values of the Brushes radio group (brush_type).
enum BrushType {
  BRUSH_CIRCLES = 0,
  BRUSH_LINES = 1,
  BRUSH_CROSSES = 2,
  BRUSH_BLOCKS = 3,
  BRUSH_OBJ_FILE = 4,
};

// --- Canvas state, kept by the window callbacks ---------------------------

// The canvas: the part of the main window the panel does not cover, in
// window pixels from its bottom-left corner. vp_x and vp_y are 0 with the
// panel docked on the right; vp_w and vp_h are never negative. Refreshed
// through GLUI_Master.get_viewport_area with the main window current.
extern int vp_x, vp_y, vp_w, vp_h;

// Measures the canvas (with the main window current) into vp_x, vp_y, vp_w
// and vp_h, and sizes the canvas buffers (app/canvas_buffers.h) to it.
void refresh_canvas_rect();

// The left button is held down over the canvas.
extern bool painting;
// A capture of the source image is due: at start-up, and after a reshape
// with a picture loaded. While set, every display blanks the canvas.
extern bool recapture_pending;
// Where the OBJ File brush's light stands, in canvas pixels (y up).
extern int light_x, light_y;

// --- The main window and its control panel --------------------------------

extern int main_window;  // GLUT window id
extern GLUI* glui;       // the control panel subwindow

extern GLUI_EditText* image_filename_text;  // "Image Filename: "
extern GLUI_EditText* obj_filename_text;    // "OBJ Filename: "
extern GLUI_RadioGroup* brush_group;
extern GLUI_RadioGroup* falloff_group;
extern GLUI_Checkbox* follow_edges_checkbox;
extern GLUI_Spinner* stroke_number_spinner;       // strokes per motion event
extern GLUI_Spinner* stroke_radius_spinner;       // scatter radius, pixels
extern GLUI_Spinner* stroke_size_spinner;         // brush size s
extern GLUI_Spinner* gradient_threshold_spinner;  // edge threshold

// Live variables, written by the panel whenever the user changes them.
extern int brush_type;            // a BrushType
extern int falloff_type;          // a FalloffType
extern int follow_edges;          // 1 when "Follow Edges:" is ticked
extern int small_strokes_on_top;  // 1 when "Small Strokes On Top" is ticked

// The model the OBJ File brush draws; null until a model has loaded.
extern ObjModel* current_model;

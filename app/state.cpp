#include "app/state.h"

#include "app/canvas_buffers.h"

int vp_x = 0, vp_y = 0, vp_w = 0, vp_h = 0;
bool painting = false;
bool recapture_pending = false;
int light_x = 0, light_y = 0;

int main_window = 0;
GLUI* glui = nullptr;

GLUI_EditText* image_filename_text = nullptr;
GLUI_EditText* obj_filename_text = nullptr;
GLUI_RadioGroup* brush_group = nullptr;
GLUI_RadioGroup* falloff_group = nullptr;
GLUI_Checkbox* follow_edges_checkbox = nullptr;
GLUI_Spinner* stroke_number_spinner = nullptr;
GLUI_Spinner* stroke_radius_spinner = nullptr;
GLUI_Spinner* stroke_size_spinner = nullptr;
GLUI_Spinner* gradient_threshold_spinner = nullptr;

int brush_type = 0;
int falloff_type = 0;
int follow_edges = 0;
int small_strokes_on_top = 0;

ObjModel* current_model = nullptr;

void refresh_canvas_rect() {
  GLUI_Master.get_viewport_area(&vp_x, &vp_y, &vp_w, &vp_h);
  // The buffers cover window pixels up to the canvas's far corner, so
  // window and buffer pixels coincide.
  canvas_buffers_resize(vp_x + vp_w, vp_y + vp_h);
}

#include "app/panel.h"

#include <GL/freeglut.h>

#include <cctype>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/canvas_buffers.h"
#include "app/state.h"
#include "base/messages.h"
#include "export/save_image.h"
#include "image/source_image.h"
#include "model/obj_model.h"

namespace {

void quit_cb(int id) { std::exit(id); }  // the Quit button has id 0

}  // namespace

void build_control_panel() {
  image_filename_text =
      glui->add_edittext("Image Filename: ", GLUI_EDITTEXT_TEXT, nullptr, -1, nullptr);
  image_filename_text->set_w(200);
  image_filename_text->set_text("image1.jpg");
  glui->add_button("Load Image", LOAD_IMAGE_ID, control_cb);
  glui->add_button("Clear Image", CLEAR_IMAGE_ID, control_cb);
  glui->add_button("Save Image", SAVE_IMAGE_ID, control_cb);
  glui->add_button("Quit", 0, quit_cb);
  glui->add_separator();

  GLUI_Panel* brushes = glui->add_panel("Brushes", GLUI_PANEL_EMBOSSED);
  brush_group = glui->add_radiogroup_to_panel(brushes, &brush_type, BRUSH_ID, control_cb);
  for (const char* name : {"Circles", "Lines", "Crosses", "Blocks", "OBJ File"})
    glui->add_radiobutton_to_group(brush_group, name);
  obj_filename_text = glui->add_edittext_to_panel(brushes, "OBJ Filename: ", GLUI_EDITTEXT_TEXT,
                                                  nullptr, -1, nullptr);
  obj_filename_text->set_text("sphere.obj");
  glui->add_button_to_panel(brushes, "Load OBJ Model", LOAD_OBJ_ID, control_cb);
  glui->add_separator();

  GLUI_Rollout* advanced = glui->add_rollout("Advanced", true);
  stroke_number_spinner = glui->add_spinner_to_panel(advanced, "Stroke Number: ", GLUI_SPINNER_INT,
                                                     nullptr, -1, nullptr);
  stroke_number_spinner->set_int_limits(1, 100, GLUI_LIMIT_CLAMP);
  stroke_number_spinner->set_int_val(20);
  stroke_radius_spinner = glui->add_spinner_to_panel(advanced, "Stroke Radius: ", GLUI_SPINNER_INT,
                                                     nullptr, -1, nullptr);
  stroke_radius_spinner->set_float_limits(1.0f, 100.0f, GLUI_LIMIT_CLAMP);
  stroke_radius_spinner->set_float_val(50.0f);
  stroke_size_spinner =
      glui->add_spinner_to_panel(advanced, "Stroke Size: ", GLUI_SPINNER_INT, nullptr, -1, nullptr);
  stroke_size_spinner->set_float_limits(1.0f, 100.0f, GLUI_LIMIT_CLAMP);
  stroke_size_spinner->set_float_val(10.0f);
  glui->add_checkbox_to_panel(advanced, "Small Strokes On Top", &small_strokes_on_top, -1, nullptr);
  glui->add_separator_to_panel(advanced);

  GLUI_Panel* vector_field =
      glui->add_panel_to_panel(advanced, "Vector Field", GLUI_PANEL_EMBOSSED);
  follow_edges_checkbox =
      glui->add_checkbox_to_panel(vector_field, "Follow Edges:", &follow_edges, -1, nullptr);
  gradient_threshold_spinner = glui->add_spinner_to_panel(
      vector_field, "Gradient Threshold: ", GLUI_SPINNER_INT, nullptr, -1, nullptr);
  gradient_threshold_spinner->set_float_limits(0.0f, 255.0f, GLUI_LIMIT_CLAMP);
  gradient_threshold_spinner->set_float_val(12.0f);
  GLUI_Panel* falloff =
      glui->add_panel_to_panel(vector_field, "Vector Field Falloff", GLUI_PANEL_EMBOSSED);
  falloff_group = glui->add_radiogroup_to_panel(falloff, &falloff_type, -1, nullptr);
  glui->add_radiobutton_to_group(falloff_group, "Reciprocal");
  glui->add_radiobutton_to_group(falloff_group, "Exponential");
}

namespace {

// Loads the named model into a fresh record and makes it current only once
// it has loaded: a mistyped name leaves the model in use, and nothing is
// ever drawn from a half-filled record.
void load_model() {
  auto model = std::make_unique<ObjModel>();
  if (!model->load_obj_model(".", obj_filename_text->get_text())) return;
  // Nothing refers to the replaced model any more.
  const std::unique_ptr<ObjModel> replaced(current_model);
  current_model = model.release();
}

}  // namespace

namespace {

// Whether a path names an OBJ model: it ends in ".obj", in any case.
bool names_model(const std::string& path) {
  const std::string suffix = ".obj";
  if (path.size() < suffix.size()) return false;
  for (size_t i = 0; i < suffix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(path[path.size() - suffix.size() + i])) !=
        suffix[i])
      return false;
  return true;
}

}  // namespace

void files_dropped(const char* path, int offered) {
  const bool model = names_model(path);
  (model ? obj_filename_text : image_filename_text)->set_text(path);
  begin_message();
  if (offered > 1)
    show_message_line(MessageLevel::info,
                      "Of the " + std::to_string(offered) +
                          " items dropped, the first that fits was taken: " + path);
  // As its button does, with its messages.
  if (model)
    load_model();
  else
    load_image();
}

void control_cb(int id) {
  // What an action prints is shown in the panel until the next action.
  if (id == LOAD_IMAGE_ID || id == SAVE_IMAGE_ID || id == LOAD_OBJ_ID) begin_message();
  switch (id) {
    case LOAD_IMAGE_ID: load_image(); break;
    case SAVE_IMAGE_ID: save_image(); break;
    case LOAD_OBJ_ID: load_model(); break;
    case CLEAR_IMAGE_ID:
      // Wipes the painting; the next swap shows it. The source image, the
      // flags and the front buffer stay.
      canvas_draw_buffer(CANVAS_BACK);
      canvas_clear();
      break;
    default:  // BRUSH_ID: brush_type already holds the choice
      break;
  }
}

void keyboard_cb(unsigned char key, int x, int y) {
  (void)x;
  (void)y;
  if (key == 27 || key == 'q') std::exit(0);
  glutPostRedisplay();
}

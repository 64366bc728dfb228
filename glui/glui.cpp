// The GLUI panel: the add_ functions that build it, and what it answers
// about itself. Its frames and input live in its context
// (glui_context.cpp), its controls in glui_widgets.cpp.
#include "glui/glui.h"

#include <GL/freeglut.h>

#include <algorithm>
#include <utility>

#include "glui/glui_context.h"
#include "glui/glui_drop.h"

GLUI::GLUI(int parent_window, int position, int window_id)
    : parent_window_(parent_window),
      position_(position),
      window_id_(window_id),
      root_(this, nullptr, "", GLUI_PANEL_NONE),
      ctx_(std::make_unique<GLUI_Context>(*this)) {}

GLUI::~GLUI() = default;

template <class T>
T* GLUI::add(GLUI_Panel* parent, T* control) {
  if (!parent) parent = &root_;
  owned_.push_back(std::unique_ptr<GLUI_Control>(control));
  parent->children_.push_back(control);
  all_.push_back(control);
  ctx_->controls_changed();  // the panel is sized again when next asked
  return control;
}

GLUI_EditText* GLUI::add_edittext(const char* name, int data_type, void* live_var, int id,
                                  GLUI_Update_CB cb) {
  return add_edittext_to_panel(nullptr, name, data_type, live_var, id, cb);
}

GLUI_EditText* GLUI::add_edittext_to_panel(GLUI_Panel* panel, const char* name, int data_type,
                                           void* live_var, int id, GLUI_Update_CB cb) {
  (void)data_type;  // a field holds text whatever the type,
  (void)live_var;   // and is read with get_text
  return add(panel, new GLUI_EditText(this, panel ? panel : &root_, name, id, cb));
}

GLUI_Button* GLUI::add_button(const char* name, int id, GLUI_Update_CB cb) {
  return add_button_to_panel(nullptr, name, id, cb);
}

GLUI_Button* GLUI::add_button_to_panel(GLUI_Panel* panel, const char* name, int id,
                                       GLUI_Update_CB cb) {
  return add(panel, new GLUI_Button(this, panel ? panel : &root_, name, id, cb));
}

void GLUI::add_separator() { add_separator_to_panel(nullptr); }

void GLUI::add_separator_to_panel(GLUI_Panel* panel) {
  add(panel, new GLUI_Separator(this, panel ? panel : &root_));
}

GLUI_Panel* GLUI::add_panel(const char* name, int type) {
  return add_panel_to_panel(nullptr, name, type);
}

GLUI_Panel* GLUI::add_panel_to_panel(GLUI_Panel* panel, const char* name, int type) {
  return add(panel, new GLUI_Panel(this, panel ? panel : &root_, name, type));
}

GLUI_Rollout* GLUI::add_rollout(const char* name, int open, int type) {
  return add_rollout_to_panel(nullptr, name, open, type);
}

GLUI_Rollout* GLUI::add_rollout_to_panel(GLUI_Panel* panel, const char* name, int open, int type) {
  return add(panel, new GLUI_Rollout(this, panel ? panel : &root_, name, open != 0, type));
}

GLUI_RadioGroup* GLUI::add_radiogroup(int* live_var, int id, GLUI_Update_CB cb) {
  return add_radiogroup_to_panel(nullptr, live_var, id, cb);
}

GLUI_RadioGroup* GLUI::add_radiogroup_to_panel(GLUI_Panel* panel, int* live_var, int id,
                                               GLUI_Update_CB cb) {
  return add(panel, new GLUI_RadioGroup(this, panel ? panel : &root_, live_var, id, cb));
}

GLUI_RadioButton* GLUI::add_radiobutton_to_group(GLUI_RadioGroup* group, const char* name) {
  if (!group) return nullptr;
  int index = group->button_count();
  return add(group, new GLUI_RadioButton(this, group, name, index));
}

GLUI_Checkbox* GLUI::add_checkbox(const char* name, int* live_var, int id, GLUI_Update_CB cb) {
  return add_checkbox_to_panel(nullptr, name, live_var, id, cb);
}

GLUI_Checkbox* GLUI::add_checkbox_to_panel(GLUI_Panel* panel, const char* name, int* live_var,
                                           int id, GLUI_Update_CB cb) {
  return add(panel, new GLUI_Checkbox(this, panel ? panel : &root_, name, live_var, id, cb));
}

GLUI_Spinner* GLUI::add_spinner(const char* name, int data_type, void* live_var, int id,
                                GLUI_Update_CB cb) {
  return add_spinner_to_panel(nullptr, name, data_type, live_var, id, cb);
}

GLUI_Spinner* GLUI::add_spinner_to_panel(GLUI_Panel* panel, const char* name, int data_type,
                                         void* live_var, int id, GLUI_Update_CB cb) {
  return add(panel,
             new GLUI_Spinner(this, panel ? panel : &root_, name, data_type, live_var, id, cb));
}

GLUI_Control* GLUI::get_active_control() const { return ctx_->active(); }

void GLUI::deactivate_current_control() { ctx_->deactivate(); }

int GLUI::get_panel_width() { return ctx_->width(); }

int GLUI::get_panel_height() { return ctx_->height(); }

int GLUI::get_least_height() {
  constexpr int kMessageLines = 3;  // a failure's line and its reason, wrapped
  const int panel = ctx_->height();
  return panel + ctx_->message_room(kMessageLines);
}

void GLUI::set_message(std::vector<GLUI_MessageLine> lines) { ctx_->set_message(std::move(lines)); }

void GLUI::set_drop_func(void (*cb)(const char* path, int offered)) {
  glui_drop::accept_drops(this, cb);
}

// --- GLUI_Master: the panels, and where they sit --------------------------------

GLUI_Master_Object GLUI_Master;

void GLUI_Master_Object::get_viewport_area(int* x, int* y, int* w, int* h) {
  int window = glutGetWindow();
  int width = glutGet(GLUT_WINDOW_WIDTH);
  int height = glutGet(GLUT_WINDOW_HEIGHT);
  int left = 0, right = 0, top = 0, bottom = 0;
  for (const auto& g : guis_) {
    if (g->get_parent_window() != window) continue;
    switch (g->get_position()) {
      case GLUI_SUBWINDOW_RIGHT: right += g->get_panel_width(); break;
      case GLUI_SUBWINDOW_LEFT: left += g->get_panel_width(); break;
      case GLUI_SUBWINDOW_TOP: top += g->get_panel_height(); break;
      case GLUI_SUBWINDOW_BOTTOM: bottom += g->get_panel_height(); break;
      default: break;
    }
  }
  *x = std::max(left, 0);
  *y = std::max(bottom, 0);
  *w = std::max(width - left - right, 0);
  *h = std::max(height - top - bottom, 0);
}

void GLUI_Master_Object::reposition_subwindows(int window) {
  int prev = glutGetWindow();
  glutSetWindow(window);
  int width = glutGet(GLUT_WINDOW_WIDTH);
  int height = glutGet(GLUT_WINDOW_HEIGHT);
  for (const auto& g : guis_) {
    if (g->get_parent_window() != window) continue;
    int pw = std::max(g->get_panel_width(), 1);
    int ph = std::max(g->get_panel_height(), 1);
    glutSetWindow(g->get_glut_window_id());
    switch (g->get_position()) {
      case GLUI_SUBWINDOW_LEFT:
        glutPositionWindow(0, 0);
        glutReshapeWindow(pw, std::max(height, 1));
        break;
      case GLUI_SUBWINDOW_TOP:
        glutPositionWindow(0, 0);
        glutReshapeWindow(std::max(width, 1), ph);
        break;
      case GLUI_SUBWINDOW_BOTTOM:
        glutPositionWindow(0, height - ph);
        glutReshapeWindow(std::max(width, 1), ph);
        break;
      default:  // right: flush with the right edge, full height
        glutPositionWindow(width - pw, 0);
        glutReshapeWindow(pw, std::max(height, 1));
        break;
    }
  }
  if (prev > 0) glutSetWindow(prev);
}

GLUI* GLUI_Master_Object::find_glui_by_window_id(int window_id) {
  for (const auto& g : guis_)
    if (g->get_glut_window_id() == window_id) return g.get();
  return nullptr;
}

// A small control-panel toolkit for GLUT programs, with the classic GLUI
// interface: a GLUI subwindow docked on one side of a GLUT window, holding
// buttons, text fields, spinners, checkboxes, radio groups, panels and
// rollouts, with live variables and per-control callbacks. GLUI_Master
// forwards the main window's GLUT callbacks and reports the area the
// subwindows leave free. The controls are drawn and driven with Dear ImGui;
// the toolkit knows nothing of the program that uses it.
//
// This is the program's one include: the GLUI panel and GLUI_Master here
// (glui.cpp: the add_ functions, the panels and where they sit), the
// controls in glui/glui_widgets.h. The toolkit's own parts:
//   glui_context    the per-panel context, frames and layout
//   glui_input.h    the GLUT entry points, in glui_glut (mouse, window
//                   events, the middle button's paste, the idle pace) and
//                   glui_keys (the keys, in step with GLUT, and where they go)
//   glui_clipboard  the CLIPBOARD and PRIMARY selections shared with other
//                   programs
//   glui_x11        the toolkit's own X connection: locale, input method,
//                   event pump, the process's X error handler
//   glui_fonts      glyphs beyond Latin-1, from the system's fonts
//   glui_imgui      ties to ImGui's internals and version-bound calls
//   glui_theme      the look
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "glui/glui_widgets.h"

// Subwindow positions for GLUI_Master_Object::create_glui_subwindow.
enum {
  GLUI_SUBWINDOW_TOP = 4,
  GLUI_SUBWINDOW_BOTTOM = 8,
  GLUI_SUBWINDOW_LEFT = 16,
  GLUI_SUBWINDOW_RIGHT = 32,
};

// One line of a panel's message (GLUI::set_message).
struct GLUI_MessageLine {
  std::string text;  // UTF-8, no line feed
  bool error = false;
};

// One control panel: a GLUT subwindow docked on a side of a main window.
class GLUI {
 public:
  // Each add_ function makes a control at the end of the root panel or of
  // the given container, and returns it; the GLUI owns every control. An
  // edit field takes a data type and live variable for GLUI's call shape,
  // and ignores them: it holds text, read with get_text.
  GLUI_EditText* add_edittext(const char* name, int data_type = GLUI_EDITTEXT_TEXT,
                              void* live_var = nullptr, int id = -1, GLUI_Update_CB cb = nullptr);
  GLUI_EditText* add_edittext_to_panel(GLUI_Panel* panel, const char* name,
                                       int data_type = GLUI_EDITTEXT_TEXT, void* live_var = nullptr,
                                       int id = -1, GLUI_Update_CB cb = nullptr);
  GLUI_Button* add_button(const char* name, int id = -1, GLUI_Update_CB cb = nullptr);
  GLUI_Button* add_button_to_panel(GLUI_Panel* panel, const char* name, int id = -1,
                                   GLUI_Update_CB cb = nullptr);
  void add_separator();
  void add_separator_to_panel(GLUI_Panel* panel);
  GLUI_Panel* add_panel(const char* name, int type = GLUI_PANEL_EMBOSSED);
  GLUI_Panel* add_panel_to_panel(GLUI_Panel* panel, const char* name,
                                 int type = GLUI_PANEL_EMBOSSED);
  GLUI_Rollout* add_rollout(const char* name, int open = true, int type = GLUI_PANEL_EMBOSSED);
  GLUI_Rollout* add_rollout_to_panel(GLUI_Panel* panel, const char* name, int open = true,
                                     int type = GLUI_PANEL_EMBOSSED);
  GLUI_RadioGroup* add_radiogroup(int* live_var = nullptr, int id = -1,
                                  GLUI_Update_CB cb = nullptr);
  GLUI_RadioGroup* add_radiogroup_to_panel(GLUI_Panel* panel, int* live_var = nullptr, int id = -1,
                                           GLUI_Update_CB cb = nullptr);
  GLUI_RadioButton* add_radiobutton_to_group(GLUI_RadioGroup* group, const char* name);
  GLUI_Checkbox* add_checkbox(const char* name, int* live_var = nullptr, int id = -1,
                              GLUI_Update_CB cb = nullptr);
  GLUI_Checkbox* add_checkbox_to_panel(GLUI_Panel* panel, const char* name, int* live_var = nullptr,
                                       int id = -1, GLUI_Update_CB cb = nullptr);
  GLUI_Spinner* add_spinner(const char* name, int data_type = GLUI_SPINNER_INT,
                            void* live_var = nullptr, int id = -1, GLUI_Update_CB cb = nullptr);
  GLUI_Spinner* add_spinner_to_panel(GLUI_Panel* panel, const char* name,
                                     int data_type = GLUI_SPINNER_INT, void* live_var = nullptr,
                                     int id = -1, GLUI_Update_CB cb = nullptr);

  // Control callbacks run with this window current; the window that was
  // current before is current again afterwards.
  void set_main_gfx_window(int window_id) { main_gfx_window_ = window_id; }
  int get_main_gfx_window() const { return main_gfx_window_; }
  int get_glut_window_id() const { return window_id_; }
  int get_parent_window() const { return parent_window_; }
  int get_position() const { return position_; }
  GLUI_Panel* get_main_panel() { return &root_; }

  // The control clicked last, until a click in the main window; keys typed
  // over the main window go to it. Null when none is active.
  GLUI_Control* get_active_control() const;
  void deactivate_current_control();

  // The panel's size in pixels: it fits its controls, and is fixed the
  // first time it is asked for (all controls exist by then).
  int get_panel_width();
  int get_panel_height();

  // The least height that shows the whole panel and a few lines of a
  // message below it.
  int get_least_height();

  // Every control of the panel, in the order they were added.
  const std::vector<GLUI_Control*>& controls() const { return all_; }

  // Makes the main window a target for files and text dropped from other
  // programs (glui/glui_drop.h): text and a file's path dropped on a text
  // field replace its text; the first file dropped on the canvas that is
  // no folder goes to `cb`, with the number of items the drop offered, run
  // as a control callback is.
  void set_drop_func(void (*cb)(const char* path, int offered));

  // A message for the user, drawn below the controls (it is no control):
  // lines that report a failure show a warning sign and an error's colour.
  // It stays until the next one; a message taller than the room left shows
  // its end. The panel is drawn again.
  void set_message(std::vector<GLUI_MessageLine> lines);

  // The panel's own state for the toolkit: its ImGui context, frames and
  // active control (glui/glui_context.h). Programs have no use for it.
  GLUI_Context& context() { return *ctx_; }
  ~GLUI();
  GLUI(const GLUI&) = delete;
  GLUI& operator=(const GLUI&) = delete;

 private:
  friend class GLUI_Master_Object;  // makes each GLUI with its subwindow
  GLUI(int parent_window, int position, int window_id);
  template <class T>
  T* add(GLUI_Panel* parent, T* control);

  int parent_window_;
  int position_;
  int window_id_;
  int main_gfx_window_ = 0;
  GLUI_Panel root_;
  std::vector<std::unique_ptr<GLUI_Control>> owned_;  // every control but the root
  std::vector<GLUI_Control*> all_;                    // the same, as programs see them

  std::unique_ptr<GLUI_Context> ctx_;
};

// The toolkit's one global object: makes subwindows, forwards the main
// window's callbacks after its own handling, and reports the free area.
class GLUI_Master_Object {
 public:
  GLUI* create_glui_subwindow(int parent_window, int position);

  // Each installs the toolkit's own handler with GLUT for the current
  // window, which then calls the given function (null: none).
  void set_glutReshapeFunc(void (*f)(int width, int height));
  void set_glutKeyboardFunc(void (*f)(unsigned char key, int x, int y));
  void set_glutSpecialFunc(void (*f)(int key, int x, int y));
  void set_glutMouseFunc(void (*f)(int button, int state, int x, int y));
  // The idle function runs after the panels' own idle work, once a frame
  // of the screen (1/60 s); between frames the program sleeps until an
  // event arrives.
  void set_glutIdleFunc(void (*f)());

  // The current window's size less the subwindows docked on its sides,
  // each value 0 or more; x and y from the bottom-left corner.
  void get_viewport_area(int* x, int* y, int* w, int* h);

  // Places every subwindow of `window` again on its edge, full length.
  void reposition_subwindows(int window);

  GLUI* find_glui_by_window_id(int window_id);
  const std::vector<std::unique_ptr<GLUI>>& guis() const { return guis_; }

 private:
  std::vector<std::unique_ptr<GLUI>> guis_;  // they live as long as the program
};

extern GLUI_Master_Object GLUI_Master;

// A small control-panel toolkit for GLUT programs, with the classic GLUI
// interface: a GLUI subwindow docked on one side of a GLUT window, holding
// buttons, text fields, spinners, checkboxes, radio groups, panels and
// rollouts, with live variables and per-control callbacks. GLUI_Master
// forwards the main window's GLUT callbacks and reports the area the
// subwindows leave free. The controls are drawn and driven with Dear ImGui;
// the toolkit knows nothing of the program that uses it.
#pragma once

#include <string>
#include <vector>

// Subwindow positions for GLUI_Master_Object::create_glui_subwindow.
enum {
  GLUI_SUBWINDOW_TOP = 4,
  GLUI_SUBWINDOW_BOTTOM = 8,
  GLUI_SUBWINDOW_LEFT = 16,
  GLUI_SUBWINDOW_RIGHT = 32,
};
// Data types of edit fields and spinners.
enum {
  GLUI_EDITTEXT_TEXT = 1,
  GLUI_EDITTEXT_INT = 2,
  GLUI_EDITTEXT_FLOAT = 3,
  GLUI_SPINNER_INT = GLUI_EDITTEXT_INT,
  GLUI_SPINNER_FLOAT = GLUI_EDITTEXT_FLOAT,
};
// Frame styles of panels.
enum {
  GLUI_PANEL_NONE = 0,
  GLUI_PANEL_EMBOSSED = 1,
  GLUI_PANEL_RAISED = 2,
};
// What a spinner does with a value beyond its limits.
enum {
  GLUI_LIMIT_NONE = 0,
  GLUI_LIMIT_CLAMP = 1,
  GLUI_LIMIT_WRAP = 2,
};

// A control callback: called with the control's id after it has acted.
typedef void (*GLUI_Update_CB)(int id);

class GLUI;
class GLUI_Panel;

// A rectangle in subwindow pixels, origin at the top-left, y down.
struct GLUI_Rect {
  int x = 0, y = 0, w = 0, h = 0;
  int center_x() const { return x + w / 2; }
  int center_y() const { return y + h / 2; }
};

// What every control has: a label, an id and callback, a parent, and the
// rectangle it last occupied in its subwindow (pixels, y down).
class GLUI_Control {
 public:
  virtual ~GLUI_Control();
  const char* get_name() const { return name_.c_str(); }
  int get_id() const { return id_; }
  GLUI_Panel* get_parent() const { return parent_; }
  GLUI* get_glui() const { return glui_; }
  // Where the control was drawn in the last frame, in subwindow pixels:
  // the whole control with its label, and the part that takes clicks
  // (the button, the text box, the box of a checkbox or radio button).
  const GLUI_Rect& rect() const { return rect_; }
  const GLUI_Rect& hot_rect() const { return hot_; }

 protected:
  friend class GLUI;
  friend class GLUI_Panel;
  GLUI_Control(GLUI* glui, GLUI_Panel* parent, const char* name, int id,
               GLUI_Update_CB cb);
  // Builds the control's ImGui widgets for one frame.
  virtual void draw_frame() = 0;
  // Commits whatever the user left half-done (typed text) when the
  // control stops being the active one.
  virtual void deactivate() {}
  // Enter typed into the control: commits what was typed, and the control
  // stays the active one, still being edited.
  virtual void commit_on_enter() {}
  // Takes the value of the live variable, if any.
  virtual void sync_from_live() {}
  // Queues this control's callback to run after the frame.
  void notify();
  // Records the last ImGui item (or group) as the control's rectangle,
  // and as its clickable part unless that was recorded already.
  void record_rect();
  void record_hot_rect();

  GLUI* glui_;
  GLUI_Panel* parent_;
  std::string name_;
  int id_;
  GLUI_Update_CB callback_;
  GLUI_Rect rect_, hot_;
};

// A container: the root of a panel, an embossed frame with a title, or a
// rollout.
class GLUI_Panel : public GLUI_Control {
 public:
  ~GLUI_Panel() override;
  int get_type() const { return type_; }
  const std::vector<GLUI_Control*>& children() const { return children_; }
  // Where the boxes of this container's text fields and spinners start,
  // as an offset for ImGui::SameLine (valid while it is being drawn).
  float label_column() const;

 protected:
  friend class GLUI;
  GLUI_Panel(GLUI* glui, GLUI_Panel* parent, const char* name, int type);
  void draw_frame() override;
  void draw_children();
  int type_;
  std::vector<GLUI_Control*> children_;
};

// A panel whose contents the user shows or hides by clicking its title.
class GLUI_Rollout : public GLUI_Panel {
 public:
  bool is_open() const { return open_; }
  void open() { open_ = true; }
  void close() { open_ = false; }

 protected:
  friend class GLUI;
  GLUI_Rollout(GLUI* glui, GLUI_Panel* parent, const char* name, bool open,
               int type);
  void draw_frame() override;
  bool open_;
};

class GLUI_Separator : public GLUI_Control {
 protected:
  friend class GLUI;
  GLUI_Separator(GLUI* glui, GLUI_Panel* parent);
  void draw_frame() override;
};

// Calls back with its id when the mouse is released over it.
class GLUI_Button : public GLUI_Control {
 protected:
  friend class GLUI;
  GLUI_Button(GLUI* glui, GLUI_Panel* parent, const char* name, int id,
              GLUI_Update_CB cb);
  void draw_frame() override;
};

class GLUI_Checkbox : public GLUI_Control {
 public:
  int get_int_val() const { return value_; }
  void set_int_val(int v);

 protected:
  friend class GLUI;
  GLUI_Checkbox(GLUI* glui, GLUI_Panel* parent, const char* name,
                int* live_var, int id, GLUI_Update_CB cb);
  void draw_frame() override;
  void sync_from_live() override;
  int* live_var_;
  int value_ = 0;
};

class GLUI_RadioButton;

// A set of radio buttons with one value: the index of the chosen button.
// Calls back only when the user changes the choice, after the live
// variable has been written.
class GLUI_RadioGroup : public GLUI_Panel {
 public:
  int get_int_val() const { return value_; }
  void set_int_val(int v);
  int button_count() const { return static_cast<int>(children_.size()); }
  // The user picks button `index`: writes the value and the live variable
  // and calls back, when the choice changes. Returns whether it changed.
  bool choose(int index);

 protected:
  friend class GLUI;
  friend class GLUI_RadioButton;
  GLUI_RadioGroup(GLUI* glui, GLUI_Panel* parent, int* live_var, int id,
                  GLUI_Update_CB cb);
  void draw_frame() override;
  void sync_from_live() override;
  int* live_var_;
  int value_ = 0;
};

class GLUI_RadioButton : public GLUI_Control {
 public:
  int index() const { return index_; }

 protected:
  friend class GLUI;
  GLUI_RadioButton(GLUI* glui, GLUI_RadioGroup* group, const char* name,
                   int index);
  void draw_frame() override;
  int index_;
};

// A one-line text field.
class GLUI_EditText : public GLUI_Control {
 public:
  const char* get_text() const { return text_.c_str(); }
  void set_text(const char* text);
  // The whole control's width in pixels, label included.
  void set_w(int width) { box_w_ = width; }
  int get_w() const { return box_w_; }

 protected:
  friend class GLUI;
  GLUI_EditText(GLUI* glui, GLUI_Panel* parent, const char* name,
                int data_type, void* live_var, int id, GLUI_Update_CB cb);
  void draw_frame() override;
  void commit_on_enter() override;
  int data_type_;
  void* live_var_;
  std::string text_;
  int box_w_ = 0;  // 0: the toolkit's default width
};

// The value logic of a spinner, free of any drawing: a number with limits,
// shown and typed as text. Integer spinners keep a float value too, which
// the arrows move; the integer value is its whole part.
class GLUI_SpinnerValue {
 public:
  explicit GLUI_SpinnerValue(int data_type);
  int get_int_val() const { return int_val_; }
  float get_float_val() const { return float_val_; }
  void set_int_val(int v);
  void set_float_val(float v);
  void set_int_limits(int low, int high, int limit_type);
  void set_float_limits(float low, float high, int limit_type);
  // Commits text typed by the user: a number (leading blanks allowed,
  // anything after it ignored) is applied and limited; text that is no
  // number counts as 0, then limited.
  void commit_text(const char* text);
  // One arrow click: +1 or -1 step, limited.
  void step(int direction);
  // The text the spinner shows.
  std::string text() const;
  int data_type() const { return data_type_; }

 private:
  void apply(double v);
  int data_type_;
  int int_val_ = 0;
  float float_val_ = 0.0f;
  int limit_type_ = GLUI_LIMIT_NONE;
  double low_ = 0.0, high_ = 0.0;
};

// A number field with up and down arrows.
class GLUI_Spinner : public GLUI_Control {
 public:
  int get_int_val() const { return value_.get_int_val(); }
  float get_float_val() const { return value_.get_float_val(); }
  void set_int_val(int v);
  void set_float_val(float v);
  void set_int_limits(int low, int high, int limit_type = GLUI_LIMIT_CLAMP);
  void set_float_limits(float low, float high,
                        int limit_type = GLUI_LIMIT_CLAMP);
  // The text being typed into the field, or its shown value.
  const char* get_text() const { return edit_.c_str(); }
  // Where the two arrows were drawn (hot_rect() is the text box).
  const GLUI_Rect& up_rect() const { return up_; }
  const GLUI_Rect& down_rect() const { return down_; }

 protected:
  friend class GLUI;
  GLUI_Spinner(GLUI* glui, GLUI_Panel* parent, const char* name,
               int data_type, void* live_var, int id, GLUI_Update_CB cb);
  void draw_frame() override;
  void deactivate() override;
  void commit_on_enter() override;
  void commit();
  void changed();
  GLUI_SpinnerValue value_;
  void* live_var_;
  std::string edit_;     // what the field shows or the user is typing
  bool editing_ = false;  // the user has typed since the last commit
  // The committed value is to replace the text in the field still being
  // edited (ImGui owns that text until the edit ends).
  bool show_committed_ = false;
  GLUI_Rect up_, down_;
};

// One control panel: a GLUT subwindow docked on a side of a main window.
class GLUI {
 public:
  GLUI_EditText* add_edittext(const char* name,
                              int data_type = GLUI_EDITTEXT_TEXT,
                              void* live_var = nullptr, int id = -1,
                              GLUI_Update_CB cb = nullptr);
  GLUI_EditText* add_edittext_to_panel(GLUI_Panel* panel, const char* name,
                                       int data_type = GLUI_EDITTEXT_TEXT,
                                       void* live_var = nullptr, int id = -1,
                                       GLUI_Update_CB cb = nullptr);
  GLUI_Button* add_button(const char* name, int id = -1,
                          GLUI_Update_CB cb = nullptr);
  GLUI_Button* add_button_to_panel(GLUI_Panel* panel, const char* name,
                                   int id = -1, GLUI_Update_CB cb = nullptr);
  void add_separator();
  void add_separator_to_panel(GLUI_Panel* panel);
  GLUI_Panel* add_panel(const char* name, int type = GLUI_PANEL_EMBOSSED);
  GLUI_Panel* add_panel_to_panel(GLUI_Panel* panel, const char* name,
                                 int type = GLUI_PANEL_EMBOSSED);
  GLUI_Rollout* add_rollout(const char* name, int open = true,
                            int type = GLUI_PANEL_EMBOSSED);
  GLUI_Rollout* add_rollout_to_panel(GLUI_Panel* panel, const char* name,
                                     int open = true,
                                     int type = GLUI_PANEL_EMBOSSED);
  GLUI_RadioGroup* add_radiogroup(int* live_var = nullptr, int id = -1,
                                  GLUI_Update_CB cb = nullptr);
  GLUI_RadioGroup* add_radiogroup_to_panel(GLUI_Panel* panel,
                                           int* live_var = nullptr,
                                           int id = -1,
                                           GLUI_Update_CB cb = nullptr);
  GLUI_RadioButton* add_radiobutton_to_group(GLUI_RadioGroup* group,
                                             const char* name);
  GLUI_Checkbox* add_checkbox(const char* name, int* live_var = nullptr,
                              int id = -1, GLUI_Update_CB cb = nullptr);
  GLUI_Checkbox* add_checkbox_to_panel(GLUI_Panel* panel, const char* name,
                                       int* live_var = nullptr, int id = -1,
                                       GLUI_Update_CB cb = nullptr);
  GLUI_Spinner* add_spinner(const char* name,
                            int data_type = GLUI_SPINNER_INT,
                            void* live_var = nullptr, int id = -1,
                            GLUI_Update_CB cb = nullptr);
  GLUI_Spinner* add_spinner_to_panel(GLUI_Panel* panel, const char* name,
                                     int data_type = GLUI_SPINNER_INT,
                                     void* live_var = nullptr, int id = -1,
                                     GLUI_Update_CB cb = nullptr);

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
  GLUI_Control* get_active_control() const { return active_; }
  void deactivate_current_control();

  // The panel's size in pixels: it fits its controls, and is fixed the
  // first time it is asked for (all controls exist by then).
  int get_panel_width();
  int get_panel_height();

  // Whether a control takes typed text (edit fields and spinners).
  static bool accepts_text(const GLUI_Control* control);

  // Every control of the panel, in the order they were added.
  const std::vector<GLUI_Control*>& controls() const { return all_; }

  // For the toolkit itself.
  struct Impl;
  Impl* impl() { return impl_; }
  ~GLUI();

 private:
  friend class GLUI_Master_Object;
  friend class GLUI_Control;
  GLUI(int parent_window, int position);
  template <class T>
  T* add(GLUI_Panel* parent, T* control);
  void set_active(GLUI_Control* control) { active_ = control; }
  friend class GLUI_Panel;
  friend class GLUI_Separator;
  friend class GLUI_RadioGroup;
  friend class GLUI_Button;
  friend class GLUI_Checkbox;
  friend class GLUI_RadioButton;
  friend class GLUI_EditText;
  friend class GLUI_Spinner;
  friend class GLUI_Rollout;

  int parent_window_;
  int position_;
  int window_id_ = 0;
  int main_gfx_window_ = 0;
  int panel_width_ = 0;
  int panel_height_ = 0;
  GLUI_Panel root_;
  std::vector<GLUI_Control*> all_;
  GLUI_Control* active_ = nullptr;
  Impl* impl_;
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
  const std::vector<GLUI*>& guis() const { return guis_; }

 private:
  std::vector<GLUI*> guis_;
};

extern GLUI_Master_Object GLUI_Master;

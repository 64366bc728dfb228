// The controls of a panel, and what a program reads and sets on them.
// GLUI's add_ functions make them (glui/glui.h) and the GLUI owns them all.
// Once a frame each control builds its Dear ImGui widgets, handed the
// panel's context (glui/glui_context.h), and records where it was drawn.
// Programs include glui/glui.h, which includes this.
#pragma once

#include <string>
#include <vector>

#include "glui/glui_value.h"

// Frame styles of panels.
enum {
  GLUI_PANEL_NONE = 0,
  GLUI_PANEL_EMBOSSED = 1,
  GLUI_PANEL_RAISED = 2,
};
// A control callback: called with the control's id after it has acted.
typedef void (*GLUI_Update_CB)(int id);

class GLUI;
class GLUI_Panel;
class GLUI_Context;

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
  // The function called back with the id (null: none).
  GLUI_Update_CB get_callback() const { return callback_; }
  void set_callback(GLUI_Update_CB cb) { callback_ = cb; }
  // Where the control was drawn in the last frame, in subwindow pixels:
  // the whole control with its label, and the part that takes clicks
  // (the button, the text box, the box of a checkbox or radio button).
  const GLUI_Rect& rect() const { return rect_; }
  const GLUI_Rect& hot_rect() const { return hot_; }

 protected:
  friend class GLUI_Context;  // builds the controls, ends and commits them
  GLUI_Control(GLUI* glui, GLUI_Panel* parent, const char* name, int id, GLUI_Update_CB cb);
  // Builds the control's ImGui widgets into the frame being built.
  virtual void build(GLUI_Context& ctx) = 0;
  // Commits whatever the user left half-done (typed text) when the
  // control stops being the active one.
  virtual void deactivate(GLUI_Context& ctx) { (void)ctx; }
  // Enter typed into the control: commits what was typed, and the control
  // stays the active one, still being edited.
  virtual void commit_on_enter(GLUI_Context& ctx) { (void)ctx; }
  // Queues this control's callback to run after the frame.
  void notify(GLUI_Context& ctx);
  // Records the last ImGui item (or group) as the control's rectangle, or
  // as its clickable part.
  void record_rect();
  void record_hot_rect(GLUI_Context& ctx);

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
  GLUI_Panel(GLUI* glui, GLUI_Panel* parent, const char* name, int type);
  ~GLUI_Panel() override;
  int get_type() const { return type_; }
  const std::vector<GLUI_Control*>& children() const { return children_; }

 protected:
  friend class GLUI;  // gives each control it makes to its container
  void build(GLUI_Context& ctx) override;
  void build_children(GLUI_Context& ctx);
  int type_;
  std::vector<GLUI_Control*> children_;
};

// A panel whose contents the user shows or hides by clicking its title.
class GLUI_Rollout : public GLUI_Panel {
 public:
  GLUI_Rollout(GLUI* glui, GLUI_Panel* parent, const char* name, bool open, int type);
  bool is_open() const { return open_; }
  void open() { open_ = true; }
  void close() { open_ = false; }

 protected:
  void build(GLUI_Context& ctx) override;
  bool open_;
};

class GLUI_Separator : public GLUI_Control {
 public:
  GLUI_Separator(GLUI* glui, GLUI_Panel* parent);

 protected:
  void build(GLUI_Context& ctx) override;
};

// Calls back with its id when the mouse is released over it.
class GLUI_Button : public GLUI_Control {
 public:
  GLUI_Button(GLUI* glui, GLUI_Panel* parent, const char* name, int id, GLUI_Update_CB cb);

 protected:
  void build(GLUI_Context& ctx) override;
};

class GLUI_Checkbox : public GLUI_Control {
 public:
  GLUI_Checkbox(GLUI* glui, GLUI_Panel* parent, const char* name, int* live_var, int id,
                GLUI_Update_CB cb);
  int get_int_val() const { return value_; }
  void set_int_val(int v);

 protected:
  void build(GLUI_Context& ctx) override;
  void sync_from_live();
  int* live_var_;
  int value_ = 0;
};

// A set of radio buttons with one value: the index of the chosen button.
// Calls back only when the user changes the choice, after the live
// variable has been written.
class GLUI_RadioGroup : public GLUI_Panel {
 public:
  GLUI_RadioGroup(GLUI* glui, GLUI_Panel* parent, int* live_var, int id, GLUI_Update_CB cb);
  int get_int_val() const { return value_; }
  void set_int_val(int v);
  int button_count() const { return static_cast<int>(children_.size()); }
  // The user picks button `index`: writes the value and the live variable
  // and, when the choice changes, queues the callback. Returns whether it
  // changed.
  bool choose(int index, GLUI_Context& ctx);

 protected:
  void build(GLUI_Context& ctx) override;
  void sync_from_live();
  int* live_var_;
  int value_ = 0;
};

class GLUI_RadioButton : public GLUI_Control {
 public:
  GLUI_RadioButton(GLUI* glui, GLUI_RadioGroup* group, const char* name, int index);
  int index() const { return index_; }

 protected:
  void build(GLUI_Context& ctx) override;
  int index_;
};

// A one-line text field. It holds text only, and has no live variable:
// programs read it with get_text.
// The most a text field holds, in bytes of UTF-8: a path's (PATH_MAX less
// its terminator). Longer text, pasted or typed, is cut at a character
// boundary, and the program says so on standard output.
constexpr size_t kGluiFieldMaxBytes = 4095;

class GLUI_EditText : public GLUI_Control {
 public:
  // What the field's edit callback reads and sets while ImGui edits it.
  struct Editing {
    // A click into the field while it showed the end of a text too long
    // for it: the byte before which the caret goes, once the edit has
    // begun.
    int caret_due = -1;
    bool cut = false;      // the text was cut to the field's bound
    std::string selected;  // the text selected in the field, UTF-8
  };

  GLUI_EditText(GLUI* glui, GLUI_Panel* parent, const char* name, int id, GLUI_Update_CB cb);
  const char* get_text() const { return text_.c_str(); }
  void set_text(const char* text);
  // The whole control's width in pixels, label included.
  void set_w(int width) { box_w_ = width; }
  int get_w() const { return box_w_; }

 protected:
  void build(GLUI_Context& ctx) override;
  void commit_on_enter(GLUI_Context& ctx) override;
  // The tooltip with the whole text, while the pointer rests on a field
  // too short for it.
  void show_whole_text(GLUI_Context& ctx, bool hovered);
  std::string text_;
  int box_w_ = 0;  // 0: the toolkit's default width
  Editing editing_;
  std::string primary_;        // the selection offered as PRIMARY last frame
  int hovered_since_ms_ = -1;  // the pointer rests on the field since then
  bool tooltip_shown_ = false;
};

// A number field with up and down arrows.
class GLUI_Spinner : public GLUI_Control {
 public:
  GLUI_Spinner(GLUI* glui, GLUI_Panel* parent, const char* name, int data_type, void* live_var,
               int id, GLUI_Update_CB cb);
  int get_int_val() const { return value_.get_int_val(); }
  float get_float_val() const { return value_.get_float_val(); }
  void set_int_val(int v);
  void set_float_val(float v);
  void set_int_limits(int low, int high, int limit_type = GLUI_LIMIT_CLAMP);
  void set_float_limits(float low, float high, int limit_type = GLUI_LIMIT_CLAMP);
  // The text being typed into the field, or its shown value.
  const char* get_text() const { return edit_.c_str(); }
  // Where the two arrows were drawn (hot_rect() is the text box).
  const GLUI_Rect& up_rect() const { return up_; }
  const GLUI_Rect& down_rect() const { return down_; }

 protected:
  void build(GLUI_Context& ctx) override;
  void deactivate(GLUI_Context& ctx) override;
  void commit_on_enter(GLUI_Context& ctx) override;
  void commit(GLUI_Context& ctx);
  void step(GLUI_Context& ctx, int direction);
  void changed(GLUI_Context& ctx);
  GLUI_SpinnerValue value_;
  void* live_var_;
  std::string edit_;      // what the field shows or the user is typing
  bool editing_ = false;  // the user has typed since the last commit
  // The committed value is to replace the text in the field still being
  // edited (ImGui owns that text until the edit ends).
  bool show_committed_ = false;
  GLUI_Rect up_, down_;
};

// The per-panel context: what one panel keeps beside its controls (its own
// Dear ImGui context, the active control, the callbacks due, its size), the
// frames that run it, and the layout state its widgets are handed while a
// frame is built. The GLUT side (glui_glut.cpp) turns events into ImGui
// input and runs the frames; the widgets (glui_widgets.cpp) build
// themselves into them. For the toolkit only: programs include glui.h.
//
// Dear ImGui 1.86 reads mouse buttons and keys as states polled once a
// frame, so a press and release that arrive between two frames (a quick
// click) would be lost; the toolkit therefore runs one ImGui frame for
// every button or key transition as it arrives, without drawing, and draws
// only when GLUT asks for a display. Control callbacks are collected while
// a frame is built and run after it, outside ImGui, with the main graphics
// window current.
#pragma once

#include <imgui.h>

#include <chrono>
#include <string>
#include <vector>

#include "glui/glui.h"
#include "glui/glui_clipboard.h"
#include "glui/glui_fonts.h"

class GLUI_Context {
 public:
  // Makes the panel's ImGui context, themed, with its backends set up.
  explicit GLUI_Context(GLUI& gui);
  ~GLUI_Context();
  GLUI_Context(const GLUI_Context&) = delete;
  GLUI_Context& operator=(const GLUI_Context&) = delete;

  ImGuiContext* imgui() const { return imgui_; }

  // --- Frames, run by the GLUT side --------------------------------------

  // One frame that takes in the input received so far, without drawing;
  // then the callbacks due.
  void input_frame();
  // Draws the panel into its subwindow, which is current, at the size the
  // subwindow has now; then the callbacks due.
  void render();
  // Enter typed into the active control, which keeps the keys.
  void enter();
  // The panel's share of the idle work: the frames a held control needs
  // between input events, and redraws for a blinking caret.
  void idle();

  // The control clicked last, until a click in the main window.
  GLUI_Control* active() const { return active_; }
  // Ends the active control, committing what was typed into it, and
  // reports a committed value at once.
  void deactivate();

  // The panel's size in pixels: it fits the controls, measured when first
  // asked for after a control was added.
  int width();
  int height();
  void controls_changed() { width_ = height_ = 0; }

  // The message drawn below the controls (GLUI::set_message), and the
  // height it takes below them with `lines` lines.
  void set_message(std::vector<GLUI_MessageLine> lines);
  int message_room(int lines);

  // --- For the widgets, while a frame is built ---------------------------

  // Sizing the panel: frames hug their contents instead of spanning the
  // width their container leaves.
  bool measuring() const { return measuring_; }
  // The width a container leaves its children; a container pushes what
  // it leaves inside its frame while it builds them.
  float avail_width() const { return avail_.back(); }
  void push_avail_width(float width) { avail_.push_back(width); }
  void pop_avail_width() { avail_.pop_back(); }
  // Builds a control's widgets, under an ImGui id of its own.
  void build(GLUI_Control* control);
  // The last ImGui item is a part of `control` that takes clicks: returns
  // where it was drawn, and makes the control the active one when the
  // item was clicked in this frame.
  GLUI_Rect clickable_item(GLUI_Control* control);
  // The panel's font, for texts that may need glyphs beyond its own.
  GluiFonts& fonts() { return fonts_; }
  // Runs a control callback after the frame.
  void queue_callback(GLUI_Update_CB cb, int id);
  // The time of the frame being built, in milliseconds since GLUT began.
  int now_ms() const { return last_frame_ms_; }
  // A text field's text was cut to the bound it holds: said once the
  // frame is over.
  void report_cut() { cut_ = true; }
  // The selection's text, cut to what a field holds (and said so).
  std::string paste(glui_x11::Selection which);
  // Draws the panel again once this time has come, though no input came
  // (a tooltip that shows after a while).
  void redraw_at(int ms);

 private:
  struct Due {
    GLUI_Update_CB cb;
    int id;
  };
  void build_panel();
  void draw_message();
  void set_frame_time();
  void run_callbacks();
  void hold_frame();
  void measure();
  void say_cut();

  GLUI& gui_;
  ImGuiContext* imgui_ = nullptr;
  GluiFonts fonts_;
  GLUI_Control* active_ = nullptr;
  std::vector<Due> pending_;  // callbacks due after this frame
  bool measuring_ = false;
  bool activated_ = false;      // some control was clicked in this frame
  std::vector<float> avail_;    // width left for controls, per open container
  int width_ = 0, height_ = 0;  // 0: not measured since the last control
  int last_frame_ms_ = 0;
  int last_blink_ms_ = 0;
  int redraw_due_ms_ = -1;                       // -1: none due
  bool cut_ = false;                             // see report_cut
  std::chrono::steady_clock::duration waits_{};  // paste_waits() at the last frame
  ImVec2 drawn_size_;                            // the subwindow's size at the last drawing
  std::vector<GLUI_MessageLine> message_;
};

// Makes an ImGui context current for a scope.
class GluiContextScope {
 public:
  explicit GluiContextScope(ImGuiContext* ctx) : prev_(ImGui::GetCurrentContext()) {
    ImGui::SetCurrentContext(ctx);
  }
  ~GluiContextScope() { ImGui::SetCurrentContext(prev_); }
  GluiContextScope(const GluiContextScope&) = delete;
  GluiContextScope& operator=(const GluiContextScope&) = delete;

 private:
  ImGuiContext* prev_;
};

// The whole pixels covering the ImGui rectangle from min to max.
GLUI_Rect glui_rect_of(ImVec2 min, ImVec2 max);

// Hands one input transition to the panel's ImGui context, then runs the
// frame in which ImGui sees it.
template <typename Event>
void glui_transition(GLUI* gui, Event&& event) {
  {
    GluiContextScope scope(gui->context().imgui());
    event();
  }
  gui->context().input_frame();
}

// Whether the panel serves `window`: docked on it, or calling back into it.
inline bool glui_serves(const GLUI* g, int window) {
  return g->get_parent_window() == window || g->get_main_gfx_window() == window;
}

// Whether a control takes typed text (edit fields and spinners).
bool glui_takes_text(const GLUI_Control* control);

// Where the boxes of a container's text fields and spinners start, as an
// offset for ImGui::SameLine: after the longest of their labels. Valid
// while the container is being built.
float glui_label_column(const GLUI_Panel& panel);

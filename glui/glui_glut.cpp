// The GLUT side of the toolkit, like Dear ImGui's GLUT backend: the
// callbacks it registers for each panel subwindow and, through
// GLUI_Master, for the main window; they turn GLUT's mouse and window
// events into ImGui input and run the panel's frames (glui_context.h).
// Also here: the middle button's paste, and the idle loop's pace. The
// keys' entry points are glui_keys.cpp's.
#include <GL/freeglut.h>
#include <backends/imgui_impl_glut.h>
#include <imgui.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <string>

#include "glui/glui.h"
#include "glui/glui_clipboard.h"
#include "glui/glui_context.h"
#include "glui/glui_imgui.h"
#include "glui/glui_input.h"
#include "glui/glui_keys.h"

namespace {

// The main windows' callbacks that GLUI_Master forwards, by GLUT window id
// (the keys' are glui_keys.cpp's).
struct Forwarded {
  void (*reshape)(int, int) = nullptr;
  void (*mouse)(int, int, int, int) = nullptr;
};
std::map<int, Forwarded> forwarded;
void (*user_idle)() = nullptr;

}  // namespace

// --- Event entry points ------------------------------------------------------

void glui_panel_display(GLUI* gui) {
  // A panel that has not been placed yet (no forwarded reshape reached its
  // main window) places itself before it draws.
  if (glutGet(GLUT_WINDOW_WIDTH) != gui->get_panel_width() &&
      (gui->get_position() == GLUI_SUBWINDOW_RIGHT || gui->get_position() == GLUI_SUBWINDOW_LEFT)) {
    int self = glutGetWindow();
    GLUI_Master.reposition_subwindows(gui->get_parent_window());
    glutSetWindow(self);
  }
  gui->context().render();
}

void glui_panel_reshape(GLUI* gui, int width, int height) {
  GluiContextScope scope(gui->context().imgui());
  ImGui::GetIO().DisplaySize =
      ImVec2(static_cast<float>(std::max(width, 1)), static_cast<float>(std::max(height, 1)));
  glutPostWindowRedisplay(gui->get_glut_window_id());
}

namespace {

// The text field or spinner whose box holds the panel point (x, y).
GLUI_Control* text_control_at(GLUI* gui, int x, int y) {
  for (GLUI_Control* c : gui->controls()) {
    const GLUI_Rect& r = c->hot_rect();
    if (glui_takes_text(c) && x >= r.x && x < r.x + r.w && y >= r.y && y < r.y + r.h) return c;
  }
  return nullptr;
}

// A middle click into a text field or spinner pastes the primary
// selection (the text last selected in any program) where it clicks, as
// X programs do: a left click puts the caret there, then the text is typed.
void paste_primary_at(GLUI* gui, int x, int y) {
  for (int state : {GLUT_DOWN, GLUT_UP}) {
    {
      GluiContextScope scope(gui->context().imgui());
      ImGui_ImplGLUT_MouseFunc(GLUT_LEFT_BUTTON, state, x, y);
    }
    gui->context().input_frame();
  }
  std::string text = gui->context().paste(glui_x11::Selection::primary);
  {
    GluiContextScope scope(gui->context().imgui());
    ImGui::GetIO().AddInputCharactersUTF8(text.c_str());
  }
  gui->context().input_frame();
}

}  // namespace

void glui_panel_mouse(GLUI* gui, int button, int state, int x, int y) {
  if (button == GLUT_MIDDLE_BUTTON && text_control_at(gui, x, y)) {
    if (state == GLUT_DOWN) paste_primary_at(gui, x, y);
    return;
  }
  {
    GluiContextScope scope(gui->context().imgui());
    if (button == 3 || button == 4) {  // freeglut reports the wheel as buttons 3 and 4
      glui_imgui::mouse_wheel(static_cast<float>(x), static_cast<float>(y),
                              state == GLUT_DOWN ? (button == 3 ? 1.0f : -1.0f) : 0.0f);
    } else {
      ImGui_ImplGLUT_MouseFunc(button, state, x, y);
    }
  }
  gui->context().input_frame();
}

void glui_panel_motion(GLUI* gui, int x, int y) {
  GluiContextScope scope(gui->context().imgui());
  ImGui_ImplGLUT_MotionFunc(x, y);
  glutPostWindowRedisplay(gui->get_glut_window_id());
}

namespace {}  // namespace

void glui_main_reshape(int width, int height) {
  int window = glutGetWindow();
  auto it = forwarded.find(window);
  if (it != forwarded.end() && it->second.reshape) it->second.reshape(width, height);
  GLUI_Master.reposition_subwindows(window);
  glutSetWindow(window);
}

void glui_main_mouse(int button, int state, int x, int y) {
  int window = glutGetWindow();
  // A click in the main window ends the panel's active control first,
  // committing what was typed into it.
  for (const auto& g : GLUI_Master.guis())
    if (g->get_active_control() && glui_serves(g.get(), window)) g->deactivate_current_control();
  glutSetWindow(window);
  auto it = forwarded.find(window);
  if (it != forwarded.end() && it->second.mouse) it->second.mouse(button, state, x, y);
}

namespace {

// The idle work runs once a frame of the screen. GLUT calls an idle
// function over and over, as fast as the processor allows; between frames
// none is set, so that GLUT sleeps until an event arrives or this timer
// brings the idle function back at the next frame.
using Clock = std::chrono::steady_clock;
constexpr auto kFrame = std::chrono::microseconds(16667);  // 1/60 s
Clock::time_point next_frame;
bool idle_asleep = false;

void wake_idle(int value) {
  (void)value;
  idle_asleep = false;
  glutIdleFunc(glui_idle);
}

void sleep_until_next_frame() {
  Clock::time_point now = Clock::now();
  next_frame += kFrame;
  if (next_frame <= now || next_frame > now + kFrame) next_frame = now + kFrame;
  auto wait = std::chrono::ceil<std::chrono::milliseconds>(next_frame - now);
  glutIdleFunc(nullptr);
  idle_asleep = true;
  glutTimerFunc(static_cast<unsigned>(wait.count()), wake_idle, 0);
}

}  // namespace

void glui_idle() {
  glui_keys::take_dropped_presses();
  for (const auto& g : GLUI_Master.guis()) g->context().idle();
  if (user_idle) user_idle();
  sleep_until_next_frame();
}

// --- GLUI_Master --------------------------------------------------------------

namespace {

GLUI* current_gui() { return GLUI_Master.find_glui_by_window_id(glutGetWindow()); }

void panel_display_cb() {
  if (GLUI* g = current_gui()) glui_panel_display(g);
}
void panel_reshape_cb(int w, int h) {
  if (GLUI* g = current_gui()) glui_panel_reshape(g, w, h);
}
void panel_mouse_cb(int b, int s, int x, int y) {
  if (GLUI* g = current_gui()) glui_panel_mouse(g, b, s, x, y);
}
void panel_motion_cb(int x, int y) {
  if (GLUI* g = current_gui()) glui_panel_motion(g, x, y);
}
void panel_keyboard_cb(unsigned char k, int x, int y) {
  if (GLUI* g = current_gui()) glui_panel_keyboard(g, k, x, y);
}
void panel_keyboard_up_cb(unsigned char k, int x, int y) {
  if (GLUI* g = current_gui()) glui_panel_keyboard_up(g, k, x, y);
}
void panel_special_cb(int k, int x, int y) {
  if (GLUI* g = current_gui()) glui_panel_special(g, k, x, y);
}
void panel_special_up_cb(int k, int x, int y) {
  if (GLUI* g = current_gui()) glui_panel_special_up(g, k, x, y);
}
void panel_entry_cb(int state) {
  // The pointer left the panel: nothing is hovered any more.
  if (state != GLUT_LEFT) return;
  if (GLUI* g = current_gui()) glui_panel_motion(g, -100000, -100000);
}

}  // namespace

GLUI* GLUI_Master_Object::create_glui_subwindow(int parent_window, int position) {
  glutSetWindow(parent_window);
  int height = std::max(glutGet(GLUT_WINDOW_HEIGHT), 1);
  // The width fits the controls, which do not exist yet: it is settled when
  // first asked for, before the main window's first display.
  int window = glutCreateSubWindow(parent_window, 0, 0, 1, height);
  guis_.push_back(std::unique_ptr<GLUI>(new GLUI(parent_window, position, window)));
  GLUI* g = guis_.back().get();
  glutDisplayFunc(panel_display_cb);
  glutReshapeFunc(panel_reshape_cb);
  glutMouseFunc(panel_mouse_cb);
  glutMotionFunc(panel_motion_cb);
  glutPassiveMotionFunc(panel_motion_cb);
  glutKeyboardFunc(panel_keyboard_cb);
  glutKeyboardUpFunc(panel_keyboard_up_cb);
  glutSpecialFunc(panel_special_cb);
  glutSpecialUpFunc(panel_special_up_cb);
  glutEntryFunc(panel_entry_cb);
  glui_keys::watch_current_window();
  glutSetWindow(parent_window);
  return g;
}

void GLUI_Master_Object::set_glutReshapeFunc(void (*f)(int, int)) {
  forwarded[glutGetWindow()].reshape = f;
  glutReshapeFunc(glui_main_reshape);
}

void GLUI_Master_Object::set_glutMouseFunc(void (*f)(int, int, int, int)) {
  forwarded[glutGetWindow()].mouse = f;
  glutMouseFunc(glui_main_mouse);
}

void GLUI_Master_Object::set_glutIdleFunc(void (*f)()) {
  user_idle = f;
  if (!idle_asleep) glutIdleFunc(glui_idle);  // else the timer brings it back
}

// The GLUT side of the toolkit, like Dear ImGui's GLUT backend: the
// callbacks it registers for each panel subwindow and, through
// GLUI_Master, for the main window; they turn GLUT's events into ImGui
// input and run the panel's frames (glui_context.h). Also here: which
// panel takes the keys typed over a main window, the idle loop, and where
// the subwindows sit.
#include <GL/freeglut.h>
#include <backends/imgui_impl_glut.h>
#include <imgui.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <string>

#include "glui/glui.h"
#include "glui/glui_context.h"
#include "glui/glui_imgui.h"
#include "glui/glui_input.h"
#include "glui/glui_x11.h"

GLUI_Master_Object GLUI_Master;

namespace {

// The main windows' callbacks that GLUI_Master forwards, by GLUT window id.
struct Forwarded {
  void (*reshape)(int, int) = nullptr;
  void (*keyboard)(unsigned char, int, int) = nullptr;
  void (*special)(int, int, int) = nullptr;
  void (*mouse)(int, int, int, int) = nullptr;
  // The toolkit's own keyboard and special functions are installed: every
  // key GLUT reports for the window then passes through the toolkit.
  bool keyboard_installed = false;
  bool special_installed = false;
};

// Starts taking the X server's account of the keys of the current window
// once the toolkit sees every key GLUT reports for it.
void watch_keys(Forwarded& f) {
  if (f.keyboard_installed && f.special_installed) glui_x11::watch_current_window();
}
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

namespace {

// Hands one input transition to the panel's ImGui context, then runs the
// frame in which ImGui sees it.
template <typename Event>
void transition(GLUI* gui, Event&& event) {
  {
    GluiContextScope scope(gui->context().imgui());
    event();
  }
  gui->context().input_frame();
}

// A key as GLUT reports it: a character (keyboard functions) or one of
// GLUT's special keys (arrows, function keys, Home, End...).
struct Key {
  int code;
  bool special;
};

// A character key going down, typing `text` (UTF-8) rather than GLUT's
// byte, which is one byte of the key's text only (in a UTF-8 locale the
// first of a longer sequence). The key itself is held as the GLUT backend
// holds it, so that shortcuts still work.
void feed_text_key(unsigned char c, const std::string& text) {
  const int mods = glutGetModifiers();
  glui_imgui::set_modifiers(mods & GLUT_ACTIVE_CTRL, mods & GLUT_ACTIVE_SHIFT,
                            mods & GLUT_ACTIVE_ALT);
  glui_imgui::set_key_down(c, true);
  if (c >= 'a' && c <= 'z') glui_imgui::set_key_down(c - 'a' + 'A', true);
  if (c >= 'A' && c <= 'Z') glui_imgui::set_key_down(c - 'A' + 'a', true);
  ImGui::GetIO().AddInputCharactersUTF8(text.c_str());
}

// Tells the current ImGui context that a key went down or up.
void feed_key(Key k, bool down) {
  if (k.special)
    down ? ImGui_ImplGLUT_SpecialFunc(k.code, 0, 0) : ImGui_ImplGLUT_SpecialUpFunc(k.code, 0, 0);
  else if (down)
    ImGui_ImplGLUT_KeyboardFunc(static_cast<unsigned char>(k.code), 0, 0);
  else
    ImGui_ImplGLUT_KeyboardUpFunc(static_cast<unsigned char>(k.code), 0, 0);
}

// Whether the current ImGui context holds the key down (the GLUT backend
// keeps special keys 256 places after the characters).
bool key_held(Key k) {
  return glui_imgui::key_down(k.special ? k.code + glui_imgui::kSpecialKeyBase : k.code);
}

constexpr int kEnter = 13, kEscape = 27;

// A key going down or up in a panel.
//
// Enter and Esc are the toolkit's: ImGui would end the edit on either (and
// throw the typed text away on Esc), while the control clicked last keeps
// the keys until the next click in the main window. Enter commits what was
// typed; Esc does nothing, and does not reach the program either.
//
// GLUT repeats a held key as further presses; ImGui counts a press only
// when the key goes down, so each press is preceded by a release.
//
// A character key going down types `text` (see glui_x11.h), not GLUT's
// byte.
void panel_key(GLUI* gui, Key k, bool down, const std::string* text = nullptr) {
  if (!k.special && k.code == kEscape) return;
  if (!k.special && k.code == kEnter && glui_takes_text(gui->get_active_control())) {
    if (down) gui->context().enter();
    return;
  }
  if (down) {
    transition(gui, [&] {
      if (key_held(k)) feed_key(k, false);
    });
  }
  if (down && text) {
    transition(gui, [&] { feed_text_key(static_cast<unsigned char>(k.code), *text); });
    return;
  }
  transition(gui, [&] { feed_key(k, down); });
}

// Whether the panel serves `window`: docked on it, or calling back into it.
bool serves(const GLUI* g, int window) {
  return g->get_parent_window() == window || g->get_main_gfx_window() == window;
}

// A key going down or up over a main window. The control clicked last
// takes the keys until the next click in the window, and only text
// controls use them; otherwise a key going down reaches the program's
// keyboard or special function, if it gave one.
void main_key(Key k, bool down, int x, int y, const std::string* text = nullptr) {
  int window = glutGetWindow();
  for (const auto& g : GLUI_Master.guis()) {
    if (!g->get_active_control() || !serves(g.get(), window)) continue;
    if (glui_takes_text(g->get_active_control())) panel_key(g.get(), k, down, text);
    glutSetWindow(window);
    return;
  }
  auto it = forwarded.find(window);
  if (!down || it == forwarded.end()) return;
  if (k.special && it->second.special) it->second.special(k.code, x, y);
  if (!k.special && it->second.keyboard)
    it->second.keyboard(static_cast<unsigned char>(k.code), x, y);
}

// The panel whose text control takes the keys typed into `window`: the
// panel itself, or a panel serving a main window.
GLUI* text_target(int window) {
  if (GLUI* g = GLUI_Master.find_glui_by_window_id(window))
    return glui_takes_text(g->get_active_control()) ? g : nullptr;
  for (const auto& g : GLUI_Master.guis())
    if (g->get_active_control() && serves(g.get(), window))
      return glui_takes_text(g->get_active_control()) ? g.get() : nullptr;
  return nullptr;
}

// A key press that GLUT dropped, in its place among the keys GLUT reports:
// text composed by the input method, and Shift+Tab, which moves back
// through the text fields and spinners as Tab moves on.
void dropped_press(const glui_x11::Press& press) {
  GLUI* gui = text_target(press.glut_window);
  if (!gui) return;
  constexpr int kTab = '\t';
  if (press.back_tab) {
    transition(gui, [] {
      glui_imgui::set_modifiers(false, true, false);
      glui_imgui::set_key_down(kTab, true);
    });
    transition(gui, [] {
      glui_imgui::set_key_down(kTab, false);
      glui_imgui::set_modifiers(false, false, false);
    });
  } else if (!press.text.empty()) {
    transition(gui, [&] { ImGui::GetIO().AddInputCharactersUTF8(press.text.c_str()); });
  }
}

bool is_character(unsigned char c) { return c >= ' ' && c != 0x7F; }

// A character key's text, or null for a control key, after the keys GLUT
// dropped before it have had their turn (see glui_x11.h).
const std::string* key_text(unsigned char c, std::string* storage) {
  if (!is_character(c)) {
    glui_x11::take_control_key(dropped_press);
    return nullptr;
  }
  *storage = glui_x11::character_key_text(c, dropped_press);
  return storage;
}

}  // namespace

void glui_panel_keyboard(GLUI* gui, unsigned char key, int x, int y) {
  (void)x;
  (void)y;
  std::string text;
  panel_key(gui, {key, false}, true, key_text(key, &text));
}
void glui_panel_keyboard_up(GLUI* gui, unsigned char key, int x, int y) {
  (void)x;
  (void)y;
  panel_key(gui, {key, false}, false);
}
void glui_panel_special(GLUI* gui, int key, int x, int y) {
  (void)x;
  (void)y;
  glui_x11::take_control_key(dropped_press);
  panel_key(gui, {key, true}, true);
}
void glui_panel_special_up(GLUI* gui, int key, int x, int y) {
  (void)x;
  (void)y;
  panel_key(gui, {key, true}, false);
}

void glui_main_reshape(int width, int height) {
  int window = glutGetWindow();
  auto it = forwarded.find(window);
  if (it != forwarded.end() && it->second.reshape) it->second.reshape(width, height);
  GLUI_Master.reposition_subwindows(window);
  glutSetWindow(window);
}

void glui_main_keyboard(unsigned char key, int x, int y) {
  std::string text;
  main_key({key, false}, true, x, y, key_text(key, &text));
}
void glui_main_keyboard_up(unsigned char key, int x, int y) { main_key({key, false}, false, x, y); }
void glui_main_special(int key, int x, int y) {
  glui_x11::take_control_key(dropped_press);
  main_key({key, true}, true, x, y);
}
void glui_main_special_up(int key, int x, int y) { main_key({key, true}, false, x, y); }

void glui_main_mouse(int button, int state, int x, int y) {
  int window = glutGetWindow();
  // A click in the main window ends the panel's active control first,
  // committing what was typed into it.
  for (const auto& g : GLUI_Master.guis())
    if (g->get_active_control() && serves(g.get(), window)) g->deactivate_current_control();
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
  glui_x11::take_dropped_presses(dropped_press);
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
  glui_x11::watch_current_window();
  glutSetWindow(parent_window);
  return g;
}

void GLUI_Master_Object::set_glutReshapeFunc(void (*f)(int, int)) {
  forwarded[glutGetWindow()].reshape = f;
  glutReshapeFunc(glui_main_reshape);
}

void GLUI_Master_Object::set_glutKeyboardFunc(void (*f)(unsigned char, int, int)) {
  Forwarded& forwards = forwarded[glutGetWindow()];
  forwards.keyboard = f;
  glutKeyboardFunc(glui_main_keyboard);
  glutKeyboardUpFunc(glui_main_keyboard_up);
  forwards.keyboard_installed = true;
  watch_keys(forwards);
}

void GLUI_Master_Object::set_glutSpecialFunc(void (*f)(int, int, int)) {
  Forwarded& forwards = forwarded[glutGetWindow()];
  forwards.special = f;
  glutSpecialFunc(glui_main_special);
  glutSpecialUpFunc(glui_main_special_up);
  forwards.special_installed = true;
  watch_keys(forwards);
}

void GLUI_Master_Object::set_glutMouseFunc(void (*f)(int, int, int, int)) {
  forwarded[glutGetWindow()].mouse = f;
  glutMouseFunc(glui_main_mouse);
}

void GLUI_Master_Object::set_glutIdleFunc(void (*f)()) {
  user_idle = f;
  if (!idle_asleep) glutIdleFunc(glui_idle);  // else the timer brings it back
}

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

#include "tests/support/glui_harness.h"

#include <GL/freeglut.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "app/panel.h"
#include "app/state.h"
#include "glui/glui_input.h"
#include "tests/support/gl_driver.h"

namespace {
bool glut_ready = false;
}

int glui_test_main_window(int width, int height) {
  if (!glut_ready) {
    int argc = 1;
    char name[] = "glui-test";
    char* argv[] = {name, nullptr};
    glutInit(&argc, argv);
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_CONTINUE_EXECUTION);
    glut_ready = true;
  }
  glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE);
  glutInitWindowPosition(50, 50);
  glutInitWindowSize(width, height);
  int window = glutCreateWindow("glui test");
  glutDisplayFunc([] { glutSwapBuffers(); });
  pin_gl_driver();
  return window;
}

bool glui_pump_until(const std::function<bool()>& done, int timeout_ms) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    glutMainLoopEvent();
    if (done()) return true;
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

void glui_pump(int ms) {
  glui_pump_until([] { return false; }, ms);
}

void glui_display(GLUI* gui) {
  int prev = glutGetWindow();
  glutSetWindow(gui->get_glut_window_id());
  glui_panel_display(gui);
  if (prev > 0) glutSetWindow(prev);
}

void glui_press_release(GLUI* gui, int x, int y, int release_x, int release_y) {
  glutSetWindow(gui->get_glut_window_id());
  glui_panel_mouse(gui, GLUT_LEFT_BUTTON, GLUT_DOWN, x, y);
  glutSetWindow(gui->get_glut_window_id());
  glui_panel_mouse(gui, GLUT_LEFT_BUTTON, GLUT_UP, release_x, release_y);
}

void glui_click(GLUI* gui, int x, int y) { glui_press_release(gui, x, y, x, y); }

void glui_click(GLUI* gui, const GLUI_Rect& r) { glui_click(gui, r.center_x(), r.center_y()); }

void glui_type_over_main(int window, const char* text) {
  for (const char* p = text; *p; ++p) {
    unsigned char key = static_cast<unsigned char>(*p);
    glutSetWindow(window);
    glui_main_keyboard(key, 10, 10);
    glutSetWindow(window);
    glui_main_keyboard_up(key, 10, 10);
  }
}

void glui_main_click(int window, int button, int state, int x, int y) {
  glutSetWindow(window);
  glui_main_mouse(button, state, x, y);
}

GLUI_Control* glui_find_control(GLUI* gui, const char* label) {
  for (GLUI_Control* c : gui->controls())
    if (std::strcmp(c->get_name(), label) == 0) return c;
  return nullptr;
}

bool glui_build_test_panel(GluiTestPanel* p, GLUI_Update_CB control_cb,
                           const GluiTestForwards& forwards, int width, int height) {
  *p = GluiTestPanel();
  brush_type = falloff_type = follow_edges = small_strokes_on_top = 0;
  main_window = glui_test_main_window(width, height);
  if (forwards.display) glutDisplayFunc(forwards.display);
  GLUI_Master.set_glutReshapeFunc(forwards.reshape);
  GLUI_Master.set_glutKeyboardFunc(forwards.keyboard);
  GLUI_Master.set_glutSpecialFunc(nullptr);
  GLUI_Master.set_glutMouseFunc(forwards.mouse);
  glui = GLUI_Master.create_glui_subwindow(main_window, GLUI_SUBWINDOW_RIGHT);
  build_control_panel();
  glui->set_main_gfx_window(main_window);
  for (GLUI_Control* c : glui->controls())
    if (c->get_callback()) c->set_callback(control_cb);
  p->load = dynamic_cast<GLUI_Button*>(glui_find_control(glui, "Load Image"));
  p->quit = dynamic_cast<GLUI_Button*>(glui_find_control(glui, "Quit"));
  p->advanced = dynamic_cast<GLUI_Rollout*>(glui_find_control(glui, "Advanced"));
  p->small_on_top = dynamic_cast<GLUI_Checkbox*>(glui_find_control(glui, "Small Strokes On Top"));
  if (!p->load || !p->quit || !p->advanced || !p->small_on_top) return false;

  // Mapped, placed at its width and drawn at that size: sizing the panel
  // builds frames too, but with separators one pixel wide, so a separator
  // as wide as the panel shows a real display has run.
  const GLUI_Control* separator = nullptr;
  for (const GLUI_Control* c : glui->controls())
    if (!separator && dynamic_cast<const GLUI_Separator*>(c)) separator = c;
  bool ready = glui_pump_until([separator] {
    GLUI_Rect r = glui_panel_geometry(glui);
    return r.w == glui->get_panel_width() && separator->rect().w > r.w / 2;
  });
  glutSetWindow(main_window);
  return ready;
}

GLUI_Rect glui_panel_geometry(GLUI* gui) {
  int prev = glutGetWindow();
  glutSetWindow(gui->get_glut_window_id());
  GLUI_Rect r;
  r.x = glutGet(GLUT_WINDOW_X);
  r.y = glutGet(GLUT_WINDOW_Y);
  r.w = glutGet(GLUT_WINDOW_WIDTH);
  r.h = glutGet(GLUT_WINDOW_HEIGHT);
  if (prev > 0) glutSetWindow(prev);
  return r;
}

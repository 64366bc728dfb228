#include "tests/support/glui_harness.h"

#include "tests/support/gl_driver.h"

#include <GL/freeglut.h>

#include <chrono>
#include <thread>

#include "glui/glui_input.h"

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

bool glui_build_test_panel(GluiTestPanel* p, GLUI_Update_CB control_cb,
                           const GluiTestForwards& forwards, int width, int height) {
  *p = GluiTestPanel();  // live variables start at zero, as a program's do
  p->main_window = glui_test_main_window(width, height);
  if (forwards.display) glutDisplayFunc(forwards.display);
  GLUI_Master.set_glutReshapeFunc(forwards.reshape);
  GLUI_Master.set_glutKeyboardFunc(forwards.keyboard);
  GLUI_Master.set_glutSpecialFunc(nullptr);
  GLUI_Master.set_glutMouseFunc(forwards.mouse);
  GLUI* g = GLUI_Master.create_glui_subwindow(p->main_window, GLUI_SUBWINDOW_RIGHT);
  p->gui = g;
  p->image_name = g->add_edittext("Image Filename: ", GLUI_EDITTEXT_TEXT, nullptr, -1, nullptr);
  p->image_name->set_w(200);
  p->image_name->set_text("image1.jpg");
  p->load = g->add_button("Load Image", 100, control_cb);
  p->quit = g->add_button("Quit", 0, control_cb);
  g->add_separator();
  GLUI_Panel* brushes = g->add_panel("Brushes", GLUI_PANEL_EMBOSSED);
  p->brush_group = g->add_radiogroup_to_panel(brushes, &p->brush, 102, control_cb);
  for (const char* name : {"Circles", "Lines", "Crosses", "Blocks", "OBJ File"})
    g->add_radiobutton_to_group(p->brush_group, name);
  p->obj_name = g->add_edittext_to_panel(brushes, "OBJ Filename: ", GLUI_EDITTEXT_TEXT, nullptr, -1,
                                         nullptr);
  p->obj_name->set_text("sphere.obj");
  p->load_obj = g->add_button_to_panel(brushes, "Load OBJ Model", 104, control_cb);
  g->add_separator();
  p->advanced = g->add_rollout("Advanced", true);
  p->number = g->add_spinner_to_panel(p->advanced, "Stroke Number: ", GLUI_SPINNER_INT, nullptr, -1,
                                      nullptr);
  p->number->set_int_limits(1, 100, GLUI_LIMIT_CLAMP);
  p->number->set_int_val(20);
  p->radius = g->add_spinner_to_panel(p->advanced, "Stroke Radius: ", GLUI_SPINNER_INT, nullptr, -1,
                                      nullptr);
  p->radius->set_float_limits(1.0f, 100.0f, GLUI_LIMIT_CLAMP);
  p->radius->set_float_val(50.0f);
  p->small_on_top = g->add_checkbox_to_panel(p->advanced, "Small Strokes On Top", &p->small_strokes,
                                             -1, nullptr);
  g->add_separator_to_panel(p->advanced);
  GLUI_Panel* field = g->add_panel_to_panel(p->advanced, "Vector Field", GLUI_PANEL_EMBOSSED);
  p->follow = g->add_checkbox_to_panel(field, "Follow Edges:", &p->follow_edges, -1, nullptr);
  p->threshold = g->add_spinner_to_panel(field, "Gradient Threshold: ", GLUI_SPINNER_INT, nullptr,
                                         -1, nullptr);
  p->threshold->set_float_limits(0.0f, 255.0f, GLUI_LIMIT_CLAMP);
  p->threshold->set_float_val(12.0f);
  GLUI_Panel* falloff = g->add_panel_to_panel(field, "Vector Field Falloff", GLUI_PANEL_EMBOSSED);
  p->falloff_group = g->add_radiogroup_to_panel(falloff, &p->falloff, -1, nullptr);
  g->add_radiobutton_to_group(p->falloff_group, "Reciprocal");
  g->add_radiobutton_to_group(p->falloff_group, "Exponential");
  g->set_main_gfx_window(p->main_window);

  // Mapped, placed at its width and drawn at that size: sizing the panel
  // builds frames too, but with separators one pixel wide, so a separator
  // as wide as the panel shows a real display has run.
  const GLUI_Control* separator = nullptr;
  for (const GLUI_Control* c : g->controls())
    if (!separator && dynamic_cast<const GLUI_Separator*>(c)) separator = c;
  bool ready = glui_pump_until([p, separator] {
    GLUI_Rect r = glui_panel_geometry(p->gui);
    return r.w == p->gui->get_panel_width() && separator->rect().w > r.w / 2;
  });
  glutSetWindow(p->main_window);
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

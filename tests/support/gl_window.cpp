#include "tests/support/gl_window.h"

#include <GL/freeglut.h>

#include "tests/support/gl_driver.h"

namespace {
int window_id = 0;
}

int gl_test_window(int width, int height) {
  if (window_id == 0) {
    int argc = 1;
    char name[] = "daubwork-test";
    char* argv[] = {name, nullptr};
    glutInit(&argc, argv);
    glutSetOption(GLUT_ACTION_ON_WINDOW_CLOSE, GLUT_ACTION_CONTINUE_EXECUTION);
    glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(width, height);
    window_id = glutCreateWindow("daubwork gl test");
    glutDisplayFunc([] {});
    pin_gl_driver();
    gl_pump_events();
  }
  glutSetWindow(window_id);
  return window_id;
}

void gl_pump_events() { glutMainLoopEvent(); }

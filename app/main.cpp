// Daubwork: paint a picture with brush strokes.
#include <GL/freeglut.h>

#include "app/startup.h"
#include "glui/glui_x11.h"

int main() {
  // Before GLUT's connection exists: no other X client can end the program.
  glui_x11::install_error_handler();
  start_daubwork();
  glutMainLoop();  // ends only through exit()
  return 0;
}

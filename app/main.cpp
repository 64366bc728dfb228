// Daubwork: paint a picture with brush strokes.
#include <GL/freeglut.h>

#include "app/startup.h"

int main() {
  start_daubwork();
  glutMainLoop();  // ends only through exit()
  return 0;
}

// A tiny GLUT program that stands in for the real one in the e2e harness's
// own test: it opens a titled window with a docked child window and prints
// every input event it receives, one line each:
//   "reshape W H", "mouse B S X Y" (GLUT button and state numbers),
//   "motion X Y" (pointer moved with a button held), "key K" (character code).
// 'q' ends it with status 0. "--exit N" ends it at once with status N after
// printing "bye" on standard error.
//
// Its window is blue with a red 20 x 10 block in the top-left corner; the
// child, docked on the right, 80 pixels wide, is green.
#include <GL/freeglut.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kSideWidth = 80;
int main_window = 0;
int side_window = 0;

void display_main() {
  const int w = glutGet(GLUT_WINDOW_WIDTH), h = glutGet(GLUT_WINDOW_HEIGHT);
  glViewport(0, 0, w, h);
  glDisable(GL_SCISSOR_TEST);
  glClearColor(0, 0, 1, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glEnable(GL_SCISSOR_TEST);
  glScissor(0, h - 10, 20, 10);  // OpenGL counts rows from the bottom
  glClearColor(1, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glDisable(GL_SCISSOR_TEST);
  glutSwapBuffers();
}

void display_side() {
  glClearColor(0, 1, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  glutSwapBuffers();
}

void reshape(int w, int h) {
  std::printf("reshape %d %d\n", w, h);
  glutSetWindow(side_window);
  glutPositionWindow(w - kSideWidth, 0);
  glutReshapeWindow(kSideWidth, h);
  glutSetWindow(main_window);
}

void mouse(int button, int state, int x, int y) {
  std::printf("mouse %d %d %d %d\n", button, state, x, y);
}
void motion(int x, int y) { std::printf("motion %d %d\n", x, y); }

void keyboard(unsigned char key, int x, int y) {
  (void)x;
  (void)y;
  std::printf("key %d\n", key);
  if (key == 'q') std::exit(0);
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  if (argc == 3 && std::strcmp(argv[1], "--exit") == 0) {
    std::fputs("bye\n", stderr);
    return std::atoi(argv[2]);
  }
  glutInit(&argc, argv);
  glutInitDisplayMode(GLUT_RGBA | GLUT_DOUBLE);
  glutInitWindowPosition(60, 40);
  glutInitWindowSize(320, 240);
  main_window = glutCreateWindow("E2E Probe");
  glutDisplayFunc(display_main);
  glutReshapeFunc(reshape);
  glutMouseFunc(mouse);
  glutMotionFunc(motion);
  glutKeyboardFunc(keyboard);
  side_window = glutCreateSubWindow(main_window, 320 - kSideWidth, 0, kSideWidth, 240);
  glutDisplayFunc(display_side);
  glutMainLoop();
  return 0;
}

// The main window's display, reshape, idle and mouse callbacks, which keep
// the canvas state of app/state.h: the canvas rectangle, the painting and
// recapture flags and the light position.
#pragma once

void display_cb();
// What GLUT calls to display the main window: display_cb, at most once a
// frame of the screen. Every motion of a drag asks for a display, and a
// mouse reports up to a thousand motions a second; showing each one would
// copy the whole canvas to the screen a thousand times a second, far more
// than the screen shows, and the painting would fall behind the hand. A
// display within a frame of the last one is put off, and the idle work of
// the next frame brings it back.
void display_paced_cb();
void reshape_cb(int width, int height);
void idle_cb();
void mouse_cb(int button, int state, int x, int y);

// The main window's display, reshape, idle and mouse callbacks, which keep
// the canvas state of app/state.h: the canvas rectangle, the painting and
// recapture flags and the light position.
#pragma once

void display_cb();
void reshape_cb(int width, int height);
void idle_cb();
void mouse_cb(int button, int state, int x, int y);

// The main window's display, reshape, idle and mouse callbacks, which keep
// the canvas state of app/state.h: the canvas rectangle, the painting and
// recapture flags and the light position.
#pragma once

// Measures the canvas (GLUI_Master.get_viewport_area, with the main window
// current) into vp_x, vp_y, vp_w, vp_h, and sizes the canvas buffers to it.
void refresh_canvas_rect();

void display_cb();
void reshape_cb(int width, int height);
void idle_cb();
void mouse_cb(int button, int state, int x, int y);

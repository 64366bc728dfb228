// A real GLUT window with an OpenGL context for in-process gl tests.
// Needs an X display (the test command starts a private Xvfb).
#pragma once

// Creates, once per process, a double-buffered RGBA window of the given size
// with a depth buffer and makes it current. Later calls make it current
// again and return its GLUT id. Calls glutInit on first use.
int gl_test_window(int width = 64, int height = 64);

// Runs GLUT's event loop once, so that pending window events are handled.
void gl_pump_events();

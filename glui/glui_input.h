// The toolkit's event entry points, the GLUT side's (glui_glut.cpp): the
// functions it registers with GLUT for each panel subwindow and, through
// GLUI_Master, for the main window. GLUT calls them with the event's window
// current; tests may call them the same way to drive a panel without an X
// server's input.
#pragma once

class GLUI;

// Events of a panel subwindow, in its own pixels (y down).
void glui_panel_display(GLUI* gui);
void glui_panel_reshape(GLUI* gui, int width, int height);
void glui_panel_mouse(GLUI* gui, int button, int state, int x, int y);
void glui_panel_motion(GLUI* gui, int x, int y);
void glui_panel_keyboard(GLUI* gui, unsigned char key, int x, int y);
void glui_panel_keyboard_up(GLUI* gui, unsigned char key, int x, int y);
void glui_panel_special(GLUI* gui, int key, int x, int y);
void glui_panel_special_up(GLUI* gui, int key, int x, int y);

// Events of a main window whose callbacks GLUI_Master forwards; they act
// on the current window.
void glui_main_reshape(int width, int height);
void glui_main_keyboard(unsigned char key, int x, int y);
void glui_main_keyboard_up(unsigned char key, int x, int y);
void glui_main_special(int key, int x, int y);
void glui_main_special_up(int key, int x, int y);
void glui_main_mouse(int button, int state, int x, int y);
void glui_idle();

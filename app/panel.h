// The control panel: building it, and what its buttons and the keyboard do.
#pragma once

// Builds every control of the panel, in order, into `glui`, storing the
// handles in the globals of app/state.h.
void build_control_panel();

// The action buttons' and the Brushes radio group's callback.
void control_cb(int id);

// Esc or q over the canvas ends the program; other keys redisplay.
void keyboard_cb(unsigned char key, int x, int y);

// A file dropped on the canvas from a file manager (`offered`: the number
// of items the drop held): a name ending in ".obj", in any case, goes into
// OBJ Filename and loads as Load OBJ Model does; any other into Image
// Filename, loaded as Load Image does.
void files_dropped(const char* path, int offered);

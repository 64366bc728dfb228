#include "app/startup.h"

#include <GL/freeglut.h>
#include <IL/il.h>
#include <IL/ilu.h>
#include <IL/ilut.h>

#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

#include "app/canvas_buffers.h"
#include "app/panel.h"
#include "app/state.h"
#include "app/window_callbacks.h"
#include "app/window_identity.h"
#include "base/messages.h"
#include "glui/glui_scale.h"
#include "image/picture_file.h"
#include "model/obj_load.h"
#include "model/obj_parse.h"
#include "paint/motion.h"

namespace {

// The narrowest canvas the window may be made, in the panel's pixels: a
// few strokes' room beside the panel.
constexpr int kLeastCanvasWidth = 200;

// The panel shows what the program printed for the last action, where a
// user with no terminal looks.
void show_message_in_panel() {
  if (!glui) return;
  std::vector<GLUI_MessageLine> lines;
  for (const MessageLine& line : message_lines())
    lines.push_back({line.text, line.level == MessageLevel::error});
  glui->set_message(std::move(lines));
}

}  // namespace

void start_daubwork() {
  // Console lines appear as they are printed, also when the console is a
  // pipe or a log file.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  // Pictures are decoded in processes of their own, which come from one
  // forked now, while the program is small.
  start_picture_decoding();

  // GLUT needs glutInit first; the program hands it no options.
  int argc = 1;
  char name[] = "daubwork";
  char* argv[] = {name, nullptr};
  glutInit(&argc, argv);

  glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE);
  glutInitWindowPosition(50, 50);
  // On a high-density screen the panel is bigger, and the canvas keeps its
  // share of the window.
  const float scale = glui_desktop_scale();
  glutInitWindowSize(static_cast<int>(std::lround(800.0f * scale)),
                     static_cast<int>(std::lround(600.0f * scale)));
  main_window = glutCreateWindow("Daubwork Application");
  set_window_identity();

  glutDisplayFunc(display_paced_cb);
  GLUI_Master.set_glutReshapeFunc(reshape_cb);
  GLUI_Master.set_glutKeyboardFunc(keyboard_cb);
  GLUI_Master.set_glutSpecialFunc(nullptr);
  GLUI_Master.set_glutMouseFunc(mouse_cb);
  glutMotionFunc(motion_cb);

  ilInit();
  iluInit();
  ilutRenderer(ILUT_OPENGL);
  // Models take their textures from the same picture side as Load Image.
  obj_texture_loader = load_picture_texture;
  obj_texture_releaser = release_picture_texture;
  // Choosing the renderer switches texturing on; the canvas draws
  // untextured except while it captures the picture.
  glDisable(GL_TEXTURE_2D);

  glui = GLUI_Master.create_glui_subwindow(main_window, GLUI_SUBWINDOW_RIGHT);
  build_control_panel();
  glui->set_main_gfx_window(main_window);
  set_message_listener(show_message_in_panel);
  glui->set_drop_func(files_dropped);
  // The whole panel, room for a message below it, and a canvas to paint on.
  set_window_least_size(
      glui->get_panel_width() + static_cast<int>(std::lround(kLeastCanvasWidth * scale)),
      glui->get_least_height());
  GLUI_Master.set_glutIdleFunc(idle_cb);

  glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
  // The canvas's own buffers: sized now, so that both start white.
  refresh_canvas_rect();
  canvas_draw_buffer(CANVAS_FRONT);
  canvas_clear();
  canvas_draw_buffer(CANVAS_BACK);
  canvas_clear();

  recapture_pending = true;
}

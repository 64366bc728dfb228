// Prints where every control of the program's panel lies, so that e2e tests
// can click them with real X events. It builds the panel with the
// program's own start-up code, lets it lay out, prints one line a control
// and exits:
//   panel <width> <height>
//   control <index> <kind> <x> <y> <w> <h> <label>     (the clickable part)
//   arrows <index> <up x> <up y> <up w> <up h> <down x> <down y> <down w> <down h>
// Coordinates are panel-subwindow pixels, y down.
#include <GL/freeglut.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "app/startup.h"
#include "app/state.h"

namespace {

std::string kind(const GLUI_Control* c) {
  if (dynamic_cast<const GLUI_EditText*>(c)) return "edittext";
  if (dynamic_cast<const GLUI_Button*>(c)) return "button";
  if (dynamic_cast<const GLUI_RadioButton*>(c)) return "radiobutton";
  if (dynamic_cast<const GLUI_Checkbox*>(c)) return "checkbox";
  if (dynamic_cast<const GLUI_Spinner*>(c)) return "spinner";
  if (dynamic_cast<const GLUI_Rollout*>(c)) return "rollout";
  if (dynamic_cast<const GLUI_RadioGroup*>(c)) return "radiogroup";
  if (dynamic_cast<const GLUI_Separator*>(c)) return "separator";
  return "panel";
}

}  // namespace

int main() {
  start_daubwork();
  // Map the windows and draw the panel a few times so every rectangle is
  // recorded at its final place.
  for (int i = 0; i < 100 && light_x == 0; ++i) {
    glutMainLoopEvent();
    usleep(10000);
  }
  for (int i = 0; i < 5; ++i) {
    glutPostWindowRedisplay(glui->get_glut_window_id());
    glutMainLoopEvent();
  }
  std::printf("panel %d %d\n", glui->get_panel_width(), glui->get_panel_height());
  const auto& controls = glui->controls();
  for (size_t i = 0; i < controls.size(); ++i) {
    const GLUI_Rect& r =
        controls[i]->hot_rect().w > 0 ? controls[i]->hot_rect() : controls[i]->rect();
    std::printf("control %zu %s %d %d %d %d %s\n", i, kind(controls[i]).c_str(), r.x, r.y, r.w, r.h,
                controls[i]->get_name());
    if (auto* s = dynamic_cast<const GLUI_Spinner*>(controls[i])) {
      const GLUI_Rect& u = s->up_rect();
      const GLUI_Rect& d = s->down_rect();
      std::printf("arrows %zu %d %d %d %d %d %d %d %d\n", i, u.x, u.y, u.w, u.h, d.x, d.y, d.w,
                  d.h);
    }
  }
  return 0;
}

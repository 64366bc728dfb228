// Glue: the OBJ File brush. Reads the program's state (app/state.h: the
// light position and the canvas height); the light's values are worked out
// by obj_brush_light, apart from OpenGL.
#include "model/obj_brush.h"

#include <GL/gl.h>

#include "app/canvas_coords.h"
#include "app/state.h"

ObjBrushLight obj_brush_light(float r, float g, float b, float s, int x, int y, int light_x,
                              int light_y, int vp_h) {
  ObjBrushLight light;
  // The light is given relative to the stroke's origin, so without a turn
  // it stands at (light_x, light_y).
  light.position[0] = static_cast<float>(light_x - x);
  light.position[1] = static_cast<float>(light_y - canvas_y(y, vp_h));
  light.position[2] = 0.0f;
  light.position[3] = 1.0f;  // positional
  light.colour[0] = r;
  light.colour[1] = g;
  light.colour[2] = b;
  light.colour[3] = 1.0f;
  // The uniform scale by s shortens the normals to 1/s; this gives s back to
  // the diffuse and specular terms.
  light.constant_attenuation = static_cast<float>(1.0 / static_cast<double>(s));
  return light;
}

void paint_obj_brush(const ObjModel& model, float r, float g, float b, float s, int x, int y) {
  ObjBrushLight light = obj_brush_light(r, g, b, s, x, y, light_x, light_y, vp_h);
  glColor3f(r, g, b);
  glEnable(GL_LIGHTING);
  glEnable(GL_LIGHT0);
  // Given in the stroke's frame, before the brush's own shift below.
  glLightfv(GL_LIGHT0, GL_POSITION, light.position);
  glLightfv(GL_LIGHT0, GL_DIFFUSE, light.colour);
  glLightfv(GL_LIGHT0, GL_SPECULAR, light.colour);
  glLightModelfv(GL_LIGHT_MODEL_AMBIENT, light.colour);
  glLightf(GL_LIGHT0, GL_CONSTANT_ATTENUATION, light.constant_attenuation);
  // The model's +y then points at the viewer, its origin s behind the
  // stroke's origin, its unit the stroke size.
  glTranslatef(0.0f, 0.0f, -s);
  glScalef(s, s, s);
  glRotatef(90.0f, 1.0f, 0.0f, 0.0f);
  model.draw_obj_model();
  glDisable(GL_LIGHTING);
  glDisable(GL_LIGHT0);
}

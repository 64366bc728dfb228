// The OBJ File brush: the current model lit by a point light of the stroke's
// colour, placed, scaled and tilted in the stroke's frame.
#pragma once

#include "model/obj_model.h"

// The light one stroke sets up, worked out apart from OpenGL.
struct ObjBrushLight {
  float position[4];           // in the stroke's frame: (light_x - x, light_y - (vp_h - y), 0, 1)
  float colour[4];             // (r, g, b, 1): diffuse, specular and global ambient
  float constant_attenuation;  // 1 / s in double precision, then float
};
// x, y: the stroke's point in window pixels (y down); light_x, light_y: the
// light in canvas pixels (y up); vp_h: the canvas height.
ObjBrushLight obj_brush_light(float r, float g, float b, float s, int x, int y, int light_x,
                              int light_y, int vp_h);

// Draws one OBJ File stroke. Call with the stroke's frame current: the
// modelview pushed and translated to (x, vp_h - y, -10), turned by the
// edge-following angle when that is on; the caller pops it afterwards (this
// brush leaves the modelview shifted by -s along z, scaled by s and turned
// 90 degrees about x). r, g, b: stroke colour in 0..1; s: stroke size (> 0);
// x, y: the stroke's point in window pixels (y down). Reads light_x, light_y
// and vp_h from app/state.h.
// Leaves behind: current colour (r, g, b); light 0's position, diffuse and
// specular colour and constant attenuation, and the global ambient, as set
// here; GL_LIGHTING and GL_LIGHT0 off; the model's texture bound when it has
// one. Sets no material and enables no texturing.
void paint_obj_brush(const ObjModel& model, float r, float g, float b, float s, int x, int y);

// ObjModel::draw_obj_model: the whole mesh in immediate mode, one begin/end
// pair per face, nothing cached between calls.
#include "model/obj_draw.h"

#include <cstddef>

#include "app/canvas_buffers.h"
#include "model/obj_model.h"

ObjDrawCalls obj_gl_calls() {
  return ObjDrawCalls{glBindTexture, glBegin, glEnd, glNormal3f, glTexCoord2f, glVertex3d};
}

ObjDrawCalls obj_draw_calls = obj_gl_calls();

// Leaves the texture bound (when there is one); neither enables nor disables
// texturing. Every stored index lies inside its array (the loader checks).
void ObjModel::draw_obj_model() const {
  const ObjDrawCalls& gl = obj_draw_calls;
  if (texture != 0) gl.bind_texture(GL_TEXTURE_2D, texture);
  for (int32_t i = 0; i < face_count; ++i) {
    bool triangle = face_is_triangle[i] != 0;
    gl.begin(triangle ? GL_TRIANGLES : GL_QUADS);
    int corners = triangle ? 3 : 4;
    for (int k = 0; k < corners; ++k) {
      size_t slot = 4 * size_t(i) + size_t(k);
      const float* n = normals + 3 * size_t(face_normal[slot]);
      gl.normal(n[0], n[1], n[2]);
      const float* t = texcoords + 2 * size_t(face_texcoord[slot]);
      // In single precision; v is mirrored about the offset.
      float u = t[0] + tex_offset_u;
      float v = tex_offset_v - t[1];
      gl.tex_coord(u, v);
      const float* p = vertices + 3 * size_t(face_vertex[slot]);
      gl.vertex(p[0], p[1], p[2]);
    }
    gl.end();
    // One stroke of a model of many faces is handed to the renderer a
    // share at a time.
    if ((i + 1) % kFacesPerCount == 0) canvas_count_drawing(1);
  }
}

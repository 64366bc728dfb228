// ObjModel: one mesh read from a Wavefront OBJ file, with the single
// diffuse texture its MTL material library names. load_obj_model reads it;
// draw_obj_model sends it to OpenGL in immediate mode.
#pragma once

#include <cstdint>

class ObjModel {
 public:
  uint32_t texture = 0;                 // OpenGL texture name; 0 = none
  float tex_offset_u = 0.0f;            // added to every u when drawing ("-o" option)
  float tex_offset_v = 0.0f;            // every v is subtracted from it when drawing
  float* vertices = nullptr;            // 3 per vertex: x, y, z
  float* texcoords = nullptr;           // 2 per texture coordinate: u, v
  float* normals = nullptr;             // 3 per normal: x, y, z
  int32_t* face_vertex = nullptr;       // 4 slots per face, 0-based indices
  int32_t* face_texcoord = nullptr;     // 4 slots per face, 0-based indices
  int32_t* face_normal = nullptr;       // 4 slots per face, 0-based indices
  uint8_t* face_is_triangle = nullptr;  // 1 per face: 1 triangle, 0 quad
  int32_t vertex_count = 0;
  int32_t texcoord_count = 0;
  int32_t normal_count = 0;
  int32_t face_count = 0;

  ObjModel() = default;
  ~ObjModel();
  ObjModel(const ObjModel&) = delete;
  ObjModel& operator=(const ObjModel&) = delete;

  // Reads directory/file_name and the texture its material library names.
  // Returns false (after reporting on stderr) when the OBJ file cannot be
  // opened; the record is then empty. Needs the GL context that will draw
  // the texture to be current.
  bool load_obj_model(const char* directory, const char* file_name);

  // Sends every face to OpenGL: one begin/end pair per face.
  void draw_obj_model() const;
};

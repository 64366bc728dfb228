// How draw_obj_model reaches OpenGL: the handful of immediate-mode calls it
// makes, as replaceable function pointers. They point at the real GL
// functions; a test may swap in recorders to see exactly what is sent, and
// must put the real ones back (obj_draw_calls = obj_gl_calls()).
#pragma once

#include <GL/gl.h>

struct ObjDrawCalls {
  void (*bind_texture)(GLenum target, GLuint texture);
  void (*begin)(GLenum mode);
  void (*end)();
  void (*normal)(GLfloat x, GLfloat y, GLfloat z);
  void (*tex_coord)(GLfloat s, GLfloat t);
  void (*vertex)(GLdouble x, GLdouble y, GLdouble z);
};

// The real OpenGL functions.
ObjDrawCalls obj_gl_calls();

// What draw_obj_model calls; starts as obj_gl_calls().
extern ObjDrawCalls obj_draw_calls;

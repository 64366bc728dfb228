// Scoped OpenGL state: each guard changes one piece of the current
// context's state for the length of a block and puts back what was there
// on every way out of it, an early return included.
#pragma once

#include <GL/gl.h>

// The current matrix pushed for the block; the matrix mode must be the
// same at its end.
class MatrixScope {
 public:
  MatrixScope() { glPushMatrix(); }
  ~MatrixScope() { glPopMatrix(); }
  MatrixScope(const MatrixScope&) = delete;
  MatrixScope& operator=(const MatrixScope&) = delete;
};

// One glPixelStorei parameter set for the block.
class PixelStoreScope {
 public:
  PixelStoreScope(GLenum name, GLint value) : name_(name) {
    glGetIntegerv(name, &before_);
    glPixelStorei(name, value);
  }
  ~PixelStoreScope() { glPixelStorei(name_, before_); }
  PixelStoreScope(const PixelStoreScope&) = delete;
  PixelStoreScope& operator=(const PixelStoreScope&) = delete;

 private:
  GLenum name_;
  GLint before_ = 0;
};

// One capability (glEnable, glDisable) switched on or off for the block.
class CapabilityScope {
 public:
  CapabilityScope(GLenum capability, bool on)
      : capability_(capability), was_on_(glIsEnabled(capability) == GL_TRUE), on_(on) {
    if (on_ != was_on_) set(on_);
  }
  ~CapabilityScope() {
    if (on_ != was_on_) set(was_on_);
  }
  CapabilityScope(const CapabilityScope&) = delete;
  CapabilityScope& operator=(const CapabilityScope&) = delete;

 private:
  void set(bool on) const { on ? glEnable(capability_) : glDisable(capability_); }

  GLenum capability_;
  bool was_on_;
  bool on_;
};

// The texture bound to GL_TEXTURE_2D, bound again at the block's end.
class TextureBindingScope {
 public:
  TextureBindingScope() { glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound_); }
  ~TextureBindingScope() { glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound_)); }
  TextureBindingScope(const TextureBindingScope&) = delete;
  TextureBindingScope& operator=(const TextureBindingScope&) = delete;

 private:
  GLint bound_ = 0;
};

// The whole pixel-store state (every glPixelStorei parameter) saved for
// the block.
class ClientPixelStoreScope {
 public:
  ClientPixelStoreScope() { glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT); }
  ~ClientPixelStoreScope() { glPopClientAttrib(); }
  ClientPixelStoreScope(const ClientPixelStoreScope&) = delete;
  ClientPixelStoreScope& operator=(const ClientPixelStoreScope&) = delete;
};

// See picture_file.h. The decoding is picture_decode.cpp's, the spawner and
// the pipe picture_spawner.cpp's; here the rows go into the texture.
#include "image/picture_file.h"

#include <GL/gl.h>

#include <algorithm>
#include <memory>
#include <new>

#include "app/gl_scope.h"
#include "image/picture_decode.h"
#include "image/picture_spawner.h"

void start_picture_decoding() { start_picture_spawner(); }

namespace {

// keeps what came).
uint32_t texture_from_decoder(PictureDecoder& decoder, uint32_t into) {
  const TextureBindingScope binding;
  GLuint texture = into;
  if (texture == 0) glGenTextures(1, &texture);
  // The upload is judged by the errors it raises itself.
  while (glGetError() != GL_NO_ERROR) {
  }
  glBindTexture(GL_TEXTURE_2D, texture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
  bool made = false;
  {
    // Rows back to back, nothing skipped: the bands' own layout.
    const ClientPixelStoreScope unpack;
    glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    // Making the storage takes the renderer about as long as decoding (it
    // clears every page of it): done while the child decodes, when the
    // file says what size to expect.
    const auto make_storage = [](int width, int height) {
      glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                   nullptr);
    };
    if (decoder.stated_width() > 0) make_storage(decoder.stated_width(), decoder.stated_height());
    made = decoder.wait_for_size();
    const int width = decoder.width(), height = decoder.height();
    if (made && (width != decoder.stated_width() || height != decoder.stated_height()))
      make_storage(width, height);
    while (glGetError() != GL_NO_ERROR) made = false;
    const int rows_per_band = made ? std::min(picture_band_rows(width), height) : 0;
    std::unique_ptr<unsigned char[]> band(
        new (std::nothrow) unsigned char[static_cast<size_t>(width) * 4 *
                                         static_cast<size_t>(rows_per_band)]);
    made = made && band;
    for (int row = 0; made && row < height; row += rows_per_band) {
      const int rows = std::min(rows_per_band, height - row);
      made = decoder.read_rows(rows, band.get());
      if (made)
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, row, width, rows, GL_RGBA, GL_UNSIGNED_BYTE,
                        band.get());
    }
    made = decoder.finish() && made;
  }
  while (glGetError() != GL_NO_ERROR) made = false;
  if (made) return texture;
  if (into == 0) glDeleteTextures(1, &texture);
  return 0;
}

}  // namespace

uint32_t load_picture_texture(const char* path) { return reload_picture_texture(path, 0); }

uint32_t reload_picture_texture(const char* path, uint32_t texture) {
  GLint max_side = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max_side);
  PictureDecoder decoder;
  const uint32_t made = decoder.start(path, max_side) ? texture_from_decoder(decoder, texture) : 0;
  if (made == 0) release_picture_texture(texture);
  return made;
}

void release_picture_texture(uint32_t texture) {
  if (texture == 0) return;
  GLuint name = texture;
  glDeleteTextures(1, &name);
}
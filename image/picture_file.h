// Picture files into OpenGL textures, safely. DevIL's decoders trust what a
// file says: a cut-off PPM or PSD file makes them free memory twice and
// crash, a cut-off TGA file loads "successfully" with the missing part left
// as whatever the heap held, and an 18-byte TGA header claiming 65535 x
// 65535 pixels keeps the program busy for a minute. So the file is decoded
// by DevIL in a child process, which can only end itself; the program takes
// the finished pixels from it and makes the texture with DevIL's own GL
// layer, as ilutGLLoadImage does.
//
// A file counts as unreadable when it is not a regular file (a folder, a
// pipe, a device), when DevIL fails or reports an error while reading it,
// when it holds more than kMaxPicturePixels pixels, or when decoding takes
// more than a minute of processor time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// 2^28 pixels (16384 x 16384): 1 GiB as RGBA bytes.
constexpr uint64_t kMaxPicturePixels = uint64_t{1} << 28;

// A decoded picture: width x height RGBA pixels, rows back to back, first
// row at the picture's top or bottom as `origin` says (DevIL's
// IL_ORIGIN_UPPER_LEFT or IL_ORIGIN_LOWER_LEFT).
struct DecodedPicture {
  int width = 0;
  int height = 0;
  unsigned origin = 0;
  std::unique_ptr<unsigned char[]> rgba;  // size bytes
  size_t size = 0;
};

// Decodes the file in a child process (DevIL initialised). False, with
// *out emptied, when the file is unreadable as above. Reports nothing itself
// (what DevIL's libraries print still reaches standard error).
bool decode_picture_file(const char* path, DecodedPicture* out);

// The OpenGL texture of a decoded picture through DevIL's GL layer (the
// context that will draw it current, DevIL's renderer set to OpenGL): a new
// one (ilutGLBindTexImage), or the texture `into` filled again when that is
// not 0. 0 when DevIL cannot make it.
uint32_t texture_from_picture(const DecodedPicture& picture, uint32_t into = 0);

// Both: what the program uses where it would call ilutGLLoadImage.
uint32_t load_picture_texture(const char* path);

// The same into the texture of the picture it replaces, which keeps its
// name. A picture of the same size then takes the same storage: the
// renderer may hold a replaced texture's storage for a long while after it
// is deleted (Mesa's software renderer keeps it until it next reuses the
// batch of drawing that last read it), so a photograph loaded over and
// over would cost its size again each time. When the picture cannot be
// read, `texture` is given back and the result is 0.
uint32_t reload_picture_texture(const char* path, uint32_t texture);

// Gives back a texture made above (glDeleteTextures, the context that made
// it current); 0 is none and is passed over.
void release_picture_texture(uint32_t texture);

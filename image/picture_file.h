// Picture files into OpenGL textures, safely. DevIL's decoders trust what a
// file says: a cut-off PPM or PSD file makes them free memory twice and
// crash, a cut-off TGA file loads "successfully" with the missing part left
// as whatever the heap held, and an 18-byte TGA header claiming 65535 x
// 65535 pixels keeps the program busy for a minute. So the file is decoded
// by DevIL in a child process, which can only end itself.
//
// The pixels are big (a 64-megapixel photograph is 256 MB as RGBA), so they
// are copied as few times as the platform allows: the child writes them
// once, already as the texture wants them (RGBA, bottom row first), into
// memory it shares with the program, and the program hands that memory
// straight to glTexImage2D, which makes the texture's own copy. While a
// picture loads the program holds at most those two copies of it.
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

// Gives back a mapping of shared memory (munmap).
struct SharedUnmap {
  size_t length = 0;
  void operator()(unsigned char* base) const;
};

// A decoded picture, ready for the texture: width x height RGBA pixels,
// rows back to back, the bottom row first, in memory shared with the child
// that decoded it (sealed: neither its size nor its bytes can change).
struct DecodedPicture {
  int width = 0;
  int height = 0;
  const unsigned char* rgba = nullptr;  // width * height * 4 bytes, inside `memory`
  std::unique_ptr<unsigned char, SharedUnmap> memory;
};

// Decodes the file in a child process (DevIL's IL and ILU initialised).
// A picture with a side longer than `max_side` (the renderer's
// GL_MAX_TEXTURE_SIZE) is scaled down to it with bilinear filtering, each
// side on its own, as DevIL's GL layer did. False, with *out emptied, when
// the file is unreadable as above or the memory for it cannot be had.
// Reports nothing itself (what DevIL's libraries print still reaches
// standard error).
bool decode_picture_file(const char* path, int max_side, DecodedPicture* out);

// The OpenGL texture of a decoded picture (the context that will draw it
// current, no pixel buffer bound for unpacking): a new one, or the texture
// `into` filled again when that is not 0. Made as DevIL's GL layer made
// them: internal format RGBA with 8 bits a component, linear filtering
// both ways, no mipmaps, repeating at both edges. Leaves the bound texture
// and the pixel-store state as it found them. 0 when the renderer cannot
// make it (a new texture is then deleted again; `into` is left as it is).
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

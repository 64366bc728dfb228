// Picture files into OpenGL textures, safely. DevIL's decoders trust what a
// file says (picture_decode.h), so the file is decoded by DevIL in a child
// process, which can only end itself (picture_spawner.h says where the
// children come from).
//
// The pixels are big (a 64-megapixel photograph is 256 MB as RGBA), so the
// program holds no copy of its own: the child sends them as the texture
// wants them (RGBA, bottom row first) through a pipe, a band of rows at a
// time, and each band goes into the texture as it comes, while the child
// makes the next. While a picture loads the program holds the texture and
// one band more. (Shared memory would save the pipe's copies of the bands,
// which stay in the cache, but costs the program a second whole picture
// and, on the machines the program was measured on, more time: mapping
// fresh pages costs more there than copying them.)
//
// A file counts as unreadable when it is not a regular file (a folder, a
// pipe, a device), when its header states more pixels than its bytes can
// hold (picture_header.h), when DevIL fails or reports an error while
// reading it, when it holds more than kMaxPicturePixels pixels, or when
// decoding takes more than a minute of processor time or more memory than
// any real picture (kDecodeAddressSpace).
#pragma once

#include <cstdint>

#include "image/picture_header.h"

// Starts the small process the decoding children come from
// (picture_spawner.h), best before the program has grown: the program calls
// it first thing. Without it the first load starts it.
void start_picture_decoding();

// The picture's OpenGL texture, made as DevIL's GL layer made them
// (ilutGLLoadImage): the picture upright (its bottom row at texture row 0),
// scaled down with bilinear filtering to the renderer's largest texture
// (GL_MAX_TEXTURE_SIZE) on a side that is longer, internal format RGBA
// with 8 bits a component, linear filtering both ways, no mipmaps,
// repeating at both edges. Needs the context that will draw it current
// and no pixel buffer bound for unpacking; leaves the bound texture and the
// pixel-store state as it found them. 0 when the file is unreadable as
// above or the renderer cannot make the texture. The decoding process stays
// until the program exits. Reports nothing
// itself (what DevIL's libraries print still reaches standard error).
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

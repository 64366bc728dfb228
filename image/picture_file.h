// Picture files into OpenGL textures, safely. DevIL's decoders trust what a
// file says: a cut-off PPM or PSD file makes them free memory twice and
// crash, a cut-off TGA file loads "successfully" with the missing part left
// as whatever the heap held, and an 18-byte TGA header claiming 65535 x
// 65535 pixels keeps the program busy for a minute. So the file is decoded
// by DevIL in a child process, which can only end itself.
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
// pipe, a device), when DevIL fails or reports an error while reading it,
// when it holds more than kMaxPicturePixels pixels, or when decoding takes
// more than a minute of processor time.
#pragma once

#include <cstdint>

// 2^28 pixels (16384 x 16384): 1 GiB as RGBA bytes.
constexpr uint64_t kMaxPicturePixels = uint64_t{1} << 28;

// A picture file being decoded in a child process (DevIL's IL and ILU
// initialised), read as the texture wants it: width x height RGBA pixels,
// rows back to back, the bottom row first. A picture with a side longer
// than the renderer takes (GL_MAX_TEXTURE_SIZE) comes scaled down to it
// with bilinear filtering, each side on its own, as DevIL's GL layer did.
// Reports nothing itself (what DevIL's libraries print still reaches
// standard error). The children come from a small process of the
// program's, started at the first picture and ended when the program
// exits (see picture_file.cpp).
class PictureDecoder {
 public:
  PictureDecoder() = default;
  PictureDecoder(const PictureDecoder&) = delete;
  PictureDecoder& operator=(const PictureDecoder&) = delete;
  ~PictureDecoder();  // finishes

  // Starts decoding; returns once the child has read the size the file
  // states, long before the picture is decoded. False, with the child
  // ended, when the file is not a regular file. One decoder at a time: the
  // one before must have finished.
  bool start(const char* path, int max_side);
  // The size the file states (PNG and JPEG; 0 x 0 when unknown), as it will
  // come when no side is longer than max_side: a guess, the decoded
  // picture decides.
  int stated_width() const { return stated_width_; }
  int stated_height() const { return stated_height_; }
  // Waits until the picture is decoded; false, with the child ended, when
  // it is unreadable as above.
  bool wait_for_size();
  int width() const { return width_; }
  int height() const { return height_; }
  // The next `rows` rows into `out` (rows * width * 4 bytes); false when
  // the child fails before they are all there or there are fewer left.
  bool read_rows(int rows, unsigned char* out);
  // Waits for the child to end: true when every row was read and it ended
  // cleanly. A child with rows left to send ends at its next write.
  bool finish();

 private:
  int fd_ = -1;            // the pipe the rows come through
  bool decoding_ = false;  // a child was started and its end not yet heard of
  int max_side_ = 0;
  int stated_width_ = 0, stated_height_ = 0;
  int width_ = 0, height_ = 0, rows_read_ = 0;
};

// The OpenGL texture of a started decoder's picture (the context that will
// draw it current, no pixel buffer bound for unpacking): a new one, or the
// texture `into` filled again when that is not 0. Made as DevIL's GL layer
// made them: internal format RGBA with 8 bits a component, linear
// filtering both ways, no mipmaps, repeating at both edges. Makes the
// storage while the child decodes when the file states its size. Finishes
// the decoder. Leaves the bound texture and the pixel-store state as it found
// them. 0 when the rows do not all come or the renderer cannot make the
// texture (a new texture is then deleted again; `into` keeps what came).
uint32_t texture_from_decoder(PictureDecoder& decoder, uint32_t into = 0);

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

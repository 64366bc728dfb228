#include "image/picture_file.h"

#include <GL/gl.h>
#include <IL/il.h>
#include <IL/ilu.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>

namespace {

// What the child writes at the start of the shared memory once the pixels
// behind it are complete.
struct Header {
  uint32_t magic;
  int32_t width;
  int32_t height;
};
constexpr uint32_t kMagic = 0x44415542;  // "DAUB"
// The pixels start a cache line in.
constexpr size_t kHeaderBytes = 64;
static_assert(sizeof(Header) <= kHeaderBytes, "the header fits before the pixels");

// Decoding limits: a decoder that runs away is ended, not waited for.
constexpr rlim_t kCpuSeconds = 60;
constexpr unsigned kWallSeconds = 120;

bool sane(int width, int height) {
  return width > 0 && height > 0 &&
         static_cast<uint64_t>(width) * static_cast<uint64_t>(height) <= kMaxPicturePixels;
}

size_t rgba_bytes(int width, int height) {
  return static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
}

// True when DevIL's error stack is empty; empties it.
bool no_devil_error() {
  bool none = true;
  while (ilGetError() != IL_NO_ERROR) none = false;
  return none;
}

// Bytes of one channel of DevIL's data type; 0 for an unknown type.
uint64_t channel_bytes(ILint type) {
  switch (type) {
    case IL_BYTE:
    case IL_UNSIGNED_BYTE: return 1;
    case IL_SHORT:
    case IL_UNSIGNED_SHORT:
    case IL_HALF: return 2;
    case IL_INT:
    case IL_UNSIGNED_INT:
    case IL_FLOAT: return 4;
    case IL_DOUBLE: return 8;
    default: return 0;
  }
}

// The bound image's description agrees with itself: bytes per pixel are
// channels times the bytes of its type, and its data holds that many for
// every pixel. Some of DevIL's loaders (16-bit PPM, for one) keep fewer
// bytes than their own type needs, and converting such an image reads past
// its data.
bool consistent(int width, int height) {
  const ILint depth = ilGetInteger(IL_IMAGE_DEPTH);
  const ILint bpp = ilGetInteger(IL_IMAGE_BPP);  // bytes a pixel
  const ILint channels = ilGetInteger(IL_IMAGE_CHANNELS);
  const ILint bpc = ilGetInteger(IL_IMAGE_BPC);
  const ILint size = ilGetInteger(IL_IMAGE_SIZE_OF_DATA);
  if (depth < 1 || channels < 1 || channels > 4 || size < 0 || !ilGetData()) return false;
  if (bpc < 1 || static_cast<uint64_t>(bpc) != channel_bytes(ilGetInteger(IL_IMAGE_TYPE)))
    return false;
  if (bpp != channels * bpc) return false;
  const uint64_t needed = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) *
                          static_cast<uint64_t>(depth) * static_cast<uint64_t>(bpp);
  return static_cast<uint64_t>(size) >= needed;
}

// One row of pixels of one of DevIL's 8-bit layouts as RGBA, what DevIL's
// own conversion makes of it: grey fills red, green and blue, and a layout
// without alpha is opaque.
using RowToRgba = void (*)(const unsigned char* in, int width, unsigned char* out);

template <int kBytes, int kRed, int kGreen, int kBlue, int kAlpha>  // kAlpha < 0: opaque
void row_to_rgba(const unsigned char* in, int width, unsigned char* out) {
  for (int x = 0; x < width; ++x, in += kBytes, out += 4) {
    out[0] = in[kRed];
    out[1] = in[kGreen];
    out[2] = in[kBlue];
    out[3] = kAlpha < 0 ? 255 : in[kAlpha];
  }
}

void rgba_row(const unsigned char* in, int width, unsigned char* out) {
  std::memcpy(out, in, static_cast<size_t>(width) * 4);
}

// RGB, the layout of JPEG and of most PNG photographs, a pixel at a time in
// one load and one store: four bytes read, the fourth (the next pixel's
// red) overwritten with opaque alpha. The last pixel is done bytewise, so
// that nothing past the row is read.
void rgb_row(const unsigned char* in, int width, unsigned char* out) {
  if (width < 1) return;
  static constexpr unsigned char kOpaqueBytes[4] = {0, 0, 0, 255};
  uint32_t opaque;
  std::memcpy(&opaque, kOpaqueBytes, 4);
  for (int x = 0; x + 1 < width; ++x) {
    uint32_t pixel;
    std::memcpy(&pixel, in + 3 * x, 4);
    pixel |= opaque;
    std::memcpy(out + 4 * x, &pixel, 4);
  }
  row_to_rgba<3, 0, 1, 2, -1>(in + 3 * (width - 1), 1, out + 4 * (width - 1));
}

// Null for the layouts left to DevIL's conversion (palettes, more than 8
// bits a channel).
RowToRgba row_to_rgba_of(ILint format, ILint type) {
  if (type != IL_UNSIGNED_BYTE) return nullptr;
  switch (format) {
    case IL_RGBA: return rgba_row;
    case IL_RGB: return rgb_row;
    case IL_BGRA: return row_to_rgba<4, 2, 1, 0, 3>;
    case IL_BGR: return row_to_rgba<3, 2, 1, 0, -1>;
    case IL_LUMINANCE_ALPHA: return row_to_rgba<2, 0, 0, 0, 1>;
    case IL_LUMINANCE: return row_to_rgba<1, 0, 0, 0, -1>;
    default: return nullptr;
  }
}

// The child: only DevIL's decoding and plain system calls, then _exit, so
// that nothing of the parent's windowing or GL state runs here. Writes the
// picture as the texture wants it into the shared memory `fd`, sized here
// now that the picture's size is known: RGBA, bottom row first, no side
// longer than max_side.
[[noreturn]] void decode_in_child(const char* path, int max_side, int fd) {
  std::signal(SIGALRM, SIG_DFL);
  std::signal(SIGXCPU, SIG_DFL);
  std::signal(SIGPIPE, SIG_DFL);
  rlimit cpu{kCpuSeconds, kCpuSeconds};
  setrlimit(RLIMIT_CPU, &cpu);
  alarm(kWallSeconds);

  struct stat st;
  if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) _exit(1);
  no_devil_error();
  ILuint image = 0;
  ilGenImages(1, &image);
  ilBindImage(image);
  // A load that "succeeds" after a read error holds undefined pixels.
  if (!ilLoadImage(path) || !no_devil_error()) _exit(1);
  const int width = ilGetInteger(IL_IMAGE_WIDTH), height = ilGetInteger(IL_IMAGE_HEIGHT);
  if (!sane(width, height) || !consistent(width, height)) _exit(1);
  const int out_width = std::min(width, max_side), out_height = std::min(height, max_side);

  // The common layouts become RGBA on their way into the shared memory;
  // the others, and a picture the texture cannot take whole, go through
  // DevIL's conversion (and scaling) first, as its GL layer took them.
  RowToRgba to_rgba = nullptr;
  if (out_width == width && out_height == height)
    to_rgba = row_to_rgba_of(ilGetInteger(IL_IMAGE_FORMAT), ilGetInteger(IL_IMAGE_TYPE));
  if (!to_rgba) {
    if (!ilConvertImage(IL_RGBA, IL_UNSIGNED_BYTE) || !no_devil_error()) _exit(1);
    if (out_width != width || out_height != height) {
      iluImageParameter(ILU_FILTER, ILU_BILINEAR);
      if (!iluScale(static_cast<ILuint>(out_width), static_cast<ILuint>(out_height), 1) ||
          !no_devil_error()) {
        _exit(1);
      }
    }
    if (ilGetInteger(IL_IMAGE_FORMAT) != IL_RGBA ||
        ilGetInteger(IL_IMAGE_TYPE) != IL_UNSIGNED_BYTE || ilGetInteger(IL_IMAGE_BPP) != 4 ||
        ilGetInteger(IL_IMAGE_WIDTH) != out_width || ilGetInteger(IL_IMAGE_HEIGHT) != out_height ||
        !consistent(out_width, out_height)) {
      _exit(1);
    }
    to_rgba = rgba_row;
  }
  const ILint origin = ilGetInteger(IL_IMAGE_ORIGIN);
  if (origin != IL_ORIGIN_LOWER_LEFT && origin != IL_ORIGIN_UPPER_LEFT) _exit(1);

  const size_t length = kHeaderBytes + rgba_bytes(out_width, out_height);
  if (ftruncate(fd, static_cast<off_t>(length)) != 0) _exit(1);
  void* shared = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, fd, 0);
  if (shared == MAP_FAILED) _exit(1);
  unsigned char* const pixels = static_cast<unsigned char*>(shared) + kHeaderBytes;
  // The first slice of a picture with depth: width x height pixels.
  const unsigned char* const data = ilGetData();
  const size_t row_in =
      static_cast<size_t>(out_width) * static_cast<size_t>(ilGetInteger(IL_IMAGE_BPP));
  const size_t row_out = static_cast<size_t>(out_width) * 4;
  for (int row = 0; row < out_height; ++row) {
    const int from = origin == IL_ORIGIN_UPPER_LEFT ? out_height - 1 - row : row;
    to_rgba(data + row_in * static_cast<size_t>(from), out_width,
            pixels + row_out * static_cast<size_t>(row));
  }
  const Header header{kMagic, out_width, out_height};
  std::memcpy(shared, &header, sizeof header);
  _exit(0);
}

bool exited_cleanly(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The child's picture, mapped read-only; empty when the memory does not
// hold a whole picture of at most max_side a side. Seals it first, so that
// nothing can change it or cut it short (which would make reading it a
// fault) while the program reads it.
bool map_picture(int fd, int max_side, DecodedPicture* out) {
  if (fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) != 0)
    return false;
  Header header{};
  struct stat st;
  if (pread(fd, &header, sizeof header, 0) != static_cast<ssize_t>(sizeof header) ||
      fstat(fd, &st) != 0 || header.magic != kMagic || !sane(header.width, header.height) ||
      header.width > max_side || header.height > max_side) {
    return false;
  }
  const size_t length = kHeaderBytes + rgba_bytes(header.width, header.height);
  if (static_cast<uint64_t>(st.st_size) != length) return false;
  void* base = mmap(nullptr, length, PROT_READ, MAP_SHARED | MAP_POPULATE, fd, 0);
  if (base == MAP_FAILED) return false;
  out->memory = std::unique_ptr<unsigned char, SharedUnmap>(static_cast<unsigned char*>(base),
                                                            SharedUnmap{length});
  out->rgba = out->memory.get() + kHeaderBytes;
  out->width = header.width;
  out->height = header.height;
  return true;
}

}  // namespace

void SharedUnmap::operator()(unsigned char* base) const { munmap(base, length); }

bool decode_picture_file(const char* path, int max_side, DecodedPicture* out) {
  *out = DecodedPicture{};
  if (!path || max_side < 1) return false;
  const int fd = memfd_create("daubwork-picture", MFD_CLOEXEC | MFD_ALLOW_SEALING);
  if (fd < 0) return false;
  const pid_t pid = fork();
  if (pid == 0) decode_in_child(path, max_side, fd);
  const bool ok = pid > 0 && exited_cleanly(pid) && map_picture(fd, max_side, out);
  close(fd);  // the mapping keeps the memory
  if (!ok) *out = DecodedPicture{};
  return ok;
}

uint32_t texture_from_picture(const DecodedPicture& picture, uint32_t into) {
  if (!picture.rgba || !sane(picture.width, picture.height)) return 0;
  GLint bound = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
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
  // Rows back to back, nothing skipped: the picture's own layout.
  glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
  glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
  glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, picture.width, picture.height, 0, GL_RGBA,
               GL_UNSIGNED_BYTE, picture.rgba);
  glPopClientAttrib();
  bool made = true;
  while (glGetError() != GL_NO_ERROR) made = false;
  glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(bound));
  if (made) return texture;
  if (into == 0) glDeleteTextures(1, &texture);
  return 0;
}

uint32_t load_picture_texture(const char* path) { return reload_picture_texture(path, 0); }

uint32_t reload_picture_texture(const char* path, uint32_t texture) {
  GLint max_side = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max_side);
  DecodedPicture picture;
  const uint32_t made =
      decode_picture_file(path, max_side, &picture) ? texture_from_picture(picture, texture) : 0;
  if (made == 0) release_picture_texture(texture);
  return made;
}

void release_picture_texture(uint32_t texture) {
  if (texture == 0) return;
  GLuint name = texture;
  glDeleteTextures(1, &name);
}

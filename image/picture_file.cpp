#include "image/picture_file.h"

#include <GL/gl.h>
#include <IL/il.h>
#include <IL/ilu.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <memory>
#include <new>

#include "base/fd_io.h"

namespace {

// What the child sends before the rows.
struct Header {
  uint32_t magic;
  int32_t width;
  int32_t height;
};
constexpr uint32_t kMagic = 0x44415542;  // "DAUB"

// The rows travel in bands of about this many bytes: small enough to stay
// in the cache between the child's conversion, the pipe and the upload, big
// enough that a 64-megapixel picture takes only about a thousand of them.
// The pipe holds a few bands, so that the child makes the next ones while
// the program uploads.
constexpr size_t kBandBytes = size_t{256} << 10;
constexpr int kPipeBytes = 1 << 20;

// Decoding limits: a decoder that runs away is ended, not waited for.
constexpr rlim_t kCpuSeconds = 60;
constexpr unsigned kWallSeconds = 120;

bool sane(int width, int height) {
  return width > 0 && height > 0 &&
         static_cast<uint64_t>(width) * static_cast<uint64_t>(height) <= kMaxPicturePixels;
}

// Rows of a band: at least one, however wide the picture.
int band_rows(int width) {
  return static_cast<int>(std::max<size_t>(1, kBandBytes / (static_cast<size_t>(width) * 4)));
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
// that nothing of the parent's windowing or GL state runs here. Sends the
// picture as the texture wants it into `fd`: the header, then RGBA rows,
// bottom row first, no side longer than max_side.
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

  // The common layouts become RGBA on their way into the bands;
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

  // The first slice of a picture with depth: width x height pixels.
  const unsigned char* const data = ilGetData();
  const size_t row_in =
      static_cast<size_t>(out_width) * static_cast<size_t>(ilGetInteger(IL_IMAGE_BPP));
  const size_t row_out = static_cast<size_t>(out_width) * 4;
  const int rows_per_band = band_rows(out_width);
  std::unique_ptr<unsigned char[]> band(
      new (std::nothrow) unsigned char[row_out * static_cast<size_t>(rows_per_band)]);
  const Header header{kMagic, out_width, out_height};
  if (!band || !write_all(fd, &header, sizeof header)) _exit(1);
  for (int row = 0; row < out_height; row += rows_per_band) {
    const int rows = std::min(rows_per_band, out_height - row);
    for (int i = 0; i < rows; ++i) {
      const int from = origin == IL_ORIGIN_UPPER_LEFT ? out_height - 1 - (row + i) : row + i;
      to_rgba(data + row_in * static_cast<size_t>(from), out_width,
              band.get() + row_out * static_cast<size_t>(i));
    }
    if (!write_all(fd, band.get(), row_out * static_cast<size_t>(rows))) _exit(1);
  }
  _exit(0);
}

bool exited_cleanly(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

PictureDecoder::~PictureDecoder() { stop(); }

void PictureDecoder::stop() {
  if (fd_ >= 0) close(fd_);
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    exited_cleanly(pid_);
  }
  fd_ = -1;
  pid_ = -1;
}

bool PictureDecoder::start(const char* path, int max_side) {
  stop();
  width_ = height_ = rows_read_ = 0;
  if (!path || max_side < 1) return false;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  fcntl(fds[1], F_SETPIPE_SZ, kPipeBytes);  // the default size serves too, only slower
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    decode_in_child(path, max_side, fds[1]);
  }
  close(fds[1]);
  fd_ = fds[0];
  pid_ = pid;
  Header header{};
  if (pid < 0 || !read_all(fd_, &header, sizeof header) || header.magic != kMagic ||
      !sane(header.width, header.height) || header.width > max_side || header.height > max_side) {
    stop();
    return false;
  }
  width_ = header.width;
  height_ = header.height;
  return true;
}

bool PictureDecoder::read_rows(int rows, unsigned char* out) {
  if (fd_ < 0 || rows < 0 || rows > height_ - rows_read_) return false;
  if (!read_all(fd_, out, static_cast<size_t>(rows) * static_cast<size_t>(width_) * 4)) {
    stop();
    return false;
  }
  rows_read_ += rows;
  return true;
}

bool PictureDecoder::finish() {
  if (pid_ <= 0) return false;
  if (rows_read_ < height_) {
    stop();
    return false;
  }
  close(fd_);
  fd_ = -1;
  const bool clean = exited_cleanly(pid_);
  pid_ = -1;
  return clean;
}

uint32_t texture_from_decoder(PictureDecoder& decoder, uint32_t into) {
  const int width = decoder.width(), height = decoder.height();
  const int rows_per_band = sane(width, height) ? std::min(band_rows(width), height) : 0;
  std::unique_ptr<unsigned char[]> band(
      new (std::nothrow) unsigned char[static_cast<size_t>(width) * 4 *
                                       static_cast<size_t>(rows_per_band)]);
  if (rows_per_band == 0 || !band) {
    decoder.finish();
    return 0;
  }
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
  // Rows back to back, nothing skipped: the bands' own layout.
  glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
  glPixelStorei(GL_UNPACK_SWAP_BYTES, GL_FALSE);
  glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
  glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
  glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
  bool made = glGetError() == GL_NO_ERROR;
  for (int row = 0; made && row < height; row += rows_per_band) {
    const int rows = std::min(rows_per_band, height - row);
    made = decoder.read_rows(rows, band.get());
    if (made)
      glTexSubImage2D(GL_TEXTURE_2D, 0, 0, row, width, rows, GL_RGBA, GL_UNSIGNED_BYTE, band.get());
  }
  made = decoder.finish() && made;
  glPopClientAttrib();
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

#include "image/picture_file.h"

#include <GL/gl.h>
#include <IL/il.h>
#include <IL/ilut.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <new>

#include "base/fd_io.h"

namespace {

// What the child sends before the pixels.
struct Header {
  uint32_t magic;
  int32_t width;
  int32_t height;
  uint32_t origin;
};
constexpr uint32_t kMagic = 0x44415542;  // "DAUB"

// Decoding limits: a decoder that runs away is ended, not waited for.
constexpr rlim_t kCpuSeconds = 60;
constexpr unsigned kWallSeconds = 120;

bool sane(int width, int height) {
  return width > 0 && height > 0 &&
         static_cast<uint64_t>(width) * static_cast<uint64_t>(height) <= kMaxPicturePixels;
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

// The child: only DevIL's decoding and plain system calls, then _exit, so
// that nothing of the parent's windowing or GL state runs here.
[[noreturn]] void decode_in_child(const char* path, int fd) {
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
  const Header header{kMagic, ilGetInteger(IL_IMAGE_WIDTH), ilGetInteger(IL_IMAGE_HEIGHT),
                      static_cast<uint32_t>(ilGetInteger(IL_IMAGE_ORIGIN))};
  if (!sane(header.width, header.height) || !consistent(header.width, header.height)) _exit(1);
  if (!ilConvertImage(IL_RGBA, IL_UNSIGNED_BYTE) || !no_devil_error()) _exit(1);
  if (ilGetInteger(IL_IMAGE_FORMAT) != IL_RGBA || ilGetInteger(IL_IMAGE_TYPE) != IL_UNSIGNED_BYTE ||
      ilGetInteger(IL_IMAGE_BPP) != 4 || ilGetInteger(IL_IMAGE_WIDTH) != header.width ||
      ilGetInteger(IL_IMAGE_HEIGHT) != header.height || !consistent(header.width, header.height)) {
    _exit(1);
  }
  // The first slice of a picture with depth: width x height pixels.
  const size_t bytes = static_cast<size_t>(header.width) * static_cast<size_t>(header.height) * 4;
  const bool sent = write_all(fd, &header, sizeof header) && write_all(fd, ilGetData(), bytes);
  ilBindImage(0);
  ilDeleteImages(1, &image);
  _exit(sent ? 0 : 1);
}

}  // namespace

bool decode_picture_file(const char* path, DecodedPicture* out) {
  *out = DecodedPicture{};
  if (!path) return false;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  const pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    return false;
  }
  if (pid == 0) {
    close(fds[0]);
    decode_in_child(path, fds[1]);
  }
  close(fds[1]);

  Header header{};
  bool ok = read_all(fds[0], &header, sizeof header) && header.magic == kMagic &&
            sane(header.width, header.height) &&
            (header.origin == IL_ORIGIN_LOWER_LEFT || header.origin == IL_ORIGIN_UPPER_LEFT);
  if (ok) {
    out->size = static_cast<size_t>(header.width) * static_cast<size_t>(header.height) * 4;
    out->rgba.reset(new (std::nothrow) unsigned char[out->size]);
    ok = out->rgba && read_all(fds[0], out->rgba.get(), out->size);
  }
  close(fds[0]);
  if (!ok) kill(pid, SIGKILL);  // nothing more is wanted from it
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  ok = ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  if (!ok) {
    *out = DecodedPicture{};
    return false;
  }
  out->width = header.width;
  out->height = header.height;
  out->origin = header.origin;
  return true;
}

uint32_t texture_from_picture(const DecodedPicture& picture, uint32_t into) {
  if (!picture.rgba || !sane(picture.width, picture.height)) return 0;
  ILuint image = 0;
  ilGenImages(1, &image);
  ilBindImage(image);
  uint32_t texture = 0;
  if (ilTexImage(static_cast<ILuint>(picture.width), static_cast<ILuint>(picture.height), 1, 4,
                 IL_RGBA, IL_UNSIGNED_BYTE, picture.rgba.get())) {
    ilRegisterOrigin(picture.origin);
    if (into == 0) {
      texture = ilutGLBindTexImage();
    } else {
      // Level 0 of the bound texture, as ilutGLBindTexImage fills a new one.
      glBindTexture(GL_TEXTURE_2D, into);
      if (ilutGLTexImage(0)) texture = into;
    }
  }
  ilBindImage(0);
  ilDeleteImages(1, &image);
  no_devil_error();
  return texture;
}

uint32_t load_picture_texture(const char* path) { return reload_picture_texture(path, 0); }

uint32_t reload_picture_texture(const char* path, uint32_t texture) {
  DecodedPicture picture;
  const uint32_t made =
      decode_picture_file(path, &picture) ? texture_from_picture(picture, texture) : 0;
  if (made == 0) release_picture_texture(texture);
  return made;
}

void release_picture_texture(uint32_t texture) {
  if (texture == 0) return;
  GLuint name = texture;
  glDeleteTextures(1, &name);
}

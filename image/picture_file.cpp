#include "image/picture_file.h"

#include <GL/gl.h>
#include <IL/il.h>
#include <IL/ilu.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "app/gl_scope.h"
#include "base/fd_io.h"

namespace {

// What the child sends before the rows, twice: first the size the file
// states, as soon as it has looked (0 x 0 when it cannot tell), then the
// size of the decoded picture.
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

uint32_t big_endian(const unsigned char* bytes, int count) {
  uint32_t value = 0;
  for (int i = 0; i < count; ++i) value = value << 8 | bytes[i];
  return value;
}

// The size a PNG or JPEG file states before its pixels (the formats of big
// photographs), so that the program can make the texture's storage while
// DevIL decodes; 0 x 0 for other files and when unsure. Only a guess: the
// decoded picture's size decides.
Header stated_size(const char* path) {
  Header size{kMagic, 0, 0};
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  unsigned char head[24];
  if (fd < 0 || pread(fd, head, sizeof head, 0) != static_cast<ssize_t>(sizeof head)) {
    if (fd >= 0) close(fd);
    return size;
  }
  if (std::memcmp(head, "\x89PNG\r\n\x1a\n", 8) == 0 && std::memcmp(head + 12, "IHDR", 4) == 0) {
    size.width = static_cast<int32_t>(big_endian(head + 16, 4));
    size.height = static_cast<int32_t>(big_endian(head + 20, 4));
  } else if (head[0] == 0xFF && head[1] == 0xD8) {
    // JPEG: from the start marker, segments of a marker and a length, up to
    // the frame header (SOF0 to SOF15, but DHT, JPG and DAC): its length,
    // precision, then height and width.
    off_t at = 2;
    unsigned char segment[9];
    for (int seen = 0; seen < 256 && pread(fd, segment, 9, at) == 9 && segment[0] == 0xFF; ++seen) {
      const unsigned char kind = segment[1];
      if (kind >= 0xC0 && kind <= 0xCF && kind != 0xC4 && kind != 0xC8 && kind != 0xCC) {
        size.height = static_cast<int32_t>(big_endian(segment + 5, 2));
        size.width = static_cast<int32_t>(big_endian(segment + 7, 2));
        break;
      }
      at += kind == 0xFF ? 1 : 2 + static_cast<off_t>(big_endian(segment + 2, 2));  // fill byte
    }
  }
  close(fd);
  if (!sane(size.width, size.height)) size.width = size.height = 0;
  return size;
}

// The child: only DevIL's decoding and plain system calls, then _exit, so
// that nothing of the parent's windowing or GL state runs here. Sends the
// picture as the texture wants it into `fd`: the stated size, the header,
// then RGBA rows, bottom row first, no side longer than max_side.
[[noreturn]] void decode_in_child(const char* path, int max_side, int fd) {
  std::signal(SIGALRM, SIG_DFL);
  std::signal(SIGXCPU, SIG_DFL);
  std::signal(SIGPIPE, SIG_DFL);
  rlimit cpu{kCpuSeconds, kCpuSeconds};
  setrlimit(RLIMIT_CPU, &cpu);
  alarm(kWallSeconds);

  struct stat st;
  if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) _exit(1);
  Header stated = stated_size(path);
  stated.width = std::min(stated.width, max_side);
  stated.height = std::min(stated.height, max_side);
  if (!write_all(fd, &stated, sizeof stated)) _exit(1);
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

// --- the spawner ------------------------------------------------------------
//
// Forking the program for every picture would share all of its memory with
// the child, the last picture's texture included, and every page the
// upload then writes would be copied first, as the child still holds it:
// on a 64-megapixel picture that costs more than the decoding. So the
// decoding children come from a small process, forked from the program
// once, as it starts (start_picture_decoding) or at its first picture at
// the latest: the spawner. Started before the window exists, it shares
// next to nothing with the program; started later, it would keep the
// pages the program has since changed.
// It takes requests on a socket (the path, the longest side and, passed
// along, the pipe the child is to write into), forks a child for each, and
// answers with one byte when the child has ended: 0 when it ended cleanly.
// It ends when the program closes the socket, also when the program dies;
// a program that exits ends and waits for it, so that nothing is left
// behind.

struct Request {
  int32_t max_side;
  uint32_t path_bytes;
};
constexpr uint32_t kMaxPathBytes = 1 << 20;

int spawner_socket = -1;
pid_t spawner_pid = -1;
// The process that started it: a process forked from the program that
// calls exit() runs the program's exit handlers too, and must leave the
// program's spawner alone.
pid_t spawner_owner = -1;

// A request with its pipe; false at the end of the program's requests.
bool receive_request(int socket, Request* request, int* pipe_fd, std::string* path) {
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
  iovec data{request, sizeof *request};
  msghdr message{};
  message.msg_iov = &data;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  ssize_t got;
  while ((got = recvmsg(socket, &message, MSG_CMSG_CLOEXEC)) < 0 && errno == EINTR) {
  }
  const cmsghdr* passed = got > 0 ? CMSG_FIRSTHDR(&message) : nullptr;
  *pipe_fd = -1;
  if (passed && passed->cmsg_level == SOL_SOCKET && passed->cmsg_type == SCM_RIGHTS)
    std::memcpy(pipe_fd, CMSG_DATA(passed), sizeof(int));
  const size_t rest = sizeof *request - static_cast<size_t>(std::max<ssize_t>(got, 0));
  if (got <= 0 || *pipe_fd < 0 || !read_all(socket, reinterpret_cast<char*>(request) + got, rest) ||
      request->path_bytes > kMaxPathBytes) {
    return false;
  }
  path->resize(request->path_bytes);
  return read_all(socket, path->data(), path->size());
}

[[noreturn]] void run_spawner(int socket) {
  // Nothing of the program's: its window's connection, its files.
  if (socket > 3) close_range(3, static_cast<unsigned>(socket) - 1, 0);
  close_range(static_cast<unsigned>(socket) + 1, ~0u, 0);
  std::signal(SIGPIPE, SIG_DFL);
  // The children decode with DevIL, which the program may not have set up
  // yet when it started the spawner.
  ilInit();
  iluInit();
  for (;;) {
    Request request{};
    int pipe_fd = -1;
    std::string path;
    if (!receive_request(socket, &request, &pipe_fd, &path)) _exit(0);
    const pid_t pid = fork();
    if (pid == 0) {
      close(socket);
      decode_in_child(path.c_str(), request.max_side, pipe_fd);
    }
    close(pipe_fd);
    const unsigned char ended = pid > 0 && exited_cleanly(pid) ? 0 : 1;
    if (!write_all(socket, &ended, 1)) _exit(0);
  }
}

void stop_spawner() {
  if (spawner_owner != getpid()) return;
  if (spawner_socket >= 0) close(spawner_socket);
  if (spawner_pid > 0) {
    kill(spawner_pid, SIGKILL);
    exited_cleanly(spawner_pid);
  }
  spawner_socket = -1;
  spawner_pid = -1;
}

bool start_spawner() {
  static const bool stopped_at_exit = std::atexit(stop_spawner) == 0;
  (void)stopped_at_exit;
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return false;
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    run_spawner(fds[1]);
  }
  close(fds[1]);
  if (pid < 0) {
    close(fds[0]);
    return false;
  }
  spawner_socket = fds[0];
  spawner_pid = pid;
  spawner_owner = getpid();
  return true;
}

// Sends everything or nothing useful; never raises SIGPIPE in the program.
bool send_all(int socket, const void* data, size_t size, int pass_fd = -1) {
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    iovec chunk{const_cast<char*>(bytes), size};
    msghdr message{};
    message.msg_iov = &chunk;
    message.msg_iovlen = 1;
    if (pass_fd >= 0) {
      message.msg_control = control;
      message.msg_controllen = sizeof control;
      cmsghdr* passed = CMSG_FIRSTHDR(&message);
      passed->cmsg_level = SOL_SOCKET;
      passed->cmsg_type = SCM_RIGHTS;
      passed->cmsg_len = CMSG_LEN(sizeof(int));
      std::memcpy(CMSG_DATA(passed), &pass_fd, sizeof(int));
    }
    const ssize_t sent = sendmsg(socket, &message, MSG_NOSIGNAL);
    if (sent < 0 && errno == EINTR) continue;
    if (sent <= 0) return false;
    bytes += sent;
    size -= static_cast<size_t>(sent);
    pass_fd = -1;  // passed with the first bytes
  }
  return true;
}

}  // namespace

void start_picture_decoding() {
  if (spawner_pid < 0) start_spawner();
}

namespace {

// Has the spawner start a child that decodes `path` into `pipe_fd`; starts
// the spawner first, or again when it has gone.
bool request_decoding(const char* path, int max_side, int pipe_fd) {
  const size_t length = std::strlen(path);
  if (length > kMaxPathBytes) return false;
  const Request request{max_side, static_cast<uint32_t>(length)};
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (spawner_pid < 0 && !start_spawner()) return false;
    if (send_all(spawner_socket, &request, sizeof request, pipe_fd) &&
        send_all(spawner_socket, path, length))
      return true;
    stop_spawner();
  }
  return false;
}

// --- the program's side -------------------------------------------------------

// A picture file being decoded by a child of the spawner, read as the
// texture wants it: width x height RGBA pixels, rows back to back, the
// bottom row first, no side longer than max_side.
class PictureDecoder {
 public:
  PictureDecoder() = default;
  PictureDecoder(const PictureDecoder&) = delete;
  PictureDecoder& operator=(const PictureDecoder&) = delete;
  ~PictureDecoder();  // finishes

  // Starts decoding; returns once the child has read the size the file
  // states, long before the picture is decoded. False, with the child
  // ended, when the file is not a regular file. One decoder at a time: the
  // spawner answers the requests in turn.
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

PictureDecoder::~PictureDecoder() { finish(); }

bool PictureDecoder::start(const char* path, int max_side) {
  finish();
  stated_width_ = stated_height_ = width_ = height_ = rows_read_ = 0;
  if (!path || max_side < 1) return false;
  max_side_ = max_side;
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return false;
  fcntl(fds[1], F_SETPIPE_SZ, kPipeBytes);  // the default size serves too, only slower
  decoding_ = request_decoding(path, max_side, fds[1]);
  close(fds[1]);
  fd_ = fds[0];
  Header stated{};
  if (!decoding_ || !read_all(fd_, &stated, sizeof stated) || stated.magic != kMagic) {
    finish();
    return false;
  }
  if (sane(stated.width, stated.height) && stated.width <= max_side && stated.height <= max_side) {
    stated_width_ = stated.width;
    stated_height_ = stated.height;
  }
  return true;
}

bool PictureDecoder::wait_for_size() {
  Header header{};
  if (fd_ < 0 || width_ > 0 || !read_all(fd_, &header, sizeof header) || header.magic != kMagic ||
      !sane(header.width, header.height) || header.width > max_side_ || header.height > max_side_) {
    finish();
    return false;
  }
  width_ = header.width;
  height_ = header.height;
  return true;
}

bool PictureDecoder::read_rows(int rows, unsigned char* out) {
  if (fd_ < 0 || rows < 0 || rows > height_ - rows_read_) return false;
  if (!read_all(fd_, out, static_cast<size_t>(rows) * static_cast<size_t>(width_) * 4)) {
    finish();
    return false;
  }
  rows_read_ += rows;
  return true;
}

bool PictureDecoder::finish() {
  const bool all_read = fd_ >= 0 && rows_read_ == height_ && height_ > 0;
  // A child with rows left to send ends at its next write.
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  if (!decoding_) return false;
  decoding_ = false;
  unsigned char ended = 1;
  if (!read_all(spawner_socket, &ended, 1)) stop_spawner();
  return all_read && ended == 0;
}

// The texture of a started decoder's picture, as load_picture_texture
// makes it: a new one, or the texture `into` filled again when that is not
// 0. Finishes the decoder. 0 when the rows do not all come or the renderer
// cannot make the texture (a new texture is then deleted again; `into`
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
    const int rows_per_band = made ? std::min(band_rows(width), height) : 0;
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

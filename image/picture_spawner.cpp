// See picture_spawner.h.
#include "image/picture_spawner.h"

#include <IL/il.h>
#include <IL/ilu.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/fd_io.h"
#include "image/picture_decode.h"

namespace {

// The pipe holds a few bands, so that the child makes the next ones while
// the program uploads.
constexpr int kPipeBytes = 1 << 20;

bool exited_cleanly(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0)
    if (errno != EINTR) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

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
      decode_picture_in_child(path.c_str(), request.max_side, pipe_fd);
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
  // A launcher may have left SIGCHLD ignored, and that is inherited across
  // exec: the system then reaps every child itself, and waiting for one
  // finds none, so no decoding would count as ended cleanly.
  std::signal(SIGCHLD, SIG_DFL);
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

}  // namespace

void start_picture_spawner() {
  if (spawner_pid < 0) start_spawner();
}

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
  PictureWire stated{};
  if (!decoding_ || !read_all(fd_, &stated, sizeof stated) || stated.magic != kPictureWireMagic) {
    finish();
    return false;
  }
  if (picture_size_sane(stated.width, stated.height) && stated.width <= max_side &&
      stated.height <= max_side) {
    stated_width_ = stated.width;
    stated_height_ = stated.height;
  }
  return true;
}

bool PictureDecoder::wait_for_size() {
  PictureWire header{};
  if (fd_ < 0 || width_ > 0 || !read_all(fd_, &header, sizeof header) ||
      header.magic != kPictureWireMagic || !picture_size_sane(header.width, header.height) ||
      header.width > max_side_ || header.height > max_side_) {
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
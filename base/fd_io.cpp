#include "base/fd_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace {

// Moves size bytes with `call` (read or write), as many calls as it takes.
template <typename Bytes, typename Call>
bool transfer_all(int fd, Bytes* data, std::size_t size, Call call) {
  while (size > 0) {
    const ssize_t n = call(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;  // an error, or nothing more to read or take
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

bool write_all(int fd, const void* data, std::size_t size) {
  return transfer_all(fd, static_cast<const char*>(data), size, ::write);
}

bool read_all(int fd, void* data, std::size_t size) {
  return transfer_all(fd, static_cast<char*>(data), size, ::read);
}

int open_without_waiting(const char* path, int flags) {
  const int fd = ::open(path, flags | O_NONBLOCK);
  if (fd < 0) return -1;
  const int status = ::fcntl(fd, F_GETFL);
  if (status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

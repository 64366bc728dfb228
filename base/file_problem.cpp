#include "base/file_problem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

std::string read_problem(const char* path) {
  if (!path || !*path) return std::strerror(ENOENT);
  // Without waiting: a pipe with no writer would block the open.
  const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return std::strerror(errno);
  struct stat info;
  const bool folder = ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
  ::close(fd);
  return folder ? std::strerror(EISDIR) : std::string();
}

std::string write_problem(const char* path) {
  if (!path || !*path) return std::strerror(ENOENT);
  struct stat info;
  if (::stat(path, &info) == 0) {
    if (S_ISDIR(info.st_mode)) return std::strerror(EISDIR);
    return ::access(path, W_OK) != 0 ? std::strerror(errno) : std::string();
  } else if (errno != ENOENT) {
    return std::strerror(errno);
  }
  // The file may be missing: can its folder take it?
  const char* slash = std::strrchr(path, '/');
  const std::string folder = !slash          ? std::string(".")
                             : slash == path ? std::string("/")
                                             : std::string(path, slash);
  if (::stat(folder.c_str(), &info) != 0) return std::strerror(errno);
  if (!S_ISDIR(info.st_mode)) return std::strerror(ENOTDIR);
  if (::access(folder.c_str(), W_OK | X_OK) != 0) return std::strerror(errno);
  return std::string();
}

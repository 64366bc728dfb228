// Whole reads and writes on file descriptors (files, pipes): every byte or
// a failure. A call interrupted by a signal (EINTR) is made again; an error,
// or an end of file before every byte, is a failure.
#pragma once

#include <cstddef>

bool write_all(int fd, const void* data, std::size_t size);
bool read_all(int fd, void* data, std::size_t size);

// Opens path with open(2)'s flags, but without waiting: a pipe with no
// other end, or a device, would block the open itself. The descriptor is
// made blocking again before it is returned; -1 when the open fails (for
// writing, also when a pipe has no reader).
int open_without_waiting(const char* path, int flags);

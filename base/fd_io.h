// Whole reads and writes on file descriptors (files, pipes): every byte or
// a failure. A call interrupted by a signal (EINTR) is made again; an error,
// or an end of file before every byte, is a failure.
#pragma once

#include <cstddef>

bool write_all(int fd, const void* data, std::size_t size);
bool read_all(int fd, void* data, std::size_t size);

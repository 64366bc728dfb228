// Why a file could not be read or written, in the system's words
// ("No such file or directory", "Permission denied", "Is a directory"),
// for the message a failed load or save shows. Asked after the failure,
// of the file system as it stands.
#pragma once

#include <string>

// Why path cannot be read: the system's reason, or an empty text when it
// can be opened for reading (then it is the content that was refused).
std::string read_problem(const char* path);
// Why path cannot be written as a file: the system's reason for the file
// or its folder, or an empty text when none is found.
std::string write_problem(const char* path);

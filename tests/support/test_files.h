// Files and folders for tests: the project's own data, and scratch folders
// that remove themselves.
#pragma once

#include <string>

// Absolute path of a file in the source tree (e.g. "samples/image1.jpg").
std::string source_path(const std::string& relative);

// A fresh folder under the system's temporary folder, removed with all it
// holds when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// The whole contents of a file; empty when it cannot be read.
std::string read_file(const std::string& path);
// Writes (replaces) a file; returns false on failure.
bool write_file(const std::string& path, const std::string& bytes);
bool file_exists(const std::string& path);

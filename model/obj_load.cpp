// ObjModel::load_obj_model: reads the OBJ file whole, counts, allocates,
// parses, and loads the texture that the material library names.
#include "model/obj_load.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>

#include "base/fd_io.h"
#include "base/file_problem.h"
#include "base/messages.h"
#include "model/obj_model.h"
#include "model/obj_parse.h"

namespace {

// Path buffers, terminator included.
constexpr size_t kObjPathSize = 1000;
constexpr size_t kMtlPathSize = 4000;

// Opens path for reading when it is a regular file. A pipe or a device
// would block in the open itself or never end, so the open does not wait
// and anything else is refused before a byte is read. Returns the
// descriptor, or -1 with *not_regular telling a refusal from a failed open.
int open_regular_file(const char* path, bool* not_regular) {
  *not_regular = false;
  int fd = open_without_waiting(path, O_RDONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return -1;
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    *not_regular = true;
    close(fd);
    return -1;
  }
  return fd;
}

// What one material library gives: read once per load, however often the
// OBJ file names it.
struct Library {
  bool has_offsets = false;
  float offset_u = 0.0f;
  float offset_v = 0.0f;
  std::string texture_path;  // empty: the library gives no texture
};

struct MaterialContext {
  ObjModel* model;
  const char* directory;
  std::string obj_folder;  // where the OBJ file lies: a library may lie beside it
  // Keyed by the name as the OBJ file gives it (the directory is the same
  // for every line).
  std::unordered_map<std::string, Library> libraries;
  // The library of the last "mtllib" line, null when that line named none
  // that could be read: its texture is the one the model ends with.
  const Library* last = nullptr;
};

// The folder of a file's path: "." for a bare name, "/" for one at the root.
std::string folder_of(const char* path) {
  const char* slash = std::strrchr(path, '/');
  if (!slash) return ".";
  if (slash == path) return "/";
  return std::string(path, slash);
}

// Where a relative name that a file names is looked for when it is not
// where the directory puts it: beside the file that names it, as a model
// and its library are copied together. Writes the path into out (size
// bytes); false when there is no other place to look (an absolute name,
// the same folder) or the path does not fit.
bool beside_path(char* out, size_t size, const char* directory, const std::string& folder,
                 const char* name, size_t length) {
  if (length == 0 || name[0] == '/' || folder == directory) return false;
  return join_path(out, size, folder.c_str(), name, length);
}

// Opens the library at mtl_path, or where beside_mtl_path names when
// nothing can be opened at mtl_path (null: no other place). Reports a
// failure with mtl_path, the place tried first. Returns -1 on failure,
// with *opened the path whose descriptor is returned.
int open_library(const char* mtl_path, const char* beside_mtl_path, const char** opened) {
  bool not_regular = false;
  int fd = open_regular_file(mtl_path, &not_regular);
  *opened = mtl_path;
  if (fd < 0 && !not_regular && beside_mtl_path) {
    bool beside_not_regular = false;
    fd = open_regular_file(beside_mtl_path, &beside_not_regular);
    if (fd >= 0) *opened = beside_mtl_path;
  }
  if (fd < 0) {
    print_message_line(stderr,
                       not_regular ? "Material library %s is not a regular file!\n"
                                   : "Material library %s could not be opened!\n",
                       mtl_path);
    if (!not_regular) explain_last_message_line(read_problem(mtl_path));
  }
  return fd;
}

// Reads the library's map_Kd statement into *library. The texture is
// looked for where the directory puts it, then beside the library.
void read_library(const char* first_path, const char* beside_mtl_path, const char* directory,
                  Library* library) {
  const char* mtl_path = first_path;
  int fd = open_library(first_path, beside_mtl_path, &mtl_path);
  if (fd < 0) return;
  FILE* mtl = fdopen(fd, "rb");
  if (!mtl) {
    close(fd);
    print_message_line(stderr, "Material library %s could not be opened!\n", mtl_path);
    return;
  }
  char line[kMtlPieceSize];
  size_t length = 0;
  MapKdStatus status = read_map_kd(mtl, line, &length);
  std::fclose(mtl);
  if (status == MapKdStatus::too_long) {
    print_message_line(stderr, "Texture line in %s is too long!\n", mtl_path);
    return;
  }
  if (status == MapKdStatus::missing) return;
  MapKdLine map = parse_map_kd_line(line, length);
  library->has_offsets = map.has_offsets;
  library->offset_u = map.offset_u;
  library->offset_v = map.offset_v;
  if (!map.name) return;
  char texture_path[kMtlPathSize];
  if (!join_path(texture_path, kMtlPathSize, directory, map.name, map.name_length)) {
    print_message_line(stderr, "Texture name in %s is not usable!\n", mtl_path);
    return;
  }
  char beside[kMtlPathSize];
  if (::access(texture_path, R_OK) != 0 &&
      beside_path(beside, sizeof beside, directory, folder_of(mtl_path), map.name,
                  map.name_length) &&
      ::access(beside, R_OK) == 0) {
    library->texture_path = beside;
    return;
  }
  library->texture_path = texture_path;
}

// Runs for every "mtllib" line during the parse: reads each library once
// per load. Offsets stay as the last library that gives them set them; the
// texture is decoded after the parse (load_last_texture), so that of the
// libraries a file names only the one that decides it is decoded.
void read_material_library(void* context, const char* name, size_t length) {
  MaterialContext& c = *static_cast<MaterialContext*>(context);
  c.last = nullptr;
  if (length == 0) return;
  // A name of kMtlPathSize bytes or more never makes a path, whatever it
  // ends with: its first kMtlPathSize bytes key it well enough, and a name
  // as long as the file is not copied whole.
  auto [entry, is_new] = c.libraries.try_emplace(std::string(name, std::min(length, kMtlPathSize)));
  Library& library = entry->second;
  if (is_new) {
    char mtl_path[kMtlPathSize];
    if (!join_path(mtl_path, sizeof mtl_path, c.directory, name, length)) {
      print_message_line(stderr, "Material library name %.*s is not usable!\n",
                         static_cast<int>(length < 200 ? length : 200), name);
      return;
    }
    char beside[kMtlPathSize];
    const bool has_beside =
        beside_path(beside, sizeof beside, c.directory, c.obj_folder, name, length);
    read_library(mtl_path, has_beside ? beside : nullptr, c.directory, &library);
  }
  if (library.has_offsets) {
    c.model->tex_offset_u = library.offset_u;
    c.model->tex_offset_v = library.offset_v;
  }
  c.last = &library;
}

// After the parse: the texture of the last library named, the only one
// decoded in a load.
void load_last_texture(const MaterialContext& c) {
  if (!c.last || c.last->texture_path.empty() || !obj_texture_loader) return;
  c.model->texture = obj_texture_loader(c.last->texture_path.c_str());
  if (c.model->texture != 0) return;
  // The console says nothing of it; the window tells why the model shows
  // untextured.
  const std::string why = read_problem(c.last->texture_path.c_str());
  show_message_line(MessageLevel::error,
                    "Texture " + c.last->texture_path + " could not be loaded.");
  explain_last_message_line(why.empty() ? "not a picture this program reads" : why);
}

// The file is read in steps of this size, each counted right after it is
// read, while its bytes are likely still in the processor's cache: the
// counting pass then need not bring a large model in from memory again.
constexpr size_t kReadStep = size_t{256} << 10;

// Reads the whole file into a new buffer and runs the counting pass over
// it; *length receives its size, *counts what the pass found. Reports on
// stderr and returns null on failure (buffer of a 0-byte file: not null,
// nothing in it).
std::unique_ptr<char[]> read_and_count_file(const char* path, size_t* length, ObjCounts* counts) {
  bool not_regular = false;
  int fd = open_regular_file(path, &not_regular);
  if (fd < 0) {
    print_message_line(
        stderr, not_regular ? "File %s could not be read!\n" : "File %s could not be opened!\n",
        path);
    if (!not_regular) explain_last_message_line(read_problem(path));
    return nullptr;
  }
  struct stat info;
  // The length is reported with %i, so it must fit an int.
  if (fstat(fd, &info) != 0 || info.st_size < 0 || info.st_size > INT_MAX) {
    print_message_line(stderr, "File %s could not be read!\n", path);
    close(fd);
    return nullptr;
  }
  size_t size = size_t(info.st_size);
  std::unique_ptr<char[]> file(new (std::nothrow) char[size > 0 ? size : 1]);
  char* buffer = file.get();
  if (!buffer) {
    print_message_line(stderr, "Not enough memory to load %s!\n", path);
    close(fd);
    return nullptr;
  }
  use_large_pages(buffer, size);
  size_t got = 0;
  *counts = ObjCounts{};
  const char* uncounted = buffer;  // the first line not yet counted
  while (got < size) {
    const size_t step = std::min(kReadStep, size - got);
    if (!read_all(fd, buffer + got, step)) break;
    uncounted = count_complete_lines(uncounted, buffer + got, buffer + got + step, counts);
    got += step;
  }
  close(fd);
  count_last_line(uncounted, buffer + got, counts);
  if (got != size) {
    print_message_line(stderr, "File %s could not be read!\n", path);
    return nullptr;
  }
  *length = size;
  return file;
}

// After the count lines: what the parse pass could not store, and a model
// left without a face to draw.
void report_faces(const char* path, const ObjCounts& counts, const ObjSkippedFaces& skipped,
                  const ObjModel& model, size_t length) {
  if (skipped.total() > 0) {
    std::string why;
    auto reason = [&](int32_t n, const char* what) {
      if (n == 0) return;
      why += why.empty() ? ": " : ", ";
      why += std::to_string(n) + " " + what;
    };
    reason(skipped.bad_index, "with an index of 0 or past the elements of its kind");
    reason(skipped.too_few_corners, "with fewer than three corners");
    reason(skipped.unreadable, "with a corner that is not an index");
    reason(skipped.no_room, "beyond the room counted for them");
    print_message_line(stderr, "Skipped %i of %i faces in %s%s.\n", skipped.total(), counts.faces,
                       path, why.c_str());
  }
  if (model.face_count == 0 && length > 0) {
    print_message_line(stderr, "Model %s has no face to draw.\n", path);
  }
}

}  // namespace

ObjTextureLoader obj_texture_loader = nullptr;

bool join_path(char* out, size_t size, const char* directory, const char* name, size_t length) {
  if (size > 0) out[0] = '\0';
  if (length == 0 || std::memchr(name, '\0', length)) return false;
  // An absolute name already says where the file is; joined, "/home/a.obj"
  // would become "./home/a.obj".
  const bool absolute = name[0] == '/';
  const size_t dir_length = absolute ? 0 : std::strlen(directory) + 1;
  if (dir_length + length + 1 > size) return false;
  if (!absolute) {
    std::memcpy(out, directory, dir_length - 1);
    out[dir_length - 1] = '/';
  }
  std::memcpy(out + dir_length, name, length);
  out[dir_length + length] = '\0';
  return true;
}

MapKdStatus read_map_kd(FILE* mtl, char (&line)[kMtlPieceSize], size_t* length) {
  // Each piece is tested like a line, also one that continues a long line.
  for (;;) {
    size_t n = 0;
    bool ended = false;  // by a line feed
    int c = 0;
    // The stream is this reader's alone: no lock for each byte of what may
    // be a large file.
    while (n < kMtlPieceSize - 1 && (c = getc_unlocked(mtl)) != EOF) {
      line[n++] = static_cast<char>(c);
      if (c == '\n') {
        ended = true;
        break;
      }
    }
    line[n] = '\0';
    if (n == 0) return MapKdStatus::missing;
    if (starts_with(line, n, "map_Kd")) {
      // A piece that stops without a line feed is over-long unless the file
      // ends right there.
      if (!ended && getc_unlocked(mtl) != EOF) return MapKdStatus::too_long;
      *length = n;
      return MapKdStatus::found;
    }
  }
}

bool ObjModel::load_obj_model(const char* directory, const char* file_name) {
  release_obj_arrays(*this);
  if (!directory) directory = "";
  if (!file_name) file_name = "";
  char path[kObjPathSize];
  if (!join_path(path, sizeof path, directory, file_name, std::strlen(file_name))) {
    // An empty or over-long name: no shortened path is ever opened.
    if (file_name[0] == '/') {
      print_message_line(stderr, "File %s could not be opened!\n", file_name);
    } else {
      print_message_line(stderr, "File %s/%s could not be opened!\n", directory, file_name);
    }
    explain_last_message_line(file_name[0] ? std::strerror(ENAMETOOLONG) : std::strerror(ENOENT));
    return false;
  }
  size_t length = 0;
  ObjCounts counts;
  std::unique_ptr<char[]> buffer = read_and_count_file(path, &length, &counts);
  if (!buffer) return false;
  const char* end = buffer.get() + length;
  print_message_line(stdout, "Found vertices: %i %i %i\n", counts.vertices, counts.texcoords,
                     counts.normals);
  print_message_line(stdout, "Found faces: %i\n", counts.faces);
  print_message_line(stdout, "File length: %i\n", static_cast<int>(length));
  if (!allocate_obj_arrays(*this, counts)) {
    print_message_line(stderr, "Not enough memory to load %s!\n", path);
    return false;
  }
  MaterialContext context{this, directory, folder_of(path), {}, nullptr};
  ObjSkippedFaces skipped =
      parse_obj_lines(buffer.get(), end, *this, counts, read_material_library, &context);
  // The file's bytes are no longer needed while the picture is decoded.
  buffer.reset();
  load_last_texture(context);
  report_faces(path, counts, skipped, *this, length);
  return true;
}

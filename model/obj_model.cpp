// ObjModel::load_obj_model: reads the OBJ file whole, counts, allocates,
// parses, and loads the texture that the material library names.
#include "model/obj_model.h"

#include <climits>
#include <cstring>
#include <new>

#include "image/picture_file.h"
#include "model/obj_load.h"
#include "model/obj_parse.h"

namespace {

// Path buffers, terminator included.
constexpr size_t kObjPathSize = 1000;
constexpr size_t kMtlPathSize = 4000;

// DevIL decodes the texture apart from the program (image/picture_file.h).
uint32_t load_texture_with_devil(const char* path) { return load_picture_texture(path); }

struct MaterialContext {
  ObjModel* model;
  const char* directory;
};

// The texture path named by the library's map_Kd line; false when there is
// none to load. Sets the offsets when the line gives "-o".
bool texture_path_from_library(const char* mtl_path, const char* directory,
                               ObjModel& model, char (&texture_path)[kMtlPathSize]) {
  FILE* mtl = std::fopen(mtl_path, "rb");
  if (!mtl) {
    std::fprintf(stderr, "Material library %s could not be opened!\n", mtl_path);
    return false;
  }
  char line[kMtlPieceSize];
  size_t length = 0;
  MapKdStatus status = read_map_kd(mtl, line, &length);
  std::fclose(mtl);
  if (status == MapKdStatus::too_long) {
    std::fprintf(stderr, "Texture line in %s is too long!\n", mtl_path);
    return false;
  }
  if (status == MapKdStatus::missing) return false;
  MapKdLine map = parse_map_kd_line(line, length);
  if (map.has_offsets) {
    model.tex_offset_u = map.offset_u;
    model.tex_offset_v = map.offset_v;
  }
  if (!map.name) return false;
  if (!join_path(texture_path, kMtlPathSize, directory, map.name, map.name_length)) {
    std::fprintf(stderr, "Texture name in %s is not usable!\n", mtl_path);
    return false;
  }
  return true;
}

// Runs for every "mtllib" line: the last library read decides the texture.
void load_material_library(void* context, const char* name, size_t length) {
  MaterialContext& c = *static_cast<MaterialContext*>(context);
  c.model->texture = 0;
  if (length == 0) return;
  char mtl_path[kMtlPathSize];
  if (!join_path(mtl_path, sizeof mtl_path, c.directory, name, length)) {
    std::fprintf(stderr, "Material library name %.*s is not usable!\n",
                 static_cast<int>(length < 200 ? length : 200), name);
    return;
  }
  char texture_path[kMtlPathSize];
  if (texture_path_from_library(mtl_path, c.directory, *c.model, texture_path)) {
    c.model->texture = obj_texture_loader(texture_path);
  }
}

// Reads the whole file into a new buffer; *length receives its size.
// Reports on stderr and returns null on failure (buffer of a 0-byte file:
// not null, nothing in it).
char* read_whole_file(const char* path, size_t* length) {
  FILE* file = std::fopen(path, "rb");
  if (!file) {
    std::fprintf(stderr, "File %s could not be opened!\n", path);
    return nullptr;
  }
  long size = -1;
  if (std::fseek(file, 0, SEEK_END) == 0) size = std::ftell(file);
  // The length is reported with %i, so it must fit an int.
  if (size < 0 || size > INT_MAX || std::fseek(file, 0, SEEK_SET) != 0) {
    std::fprintf(stderr, "File %s could not be read!\n", path);
    std::fclose(file);
    return nullptr;
  }
  char* buffer = new (std::nothrow) char[size > 0 ? size_t(size) : 1];
  if (!buffer) {
    std::fprintf(stderr, "Not enough memory to load %s!\n", path);
    std::fclose(file);
    return nullptr;
  }
  size_t got = size > 0 ? std::fread(buffer, 1, size_t(size), file) : 0;
  std::fclose(file);
  if (got != size_t(size)) {
    std::fprintf(stderr, "File %s could not be read!\n", path);
    delete[] buffer;
    return nullptr;
  }
  *length = size_t(size);
  return buffer;
}

}  // namespace

ObjTextureLoader obj_texture_loader = load_texture_with_devil;

bool join_path(char* out, size_t size, const char* directory, const char* name,
               size_t length) {
  if (size > 0) out[0] = '\0';
  if (length == 0 || std::memchr(name, '\0', length)) return false;
  size_t dir_length = std::strlen(directory);
  if (dir_length + 1 + length + 1 > size) return false;
  std::memcpy(out, directory, dir_length);
  out[dir_length] = '/';
  std::memcpy(out + dir_length + 1, name, length);
  out[dir_length + 1 + length] = '\0';
  return true;
}

MapKdStatus read_map_kd(FILE* mtl, char (&line)[kMtlPieceSize], size_t* length) {
  bool at_line_start = true;
  for (;;) {
    size_t n = 0;
    bool ended = false;  // by a line feed
    int c = 0;
    while (n < kMtlPieceSize - 1 && (c = std::getc(mtl)) != EOF) {
      line[n++] = static_cast<char>(c);
      if (c == '\n') {
        ended = true;
        break;
      }
    }
    line[n] = '\0';
    if (n == 0) return MapKdStatus::missing;
    if (at_line_start && starts_with(line, n, "map_Kd")) {
      // A piece that stops without a line feed is over-long unless the file
      // ends right there.
      if (!ended && std::getc(mtl) != EOF) return MapKdStatus::too_long;
      *length = n;
      return MapKdStatus::found;
    }
    // The rest of a long line is not the start of a statement.
    at_line_start = ended;
  }
}

bool ObjModel::load_obj_model(const char* directory, const char* file_name) {
  release_obj_arrays(*this);
  if (!directory) directory = "";
  if (!file_name) file_name = "";
  char path[kObjPathSize];
  if (!join_path(path, sizeof path, directory, file_name, std::strlen(file_name))) {
    // An empty or over-long name: no shortened path is ever opened.
    std::fprintf(stderr, "File %s/%s could not be opened!\n", directory, file_name);
    return false;
  }
  size_t length = 0;
  char* buffer = read_whole_file(path, &length);
  if (!buffer) return false;
  const char* end = buffer + length;
  ObjCounts counts = count_obj_lines(buffer, end);
  std::printf("Found vertices: %i %i %i\n", counts.vertices, counts.texcoords, counts.normals);
  std::printf("Found faces: %i\n", counts.faces);
  std::printf("File length: %i\n", static_cast<int>(length));
  if (!allocate_obj_arrays(*this, counts)) {
    std::fprintf(stderr, "Not enough memory to load %s!\n", path);
    delete[] buffer;
    return false;
  }
  MaterialContext context{this, directory};
  parse_obj_lines(buffer, end, *this, counts, load_material_library, &context);
  delete[] buffer;
  return true;
}

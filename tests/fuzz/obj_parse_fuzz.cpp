// Fuzz target: any bytes as an OBJ file, and every line of them as a
// material library's map_Kd line. Aborts when a load leaves an index outside
// its array, counts that disagree with what was stored, or a name outside
// the bytes it came from; AddressSanitizer catches any read past the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "model/obj_parse.h"

namespace {

struct Input {
  const char* begin;
  const char* end;
};

void check_library_name(void* context, const char* name, size_t length) {
  const Input& in = *static_cast<const Input*>(context);
  if (name < in.begin || name > in.end || length > size_t(in.end - name)) std::abort();
}

void check_map_kd_lines(const char* begin, const char* end) {
  // In pieces of at most 254 bytes, as the material library is read.
  for (const char* p = begin; p < end;) {
    const char* stop = p + 254 < end ? p + 254 : end;
    const char* lf = find_line_feed(p, stop);
    const char* piece_end = lf < stop ? lf + 1 : stop;
    size_t length = size_t(piece_end - p);
    if (starts_with(p, length, "map_Kd")) {
      MapKdLine m = parse_map_kd_line(p, length);
      if (m.name && (m.name < p || m.name + m.name_length > piece_end || m.name_length == 0)) {
        std::abort();
      }
    }
    p = piece_end;
  }
}

}  // namespace

// The parser alone never gives a record a texture, so nothing is released.
ObjTextureReleaser obj_texture_releaser = [](uint32_t) { std::abort(); };

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in{reinterpret_cast<const char*>(data), reinterpret_cast<const char*>(data) + size};
  ObjCounts counts = count_obj_lines(in.begin, in.end);
  ObjModel model;
  if (!allocate_obj_arrays(model, counts)) std::abort();
  parse_obj_lines(in.begin, in.end, model, counts, check_library_name, &in);
  if (!obj_model_is_consistent(model, counts)) std::abort();
  // Every counted number line is stored; faces only when they are sound.
  if (model.vertex_count != counts.vertices || model.texcoord_count != counts.texcoords ||
      model.normal_count != counts.normals || model.face_count > counts.faces) {
    std::abort();
  }
  check_map_kd_lines(in.begin, in.end);
  return 0;
}

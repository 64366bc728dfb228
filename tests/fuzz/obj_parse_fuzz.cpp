// Fuzz target: any bytes as an OBJ file, and every line of them as a
// material library's map_Kd line and as a number. Aborts when a load leaves
// an index outside its array, counts that disagree with what was stored
// (the counting pass must size exactly what the parse pass stores, corner
// forms included), a name outside the bytes it came from, or a number read
// otherwise than strtod then rounding to float reads it; AddressSanitizer
// catches any read past the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

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

// Whether text starts with a decimal number as both readers see one: an
// optional sign, then a digit, or a point and a digit (strtod also reads
// hexadecimal, "inf" and "nan", which a coordinate never is).
bool starts_decimal(const std::string& text) {
  size_t i = text.size() > 0 && (text[0] == '+' || text[0] == '-') ? 1 : 0;
  auto digit = [&](size_t k) { return k < text.size() && text[k] >= '0' && text[k] <= '9'; };
  if (digit(i)) return !(text[i] == '0' && i + 1 < text.size() && (text[i + 1] | 0x20) == 'x');
  return i < text.size() && text[i] == '.' && digit(i + 1);
}

void check_numbers(const char* begin, const char* end) {
  for (const char* p = begin; p < end;) {
    const char* lf = find_line_feed(p, end);
    const std::string text(p, lf);  // strtod needs the terminator
    if (starts_decimal(text) && std::strlen(text.c_str()) == text.size()) {
      float got = 0;
      const char* stop = parse_float(text.data(), text.data() + text.size(), &got);
      char* strtod_stop = nullptr;
      float want = static_cast<float>(std::strtod(text.c_str(), &strtod_stop));
      if (std::memcmp(&got, &want, sizeof got) != 0 || stop != strtod_stop) std::abort();
    }
    p = lf < end ? lf + 1 : end;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The parser alone never gives a record a texture, so nothing is released.
  obj_texture_releaser = [](uint32_t) { std::abort(); };
  Input in{reinterpret_cast<const char*>(data), reinterpret_cast<const char*>(data) + size};
  ObjCounts counts = count_obj_lines(in.begin, in.end);
  ObjModel model;
  if (!allocate_obj_arrays(model, counts)) std::abort();
  ObjSkippedFaces skipped =
      parse_obj_lines(in.begin, in.end, model, counts, check_library_name, &in);
  if (!obj_model_is_consistent(model, counts)) std::abort();
  // Every counted number line is stored, and every face line either stored
  // or skipped for a reason of its own, never for want of room; what the
  // faces add stays within what the counting pass found.
  if (model.vertex_count != counts.vertices || model.texcoord_count < counts.texcoords ||
      model.texcoord_count > counts.texcoord_capacity() || model.normal_count < counts.normals ||
      model.normal_count > counts.normal_capacity() ||
      model.face_count + skipped.total() != counts.faces || skipped.no_room != 0) {
    std::abort();
  }
  // With no face skipped, the counting pass found exactly what was stored.
  if (skipped.total() == 0 && (model.texcoord_count != counts.texcoord_capacity() ||
                               model.normal_count != counts.normal_capacity())) {
    std::abort();
  }
  check_map_kd_lines(in.begin, in.end);
  check_numbers(in.begin, in.end);
  // Counted in three steps, as a file is while it is read, the same.
  ObjCounts steps;
  const char* uncounted = in.begin;
  const char* searched = in.begin;
  for (const char* step_end : {in.begin + size / 3, in.begin + 2 * size / 3, in.end}) {
    uncounted = count_complete_lines(uncounted, searched, step_end, &steps);
    searched = step_end;
  }
  count_last_line(uncounted, in.end, &steps);
  if (std::memcmp(&steps, &counts, sizeof counts) != 0) std::abort();
  return 0;
}

// The OBJ reader's pure core: counting, storage and parsing over a byte
// buffer [begin, end) that holds exactly a file's bytes, with no file I/O,
// no DevIL and no OpenGL. load_obj_model wraps it; the unit tests and the
// fuzzer call it directly.
//
// Lines run from a line start up to a line feed or the buffer's end; a
// carriage return before the line feed is stopped at by every number
// reading, so CR LF files read like LF files. Every search and every number
// reading is bounded by the end of its line (never beyond the buffer).
//
// Accepted lines, decided by their first characters (case-sensitive):
//   "mtllib" NAME      NAME starts one past the line's first blank and runs to
//                      the line feed, nothing trimmed; handed to a callback
//   "v " X Y Z         first number at character 2
//   "vt" U V           first number at character 3
//   "vn" X Y Z         first number at character 3
//   "f " C C C [C]     corners v/t/n, 1-based, separated by single blanks
// Each further number starts one past the first blank at or after the start
// of the number before it; a number missing from its line reads as 0 and a
// number beyond the ones listed is ignored. A coordinate is a decimal number
// read in double precision and stored rounded to float.
//
// A face is stored only when it has at least three corners, each of the
// full form v/t/n with all three numbers present, and every index lies in
// 1 .. (number of lines of that kind found by the counting pass). Since the
// parse pass stores every counted v, vt and vn line, the counts end equal to
// those numbers, so every stored index lies inside what was stored. A face
// that fails is skipped and the rest of the file still loads. A fifth and
// further corners are passed over; blanks, tabs or a carriage return after
// the last corner end the face.
#pragma once

#include <cstddef>
#include <cstdint>

#include "model/obj_model.h"

// Lines of each kind found by the counting pass: the arrays' capacities.
struct ObjCounts {
  int32_t vertices = 0;
  int32_t texcoords = 0;
  int32_t normals = 0;
  int32_t faces = 0;
};

// --- bounded scanning and number reading ---------------------------------

// First blank (0x20) / slash / line feed in [p, end), or end when none.
const char* find_blank(const char* p, const char* end);
const char* find_slash(const char* p, const char* end);
const char* find_line_feed(const char* p, const char* end);

// Reads a decimal number (optional sign, digits with an optional point,
// optional exponent) after skipping blanks, tabs and carriage returns, in
// double precision, rounded to float. No number: *out = 0 and returns p.
// Otherwise returns the character after the number.
const char* parse_float(const char* p, const char* end, float* out);

// Reads a decimal integer with optional sign after skipping white space.
// Sets *found when at least one digit was read; the value saturates far
// outside the int32 range so that a huge index is still out of range.
const char* parse_index(const char* p, const char* end, int64_t* out, bool* found);

// --- the two passes --------------------------------------------------------

// Counts the v, vt, vn and f lines by their first two characters.
ObjCounts count_obj_lines(const char* begin, const char* end);

// Frees the record's arrays and resets it to the empty model (no texture,
// zero offsets, zero counts).
void release_obj_arrays(ObjModel& model);

// Releases what the record held, then allocates every array at exactly the
// capacities (no array for a capacity of 0), zeroes the counts and the
// triangle flags. Returns false, leaving the record empty, when memory runs
// out.
bool allocate_obj_arrays(ObjModel& model, const ObjCounts& capacity);

// Called for every "mtllib" line with the name's bytes (not NUL-terminated;
// length 0 when the line has no blank).
using MtllibHandler = void (*)(void* context, const char* name, size_t length);

// The parse pass: stores every line in file order into arrays allocated by
// allocate_obj_arrays with the same capacities. on_mtllib may be null.
void parse_obj_lines(const char* begin, const char* end, ObjModel& model,
                     const ObjCounts& capacity, MtllibHandler on_mtllib,
                     void* context);

// Reads n numbers into out: the first at `first`, each further one one past
// the first blank at or after the start of the one before; 0 for a number
// the line does not hold. line_end is the line's line feed or the buffer's
// end.
void read_number_list(const char* first, const char* line_end, int n, float* out);

// Reads the corners of a face line ("f " ...) and returns how many were kept
// (3 or 4), or 0 when the face must not be stored (see above). Indices are
// checked against the capacities and given 0-based.
struct ObjFaceCorners {
  int32_t vertex[4];
  int32_t texcoord[4];
  int32_t normal[4];
};
int parse_face_line(const char* line, const char* line_end,
                    const ObjCounts& capacity, ObjFaceCorners* corners);

// True when the counts lie within the capacities, every triangle flag is 0
// or 1, and every index a face uses (3 corners for a triangle, 4 for a quad)
// lies inside what was stored.
bool obj_model_is_consistent(const ObjModel& model, const ObjCounts& capacity);

// --- the material library's "map_Kd" statement ----------------------------

// What a map_Kd line gives. Characters are counted from 0: with "-o" at
// characters 7 and 8, the offsets are the numbers at character 10 and one
// past the next blank, and the name starts one past the blank after that;
// otherwise the name starts at character 7. The name runs to the line feed
// (or the end of the line given), nothing trimmed.
struct MapKdLine {
  bool has_offsets = false;
  float offset_u = 0.0f;
  float offset_v = 0.0f;
  const char* name = nullptr;  // inside the line; null when there is none
  size_t name_length = 0;
};
// line: one line of the material library beginning with "map_Kd", length
// bytes, with or without its line feed.
MapKdLine parse_map_kd_line(const char* line, size_t length);

// True when [p, p + length) starts with the NUL-terminated keyword.
bool starts_with(const char* p, size_t length, const char* keyword);

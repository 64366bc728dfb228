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
//   "f " C C C [C...]  corners, separated by blanks or tabs
// Each further number starts after the first run of blanks or tabs at or
// after the start of the number before it (with single blanks: one past
// the first blank); a number missing from its line reads as 0 and a number
// beyond the ones listed is ignored. A coordinate is a decimal number read
// in double precision and stored rounded to float.
//
// A corner is v, v/t, v//n or v/t/n (an empty field is a missing one); the
// forms may be mixed. An index is 1-based, or negative: -1 is the last
// element of its kind read before the face line, -2 the one before. A
// corner without a texture coordinate uses one (0, 0) coordinate stored
// after the file's own; a face with a corner without a normal gets a normal
// of its own, computed from its corners (the brush lights every corner) and
// stored after the file's normals. Text after an index's digits is passed
// over (1/2/3x reads as 1/2/3).
//
// A face keeps its first four corners: three make a triangle, four or more
// a quadrilateral. It is stored only when it has at least three corners and
// every index of the kept ones names an element (1 .. lines of that kind
// found by the counting pass, or a relative index that reaches back no
// further than the first); otherwise it is skipped, counted by reason, and
// the rest of the file still loads. Since the parse pass stores every
// counted v, vt and vn line, every stored index lies inside what was stored.
#pragma once

#include <cstddef>
#include <cstdint>

#include "model/obj_model.h"

// What the counting pass finds: the lines of each kind (the numbers the
// loader prints) and what faces outside the v/t/n form add. Together they
// are the arrays' capacities.
struct ObjCounts {
  int32_t vertices = 0;   // "v " lines
  int32_t texcoords = 0;  // "vt" lines
  int32_t normals = 0;    // "vn" lines
  int32_t faces = 0;      // "f " lines
  // Face lines of three or more corners of which a kept one has no normal:
  // one computed normal each, after the file's normals.
  int32_t face_normals = 0;
  // 1 when a kept corner of such a face line has no texture coordinate: the
  // one (0, 0) coordinate, after the file's texture coordinates.
  int32_t default_texcoords = 0;

  int32_t texcoord_capacity() const { return texcoords + default_texcoords; }
  int32_t normal_capacity() const { return normals + face_normals; }
};

// --- bounded scanning and number reading ---------------------------------

// First blank (0x20) / line feed in [p, end), or end when none.
const char* find_blank(const char* p, const char* end);
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

// Counts the v, vt, vn and f lines by their first two characters, and what
// the face lines' corner forms add.
ObjCounts count_obj_lines(const char* begin, const char* end);

// The same pass in steps, for a file counted while it is read: counts the
// lines of [start, end) that end with a line feed, and returns where the
// first one without a line feed starts (end when there is none). The
// search for line feeds starts at `from`: the bytes [start, from) were
// searched by the step before and hold none. The next step goes on with
// the returned start and this step's end as `from`, so that every step
// searches only the bytes it adds, and a line that spans many steps costs
// what it costs in one. count_last_line counts the file's last line when
// it has no line feed (start < end).
const char* count_complete_lines(const char* start, const char* from, const char* end,
                                 ObjCounts* counts);
void count_last_line(const char* start, const char* end, ObjCounts* counts);

// How a texture name the record holds is given back (next to
// obj_texture_loader, model/obj_load.h, which makes them): null, the start,
// gives nothing back; the program sets its picture side's releaser at
// start-up (glDeleteTextures, the drawing context current); tests put a
// recorder here.
using ObjTextureReleaser = void (*)(uint32_t texture);
extern ObjTextureReleaser obj_texture_releaser;

// Gives back the record's texture (when it has one) and frees its arrays,
// and resets it to the empty model (no texture, zero offsets, zero counts).
void release_obj_arrays(ObjModel& model);

// Asks the system to back the block with large pages where it can: a
// model's arrays and file buffer run to hundreds of megabytes, and filling
// them page by page costs more than reading them. A hint only.
void use_large_pages(void* block, size_t size);

// Releases what the record held, then allocates every array at exactly the
// capacities (no array for a capacity of 0), zeroes the counts and the
// triangle flags. Returns false, leaving the record empty, when memory runs
// out.
bool allocate_obj_arrays(ObjModel& model, const ObjCounts& capacity);

// Faces the parse pass could not store, by reason.
struct ObjSkippedFaces {
  int32_t bad_index = 0;        // an index of 0, past its kind's lines, or
                                // reaching back before the first element
  int32_t too_few_corners = 0;  // fewer than three corners
  int32_t unreadable = 0;       // a corner whose vertex is missing, or a field
                                // that is not a number
  int32_t no_room = 0;          // beyond the counted capacities: never, since
                                // both passes read corners alike
  int32_t total() const { return bad_index + too_few_corners + unreadable + no_room; }
};

// Called for every "mtllib" line with the name's bytes (not NUL-terminated;
// length 0 when the line has no blank).
using MtllibHandler = void (*)(void* context, const char* name, size_t length);

// The parse pass: stores every line in file order into arrays allocated by
// allocate_obj_arrays with the same capacities, then the (0, 0) texture
// coordinate and the faces' own normals when faces use them. on_mtllib may
// be null. Returns the faces it skipped.
ObjSkippedFaces parse_obj_lines(const char* begin, const char* end, ObjModel& model,
                                const ObjCounts& capacity, MtllibHandler on_mtllib, void* context);

// Reads n numbers into out: the first at `first`, each further one after
// the first run of blanks or tabs at or after the start of the one before;
// 0 for a number the line does not hold. line_end is the line's line feed
// or the buffer's end.
void read_number_list(const char* first, const char* line_end, int n, float* out);

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

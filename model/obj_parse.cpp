#include "model/obj_parse.h"

#include <sys/mman.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

bool is_space(char c) {
  // The line feed never occurs inside a line: it ends it.
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

const char* skip_space(const char* p, const char* end) {
  while (p < end && is_space(*p)) ++p;
  return p;
}

const char* find_char(const char* p, const char* end, char c) {
  if (p >= end) return end;
  const void* hit = std::memchr(p, c, static_cast<size_t>(end - p));
  return hit ? static_cast<const char*>(hit) : end;
}

// Calls line(start, line_end) for every line of [begin, end) in order:
// line_end is the line's line feed, or end for a last line without one. A
// file that ends with a line feed has no empty line after it.
//
// Both passes walk the whole file line by line, and OBJ lines are short, so
// one library search per line costs more than the search itself; this
// finds the line feeds of 64 bytes at a time instead.
//
// for_each_complete_line leaves out a last line without a line feed and
// returns where it starts (end when there is none). The search for line
// feeds starts at `from`: [begin, from) is known to hold none.
template <typename LineFn>
const char* for_each_complete_line(const char* begin, const char* from, const char* end,
                                   LineFn&& line) {
  const char* start = begin;
  const char* p = from;
#if defined(__SSE2__)
  const __m128i lf = _mm_set1_epi8('\n');
  auto lf_bits = [&](const char* q) {
    __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
    return uint64_t(uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, lf))));
  };
  for (; end - p >= 64; p += 64) {
    uint64_t feeds =
        lf_bits(p) | lf_bits(p + 16) << 16 | lf_bits(p + 32) << 32 | lf_bits(p + 48) << 48;
    while (feeds) {
      const char* line_end = p + __builtin_ctzll(feeds);
      feeds &= feeds - 1;
      line(start, line_end);
      start = line_end + 1;
    }
  }
#endif
  // The rest, fewer than 64 bytes (or all of it without SSE2). Every line
  // feed before p has been handled, and start <= p.
  for (;;) {
    const char* line_end = find_char(p, end, '\n');
    if (line_end == end) return start;
    line(start, line_end);
    start = p = line_end + 1;
  }
}

template <typename LineFn>
void for_each_line(const char* begin, const char* end, LineFn&& line) {
  const char* rest = for_each_complete_line(begin, begin, end, line);
  if (rest < end) line(rest, end);
}

// The kinds of line both passes tell apart by their first two characters.
enum class LineKind { other, vertex, texcoord, normal, face };

LineKind line_kind(const char* line, const char* line_end) {
  if (line_end - line < 2) return LineKind::other;
  if (line[0] == 'v') {
    if (line[1] == ' ') return LineKind::vertex;
    if (line[1] == 't') return LineKind::texcoord;
    if (line[1] == 'n') return LineKind::normal;
  } else if (line[0] == 'f' && line[1] == ' ') {
    return LineKind::face;
  }
  return LineKind::other;
}

// Exact powers of ten in double: 10^22 is the largest that is.
constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Converts the decimal text [digits, stop) (no sign, already known to be a
// number) the slow, always correctly rounded way.
double slow_decimal(const char* digits, const char* stop) {
  double d = 0.0;
  std::from_chars_result r = std::from_chars(digits, stop, d);
  if (r.ec == std::errc::result_out_of_range) {
    // Too large or too small for a double: strtod gives infinity or 0 (or the
    // nearest subnormal) as a C number reading does.
    std::string copy(digits, stop);
    d = std::strtod(copy.c_str(), nullptr);
  }
  return d;
}

// Index values saturate here: far beyond any count a file can reach.
constexpr int64_t kIndexLimit = int64_t{1} << 40;

// Plain digits from p (no sign, no white space); the value saturates.
const char* read_digits(const char* p, const char* end, int64_t* value) {
  int64_t v = 0;
  for (; p < end && is_digit(*p); ++p) {
    if (v < kIndexLimit) v = v * 10 + (*p - '0');
  }
  *value = v;
  return p;
}

constexpr uint64_t kPow10Int[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000};

#if __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
constexpr bool kEightAtOnce = true;
// The digits that begin the 8 bytes at p, all read at once (most numbers
// and indices in a model file are under 8 digits long, and a loop over them
// costs a test and a branch a digit): returns how many there are (8 when
// all are) and gives their value.
inline __attribute__((always_inline)) int eight_digits(const char* p, uint64_t* value) {
  uint64_t x;
  std::memcpy(&x, p, 8);     // the first character in the lowest byte
  x ^= 0x3030303030303030u;  // digits become 0 .. 9
  // A byte is a digit when adding 0x76 leaves its top bit clear. A carry out
  // of a byte comes only from a byte that is no digit, and changes only the
  // bytes after it.
  uint64_t non_digits = ((x + 0x7676767676767676u) | x) & 0x8080808080808080u;
  int n = non_digits ? __builtin_ctzll(non_digits) >> 3 : 8;
  if (n == 0) {
    *value = 0;
    return 0;
  }
  x <<= 8 * (8 - n);  // the n digits to the top; zero digits before them
  // Pairs, then fours, then all eight combined in place.
  x = x * 10 + (x >> 8);
  x = (((x & 0x000000FF000000FFu) * (100 + (1000000ull << 32))) +
       (((x >> 16) & 0x000000FF000000FFu) * (1 + (10000ull << 32)))) >>
      32;
  *value = x;
  return n;
}
#else
constexpr bool kEightAtOnce = false;
int eight_digits(const char*, uint64_t*) { return 0; }
#endif

// Appends the digits at p to the significand w (w * 10 + digit for each,
// modulo 2^64: beyond 19 digits w is not used) and returns the character
// after them.
inline __attribute__((always_inline)) const char* read_significand_digits(const char* p,
                                                                          const char* end,
                                                                          uint64_t* w) {
  uint64_t v = *w;
  while (kEightAtOnce && end - p >= 8) {
    uint64_t digits = 0;
    int n = eight_digits(p, &digits);
    v = v * kPow10Int[n] + digits;
    p += n;
    if (n < 8) {
      *w = v;
      return p;
    }
  }
  for (; p < end && is_digit(*p); ++p) v = v * 10 + uint64_t(*p - '0');
  *w = v;
  return p;
}

// read_digits for an index: what it gives, for most indices at once.
inline __attribute__((always_inline)) const char* read_index_digits(const char* p, const char* end,
                                                                    int64_t* value) {
  if (kEightAtOnce && end - p >= 8) {
    uint64_t v = 0;
    int n = eight_digits(p, &v);
    if (n < 8) {
      *value = int64_t(v);  // under 10^8: no saturation
      return p + n;
    }
  }
  return read_digits(p, end, value);
}

// Blanks and tabs separate numbers and corners; a carriage return ends the
// last one.
bool is_separator(char c) { return c == ' ' || c == '\t'; }

const char* find_separator(const char* p, const char* end) {
  while (p < end && !is_separator(*p)) ++p;
  return p;
}

// --- face corners -------------------------------------------------------------

// One corner's text [begin, end), with its first two slashes (end when the
// corner has fewer). Its fields: vertex [begin, slash1), texture
// [slash1 + 1, slash2), normal [slash2 + 1, end); an empty field is a
// missing one.
struct CornerText {
  const char* begin;
  const char* slash1;
  const char* slash2;
  const char* end;
  bool has_texcoord() const { return slash1 < end && slash1 + 1 < slash2; }
  bool has_normal() const { return slash2 < end && slash2 + 1 < end; }
};

// The corner that starts at or after p (white space passed over); false when
// the line holds no further corner. Both passes find corners with this, so
// that the counting pass sees the forms the parse pass stores.
bool next_corner(const char* p, const char* line_end, CornerText* c) {
  p = skip_space(p, line_end);
  if (p == line_end) return false;
  c->begin = p;
  c->slash1 = c->slash2 = nullptr;
  for (; p < line_end && !is_space(*p); ++p) {
    if (*p == '/') {
      if (!c->slash1) {
        c->slash1 = p;
      } else if (!c->slash2) {
        c->slash2 = p;
      }
    }
  }
  c->end = p;
  if (!c->slash1) c->slash1 = p;
  if (!c->slash2) c->slash2 = p;
  return true;
}

// A face keeps at most this many corners.
constexpr int kKeptCorners = 4;

// What a face line adds besides its face (see ObjCounts), for a face of at
// least three corners.
struct FaceExtras {
  bool normal = false;
  bool texcoord = false;
};

#if defined(__SSE2__) && defined(__SIZEOF_INT128__)
// Whether every corner of a face line has both a texture and a normal
// field, told from masks of its slashes and white space 64 bytes at a time:
// corner by corner, the counting pass would read half the file byte by
// byte. Gives false for what it cannot tell this way (a line longer than
// kMaskedLine); the caller then looks at the corners one by one.
// [p, line_end) is the line after "f "; bytes up to readable_end may be
// loaded (those past the line are masked off).
constexpr ptrdiff_t kMaskedLine = 127;  // leaves a bit for the end of the line
using LineMask = unsigned __int128;

struct BlockMasks {
  uint64_t slashes, space;
};

BlockMasks block_masks(const char* q) {
  const __m128i slash = _mm_set1_epi8('/'), blank = _mm_set1_epi8(' ');
  const __m128i tab = _mm_set1_epi8('\t'), four = _mm_set1_epi8(4), zero = _mm_setzero_si128();
  BlockMasks m{0, 0};
  for (int i = 0; i < 4; ++i) {
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q + 16 * i));
    // White space as is_space sees it: a blank, or 9 .. 13 (tab to carriage
    // return; no line feed inside a line).
    __m128i controls = _mm_cmpeq_epi8(_mm_subs_epu8(_mm_sub_epi8(b, tab), four), zero);
    __m128i ws = _mm_or_si128(_mm_cmpeq_epi8(b, blank), controls);
    m.slashes |= uint64_t(uint32_t(_mm_movemask_epi8(_mm_cmpeq_epi8(b, slash)))) << (16 * i);
    m.space |= uint64_t(uint32_t(_mm_movemask_epi8(ws))) << (16 * i);
  }
  return m;
}

bool all_corners_full(const char* p, const char* line_end, const char* readable_end) {
  ptrdiff_t length = line_end - p;
  if (length > kMaskedLine) return false;
  const int blocks = length > 64 ? 2 : 1;
  alignas(16) char copy[128];
  if (readable_end - p < 64 * blocks) {
    // Near the end of what has been read: the line alone, into a copy.
    std::memset(copy, 0, sizeof copy);
    std::memcpy(copy, p, size_t(length));
    p = copy;
  }
  BlockMasks low = block_masks(p);
  BlockMasks high = blocks == 2 ? block_masks(p + 64) : BlockMasks{0, 0};
  LineMask slashes = LineMask(high.slashes) << 64 | low.slashes;
  LineMask space = LineMask(high.space) << 64 | low.space;
  // The end of the line ends a field like white space; nothing past it
  // counts.
  const LineMask past_end = ~((LineMask(1) << length) - 1);
  slashes &= ~past_end;
  space |= past_end;
  // A slash right before another, white space or the end leaves a field
  // empty.
  if ((slashes << 1) & (slashes | space)) return false;
  // Every corner needs two slashes before the white space after it: from
  // each corner's start, the first character that is a slash or white space
  // must be a slash, and so must the first after that slash. Adding a bit
  // at the start of a run of other characters carries to the run's end.
  const LineMask others = ~(slashes | space);
  const LineMask starts = ~space & ((space << 1) | 1);
  const LineMask first = (others + starts) & ~others;
  if (first & space) return false;
  const LineMask second = (others + (first << 1)) & ~others;
  return (second & space) == 0;
}
#else
bool all_corners_full(const char*, const char*, const char*) { return false; }
#endif

FaceExtras face_line_extras(const char* line, const char* line_end, const char* readable_end) {
  FaceExtras extras;
  if (line_end - line > 2 && all_corners_full(line + 2, line_end, readable_end)) return extras;
  const char* p = line_end - line > 2 ? line + 2 : line_end;
  int corners = 0;
  CornerText c;
  while (corners < kKeptCorners && next_corner(p, line_end, &c)) {
    ++corners;
    extras.normal |= !c.has_normal();
    extras.texcoord |= !c.has_texcoord();
    p = c.end;
  }
  if (corners < 3) return FaceExtras{};
  return extras;
}

// The 0-based element a 1-based or relative index names, or -1: positive
// indices reach every line of their kind in the file (a face may name a
// later one), relative ones count back from `read_so_far`.
int64_t resolve_index(int64_t index, int32_t read_so_far, int32_t lines) {
  if (index > 0) return index <= lines ? index - 1 : -1;
  if (index < 0) return int64_t{read_so_far} + index >= 0 ? int64_t{read_so_far} + index : -1;
  return -1;
}

// The corners of one face, 0-based; kNeedsFaceNormal until the face's own
// normal has its place.
constexpr int32_t kNeedsFaceNormal = -1;
// The slots of the face being read in the model's face arrays: filled as
// the corners are read, and left for the next face when it is skipped.
struct FaceCorners {
  int32_t* vertex;
  int32_t* texcoord;
  int32_t* normal;
};

enum class CornerResult { ok, bad_index, unreadable };

// Where the parse pass stands: what has been read so far (relative indices
// count back from it) and what the faces used of the extra places.
struct ParseState {
  ObjModel& model;
  const ObjCounts& capacity;
  int32_t face_normals_used = 0;
  bool default_texcoord_used = false;
  ObjSkippedFaces skipped;
};

// Reads one index field [p, end): digits with an optional sign, text after
// the digits passed over.
CornerResult read_index_field(const char* p, const char* end, int32_t read_so_far, int32_t lines,
                              int32_t* out) {
  int64_t index = 0;
  bool found = false;
  parse_index(p, end, &index, &found);
  if (!found) return CornerResult::unreadable;
  int64_t resolved = resolve_index(index, read_so_far, lines);
  if (resolved < 0) return CornerResult::bad_index;
  *out = static_cast<int32_t>(resolved);
  return CornerResult::ok;
}

CornerResult read_corner(const CornerText& c, const ParseState& s, FaceCorners* f, int k) {
  const ObjModel& m = s.model;
  if (c.slash1 == c.begin) return CornerResult::unreadable;  // no vertex
  CornerResult r =
      read_index_field(c.begin, c.slash1, m.vertex_count, s.capacity.vertices, &f->vertex[k]);
  if (r != CornerResult::ok) return r;
  if (c.has_texcoord()) {
    r = read_index_field(c.slash1 + 1, c.slash2, m.texcoord_count, s.capacity.texcoords,
                         &f->texcoord[k]);
    if (r != CornerResult::ok) return r;
  } else {
    f->texcoord[k] = s.capacity.texcoords;  // the (0, 0) coordinate's place
  }
  if (c.has_normal()) {
    r = read_index_field(c.slash2 + 1, c.end, m.normal_count, s.capacity.normals, &f->normal[k]);
    if (r != CornerResult::ok) return r;
  } else {
    f->normal[k] = kNeedsFaceNormal;
  }
  return CornerResult::ok;
}

// The common corner digits/digits/digits, ended by white space or the
// line's end, read in one sweep: what read_corner gives for it. False when
// the corner has another form (nothing is then stored).
bool read_full_corner(const char* c, const char* line_end, const ParseState& s, FaceCorners* f,
                      int k, const char** corner_end, CornerResult* result) {
  int64_t v = 0, t = 0, n = 0;
  const char* q1 = read_index_digits(c, line_end, &v);
  if (q1 == c || q1 == line_end || *q1 != '/') return false;
  const char* q2 = read_index_digits(q1 + 1, line_end, &t);
  if (q2 == q1 + 1 || q2 == line_end || *q2 != '/') return false;
  const char* q3 = read_index_digits(q2 + 1, line_end, &n);
  if (q3 == q2 + 1 || (q3 < line_end && !is_space(*q3))) return false;
  *corner_end = q3;
  const ObjCounts& cap = s.capacity;
  // Unsigned digits: no relative index here.
  if (v < 1 || v > cap.vertices || t < 1 || t > cap.texcoords || n < 1 || n > cap.normals) {
    *result = CornerResult::bad_index;
  } else {
    f->vertex[k] = static_cast<int32_t>(v - 1);
    f->texcoord[k] = static_cast<int32_t>(t - 1);
    f->normal[k] = static_cast<int32_t>(n - 1);
    *result = CornerResult::ok;
  }
  return true;
}

// Reads the kept corners of a face line; returns how many (3 or 4), or 0
// with the reason counted in s.skipped. *all_full: every corner had all
// three indices (no place of the extras used).
int read_face_corners(const char* line, const char* line_end, ParseState& s, FaceCorners* f,
                      bool* all_full) {
  const char* p = line_end - line > 2 ? line + 2 : line_end;
  int kept = 0;
  CornerResult bad = CornerResult::ok;
  *all_full = true;
  while (kept < kKeptCorners) {
    p = skip_space(p, line_end);
    if (p == line_end) break;
    CornerResult r;
    const char* corner_end = line_end;
    if (!read_full_corner(p, line_end, s, f, kept, &corner_end, &r)) {
      *all_full = false;
      CornerText c;
      next_corner(p, line_end, &c);
      r = read_corner(c, s, f, kept);
      corner_end = c.end;
    }
    // Every kept corner is looked at, so that a face with too few corners
    // is told apart from one with a bad index.
    if (r != CornerResult::ok && bad == CornerResult::ok) bad = r;
    ++kept;
    p = corner_end;
  }
  if (kept < 3) {
    ++s.skipped.too_few_corners;
    return 0;
  }
  if (bad == CornerResult::unreadable) {
    ++s.skipped.unreadable;
    return 0;
  }
  if (bad == CornerResult::bad_index) {
    ++s.skipped.bad_index;
    return 0;
  }
  return kept;
}

// --- storing the lines the parse pass reads ---------------------------------

// Stores the n numbers of a v, vt or vn line, the first at `first`, as
// element `count` of `array`, unless the array is full.
void store_numbers(const char* first, const char* line_end, int n, float* array, int32_t& count,
                   int32_t capacity) {
  if (count >= capacity) return;
  read_number_list(first, line_end, n, array + size_t(n) * size_t(count));
  ++count;
}

// Where the numbers of a vt or vn line start: character 2 (normally a
// blank) is passed over unexamined.
const char* after_two_letter_keyword(const char* line, const char* line_end) {
  return line_end - line > 3 ? line + 3 : line_end;
}

void store_face(const char* line, const char* line_end, ParseState& s) {
  ObjModel& model = s.model;
  if (model.face_count >= s.capacity.faces) return;
  const size_t slot = 4 * size_t(model.face_count);
  FaceCorners corners{model.face_vertex + slot, model.face_texcoord + slot,
                      model.face_normal + slot};
  bool all_full = true;
  int kept = read_face_corners(line, line_end, s, &corners, &all_full);
  if (kept == 0) return;
  bool needs_normal = false, needs_texcoord = false;
  for (int k = 0; !all_full && k < kept; ++k) {
    needs_normal |= corners.normal[k] == kNeedsFaceNormal;
    needs_texcoord |= corners.texcoord[k] == s.capacity.texcoords;
  }
  if ((needs_normal && s.face_normals_used >= s.capacity.face_normals) ||
      (needs_texcoord && s.capacity.default_texcoords == 0)) {
    ++s.skipped.no_room;
    return;
  }
  if (needs_normal) {
    int32_t own = s.capacity.normals + s.face_normals_used++;
    for (int k = 0; k < kept; ++k) {
      if (corners.normal[k] == kNeedsFaceNormal) corners.normal[k] = own;
    }
  }
  s.default_texcoord_used |= needs_texcoord;
  if (kept == 3) {
    // The fourth slot is never drawn; repeating the third corner keeps even
    // that slot a valid index.
    corners.vertex[3] = corners.vertex[2];
    corners.texcoord[3] = corners.texcoord[2];
    corners.normal[3] = corners.normal[2];
  }
  model.face_is_triangle[model.face_count] = kept == 3 ? 1 : 0;
  ++model.face_count;
}

// Below this fraction of the squared extent of its corners, a face's
// Newell sum is rounding, not area. Taken about the first corner, each
// corner lies within the extent E of it, so each of the sum's products is
// at most 4 E^2 and, with the sums and differences around it and the
// corners' own offsets, carries an error of a few units of 2^-53 of that:
// for a face of no area the sum stays below about 2^8 * 2^-53 * E^2. The
// constant leaves a margin of 32 over that. A face of real area falls
// under it only when it is thinner than 2^-40 of its length: a sliver that
// covers next to no pixel of a stroke, whatever its normal.
constexpr double kNoAreaFraction = 0x1p-40;

// The unit normal of the polygon through the face's corners, by Newell's
// sum (for a triangle the cross product of two edges; for a quadrilateral
// that is not flat, the plane that fits it best), counter-clockwise corners
// seen from the front. A face of no area gets (0, 0, 0).
void face_normal(const ObjModel& m, int32_t face, float* out) {
  size_t slot = 4 * size_t(face);
  int corners = m.face_is_triangle[face] ? 3 : 4;
  // The corners about the first, so that the rounding scales with the
  // face's own size and not with its distance from the origin.
  const float* origin = m.vertices + 3 * size_t(m.face_vertex[slot]);
  double d[4][3];
  double extent2 = 0;
  for (int k = 0; k < corners; ++k) {
    const float* p = m.vertices + 3 * size_t(m.face_vertex[slot + k]);
    for (int i = 0; i < 3; ++i) d[k][i] = double(p[i]) - origin[i];
    extent2 = std::max(extent2, d[k][0] * d[k][0] + d[k][1] * d[k][1] + d[k][2] * d[k][2]);
  }
  double n[3] = {0, 0, 0};
  for (int k = 0; k < corners; ++k) {
    const double* a = d[k];
    const double* b = d[(k + 1) % corners];
    n[0] += (a[1] - b[1]) * (a[2] + b[2]);
    n[1] += (a[2] - b[2]) * (a[0] + b[0]);
    n[2] += (a[0] - b[0]) * (a[1] + b[1]);
  }
  double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
  bool usable = std::isfinite(length) && length > kNoAreaFraction * extent2;
  for (int i = 0; i < 3; ++i) out[i] = usable ? float(n[i] / length) : 0.0f;
}

// After the parse: the (0, 0) coordinate and the faces' own normals, which
// may use vertices that come after the face in the file.
void finish_extras(ParseState& s) {
  ObjModel& m = s.model;
  const int32_t file_normals = s.capacity.normals;
  if (s.default_texcoord_used) {
    m.texcoords[2 * size_t(m.texcoord_count)] = 0.0f;
    m.texcoords[2 * size_t(m.texcoord_count) + 1] = 0.0f;
    ++m.texcoord_count;
  }
  if (s.face_normals_used == 0) return;
  for (int32_t i = 0; i < m.face_count; ++i) {
    size_t slot = 4 * size_t(i);
    for (int k = 0; k < 4; ++k) {
      int32_t own = m.face_normal[slot + k];
      if (own >= file_normals) {
        face_normal(m, i, m.normals + 3 * size_t(own));
        break;
      }
    }
  }
  m.normal_count += s.face_normals_used;
}

void handle_mtllib(const char* line, const char* line_end, MtllibHandler on_mtllib, void* context) {
  if (!on_mtllib) return;
  const char* blank = find_blank(line, line_end);
  const char* name = blank < line_end ? blank + 1 : line_end;
  on_mtllib(context, name, static_cast<size_t>(line_end - name));
}

}  // namespace

void use_large_pages(void* block, size_t size) {
#if defined(MADV_HUGEPAGE)
  // Only whole huge pages inside the block; below that it is not worth it.
  constexpr uintptr_t kHuge = uintptr_t{2} << 20;
  uintptr_t first = (reinterpret_cast<uintptr_t>(block) + kHuge - 1) & ~(kHuge - 1);
  uintptr_t last = (reinterpret_cast<uintptr_t>(block) + size) & ~(kHuge - 1);
  if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
  (void)block;
  (void)size;
#endif
}

const char* find_blank(const char* p, const char* end) { return find_char(p, end, ' '); }
const char* find_line_feed(const char* p, const char* end) { return find_char(p, end, '\n'); }

bool starts_with(const char* p, size_t length, const char* keyword) {
  size_t n = std::strlen(keyword);
  return length >= n && std::memcmp(p, keyword, n) == 0;
}

namespace {
// parse_float itself, also inlined where the parse pass reads number lines.
inline __attribute__((always_inline)) const char* read_float(const char* p, const char* end,
                                                             float* out) {
  *out = 0.0f;
  const char* q = skip_space(p, end);
  bool negative = false;
  if (q < end && (*q == '+' || *q == '-')) {
    negative = *q == '-';
    ++q;
  }
  const char* digits = q;
  // Significand w as an integer and its decimal exponent: the value is
  // w * 10^exp10. Numbers of more than 19 digits take the slow road.
  uint64_t w = 0;
  int64_t exp10 = 0;
  q = read_significand_digits(q, end, &w);
  int64_t digit_count = q - digits;
  if (q < end && *q == '.') {
    ++q;
    const char* frac_start = q;
    q = read_significand_digits(q, end, &w);
    exp10 = -(q - frac_start);
    digit_count += q - frac_start;
  }
  bool any_digit = digit_count > 0;
  // Up to 19 digits w is exact (it may wrap beyond; then it is not used).
  bool truncated = digit_count > 19;
  if (!any_digit) return p;
  if (q < end && (*q == 'e' || *q == 'E')) {
    const char* e = q + 1;
    bool exp_negative = false;
    if (e < end && (*e == '+' || *e == '-')) {
      exp_negative = *e == '-';
      ++e;
    }
    if (e < end && is_digit(*e)) {
      int exponent = 0;
      for (; e < end && is_digit(*e); ++e) {
        if (exponent < 100000) exponent = exponent * 10 + (*e - '0');
      }
      exp10 += exp_negative ? -exponent : exponent;
      q = e;
    }
    // An "e" without digits is not part of the number.
  }
  double d;
  if (!truncated && w == 0) {
    d = 0.0;
  } else if (!truncated && w <= (uint64_t{1} << 53) && exp10 >= -22 && exp10 <= 22) {
    // Both w and 10^|exp10| are exact doubles, so one correctly rounded
    // multiplication or division gives the correctly rounded value.
    d = static_cast<double>(w);
    d = exp10 < 0 ? d / kPow10[-exp10] : d * kPow10[exp10];
  } else {
    d = slow_decimal(digits, q);
  }
  *out = static_cast<float>(negative ? -d : d);
  return q;
}
}  // namespace

const char* parse_float(const char* p, const char* end, float* out) {
  return read_float(p, end, out);
}

const char* parse_index(const char* p, const char* end, int64_t* out, bool* found) {
  *out = 0;
  *found = false;
  const char* q = skip_space(p, end);
  bool negative = false;
  if (q < end && (*q == '+' || *q == '-')) {
    negative = *q == '-';
    ++q;
  }
  int64_t value = 0;
  for (; q < end && is_digit(*q); ++q) {
    *found = true;
    if (value < kIndexLimit) value = value * 10 + (*q - '0');
  }
  if (!*found) return p;
  *out = negative ? -value : value;
  return q;
}

void read_number_list(const char* first, const char* line_end, int n, float* out) {
  const char* at = first;
  for (int i = 0; i < n; ++i) {
    at = skip_space(at, line_end);  // where this number starts
    const char* stop = read_float(at, line_end, &out[i]);
    if (i + 1 == n) break;
    // A number that was read holds no separator, so one right after it is
    // the first at or after its start.
    at = stop > at && stop < line_end && is_separator(*stop) ? stop : find_separator(at, line_end);
  }
}

namespace {
// readable_end: the end of the bytes read so far.
void count_line(const char* p, const char* line_end, const char* readable_end, ObjCounts& counts) {
  switch (line_kind(p, line_end)) {
    case LineKind::vertex: ++counts.vertices; break;
    case LineKind::texcoord: ++counts.texcoords; break;
    case LineKind::normal: ++counts.normals; break;
    case LineKind::face: {
      ++counts.faces;
      FaceExtras extras = face_line_extras(p, line_end, readable_end);
      counts.face_normals += extras.normal;
      counts.default_texcoords |= extras.texcoord;
      break;
    }
    case LineKind::other: break;
  }
}
}  // namespace

const char* count_complete_lines(const char* start, const char* from, const char* end,
                                 ObjCounts* counts) {
  return for_each_complete_line(start, from, end, [=](const char* p, const char* line_end) {
    count_line(p, line_end, end, *counts);
  });
}

void count_last_line(const char* start, const char* end, ObjCounts* counts) {
  if (start < end) count_line(start, end, end, *counts);
}

ObjCounts count_obj_lines(const char* begin, const char* end) {
  ObjCounts counts;
  count_last_line(count_complete_lines(begin, begin, end, &counts), end, &counts);
  return counts;
}

ObjTextureReleaser obj_texture_releaser = nullptr;

ObjModel::~ObjModel() { release_obj_arrays(*this); }

void release_obj_arrays(ObjModel& model) {
  if (model.texture != 0 && obj_texture_releaser) obj_texture_releaser(model.texture);
  delete[] model.vertices;
  delete[] model.texcoords;
  delete[] model.normals;
  delete[] model.face_vertex;
  delete[] model.face_texcoord;
  delete[] model.face_normal;
  delete[] model.face_is_triangle;
  model.vertices = model.texcoords = model.normals = nullptr;
  model.face_vertex = model.face_texcoord = model.face_normal = nullptr;
  model.face_is_triangle = nullptr;
  model.texture = 0;
  model.tex_offset_u = model.tex_offset_v = 0.0f;
  model.vertex_count = model.texcoord_count = model.normal_count = model.face_count = 0;
}

namespace {
template <typename T>
bool allocate(T** array, int32_t count, size_t per_element) {
  *array = nullptr;
  if (count <= 0) return true;
  size_t n = size_t(count) * per_element;
  *array = new (std::nothrow) T[n];
  if (*array) use_large_pages(*array, n * sizeof(T));
  return *array != nullptr;
}
}  // namespace

bool allocate_obj_arrays(ObjModel& model, const ObjCounts& capacity) {
  release_obj_arrays(model);
  bool ok = allocate(&model.vertices, capacity.vertices, 3) &&
            allocate(&model.texcoords, capacity.texcoord_capacity(), 2) &&
            allocate(&model.normals, capacity.normal_capacity(), 3) &&
            allocate(&model.face_vertex, capacity.faces, 4) &&
            allocate(&model.face_texcoord, capacity.faces, 4) &&
            allocate(&model.face_normal, capacity.faces, 4) &&
            allocate(&model.face_is_triangle, capacity.faces, 1);
  if (!ok) {
    release_obj_arrays(model);
    return false;
  }
  if (capacity.faces > 0) std::memset(model.face_is_triangle, 0, size_t(capacity.faces));
  return true;
}

ObjSkippedFaces parse_obj_lines(const char* begin, const char* end, ObjModel& model,
                                const ObjCounts& capacity, MtllibHandler on_mtllib, void* context) {
  ParseState state{model, capacity, 0, false, ObjSkippedFaces{}};
  for_each_line(begin, end, [&](const char* p, const char* line_end) {
    switch (line_kind(p, line_end)) {
      case LineKind::vertex:
        store_numbers(p + 2, line_end, 3, model.vertices, model.vertex_count, capacity.vertices);
        break;
      case LineKind::texcoord:
        store_numbers(after_two_letter_keyword(p, line_end), line_end, 2, model.texcoords,
                      model.texcoord_count, capacity.texcoords);
        break;
      case LineKind::normal:
        store_numbers(after_two_letter_keyword(p, line_end), line_end, 3, model.normals,
                      model.normal_count, capacity.normals);
        break;
      case LineKind::face: store_face(p, line_end, state); break;
      case LineKind::other:
        if (starts_with(p, size_t(line_end - p), "mtllib")) {
          handle_mtllib(p, line_end, on_mtllib, context);
        }
        break;
    }
  });
  finish_extras(state);
  return state.skipped;
}

bool obj_model_is_consistent(const ObjModel& model, const ObjCounts& capacity) {
  if (model.vertex_count < 0 || model.vertex_count > capacity.vertices ||
      model.texcoord_count < 0 || model.texcoord_count > capacity.texcoord_capacity() ||
      model.normal_count < 0 || model.normal_count > capacity.normal_capacity() ||
      model.face_count < 0 || model.face_count > capacity.faces) {
    return false;
  }
  if ((capacity.vertices > 0 && !model.vertices) ||
      (capacity.texcoord_capacity() > 0 && !model.texcoords) ||
      (capacity.normal_capacity() > 0 && !model.normals) ||
      (capacity.faces > 0 && (!model.face_vertex || !model.face_texcoord || !model.face_normal ||
                              !model.face_is_triangle))) {
    return false;
  }
  for (int32_t i = 0; i < model.face_count; ++i) {
    uint8_t flag = model.face_is_triangle[i];
    if (flag > 1) return false;
    int corners = flag ? 3 : 4;
    for (int k = 0; k < corners; ++k) {
      size_t slot = 4 * size_t(i) + size_t(k);
      if (model.face_vertex[slot] < 0 || model.face_vertex[slot] >= model.vertex_count ||
          model.face_texcoord[slot] < 0 || model.face_texcoord[slot] >= model.texcoord_count ||
          model.face_normal[slot] < 0 || model.face_normal[slot] >= model.normal_count) {
        return false;
      }
    }
  }
  return true;
}

MapKdLine parse_map_kd_line(const char* line, size_t length) {
  MapKdLine result;
  const char* line_end = find_line_feed(line, line + length);
  size_t usable = static_cast<size_t>(line_end - line);
  const char* name = line_end;
  if (usable > 8 && line[7] == '-' && line[8] == 'o') {
    // "-o u v": exactly two numbers, each after a single blank.
    result.has_offsets = true;
    const char* u_at = usable > 10 ? line + 10 : line_end;
    parse_float(u_at, line_end, &result.offset_u);
    const char* blank = find_blank(u_at, line_end);
    const char* v_at = blank < line_end ? blank + 1 : line_end;
    parse_float(v_at, line_end, &result.offset_v);
    blank = find_blank(v_at, line_end);
    name = blank < line_end ? blank + 1 : line_end;
  } else if (usable > 7) {
    name = line + 7;
  }
  if (name < line_end) {
    result.name = name;
    result.name_length = static_cast<size_t>(line_end - name);
  }
  return result;
}

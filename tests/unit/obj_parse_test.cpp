// The OBJ parser over in-memory bytes. Every input is copied into a heap
// buffer of exactly its size (no terminator after it), so that a search or a
// number reading that runs past the end shows up under AddressSanitizer.
#include "model/obj_parse.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tests/support/test_files.h"

namespace {

struct Parsed {
  ObjModel model;
  ObjCounts counts;
  ObjSkippedFaces skipped;
  std::vector<std::string> libraries;  // names handed to the mtllib callback
};

void record_library(void* context, const char* name, size_t length) {
  static_cast<std::vector<std::string>*>(context)->emplace_back(name, length);
}

std::unique_ptr<Parsed> parse(const std::string& text) {
  auto parsed = std::make_unique<Parsed>();
  std::unique_ptr<char[]> bytes(new char[text.size()]);
  std::memcpy(bytes.get(), text.data(), text.size());
  const char* end = bytes.get() + text.size();
  parsed->counts = count_obj_lines(bytes.get(), end);
  EXPECT_TRUE(allocate_obj_arrays(parsed->model, parsed->counts));
  parsed->skipped = parse_obj_lines(bytes.get(), end, parsed->model, parsed->counts, record_library,
                                    &parsed->libraries);
  EXPECT_EQ(parsed->skipped.no_room, 0) << text;
  EXPECT_TRUE(obj_model_is_consistent(parsed->model, parsed->counts)) << text;
  return parsed;
}

struct Corner {
  int v, t, n;
  bool operator==(const Corner& o) const { return v == o.v && t == o.t && n == o.n; }
};
std::ostream& operator<<(std::ostream& os, const Corner& c) {
  return os << c.v << "/" << c.t << "/" << c.n;
}

// The corners face i uses, 0-based.
std::vector<Corner> face(const ObjModel& m, int i) {
  std::vector<Corner> corners;
  int count = m.face_is_triangle[i] ? 3 : 4;
  for (int k = 0; k < count; ++k) {
    corners.push_back(
        {m.face_vertex[4 * i + k], m.face_texcoord[4 * i + k], m.face_normal[4 * i + k]});
  }
  return corners;
}

std::vector<float> floats(const float* p, int n) {
  return p ? std::vector<float>(p, p + n) : std::vector<float>();
}

// Everything a model holds that drawing can see.
void expect_same_model(const ObjModel& a, const ObjModel& b) {
  ASSERT_EQ(a.vertex_count, b.vertex_count);
  ASSERT_EQ(a.texcoord_count, b.texcoord_count);
  ASSERT_EQ(a.normal_count, b.normal_count);
  ASSERT_EQ(a.face_count, b.face_count);
  EXPECT_EQ(floats(a.vertices, 3 * a.vertex_count), floats(b.vertices, 3 * b.vertex_count));
  EXPECT_EQ(floats(a.texcoords, 2 * a.texcoord_count), floats(b.texcoords, 2 * b.texcoord_count));
  EXPECT_EQ(floats(a.normals, 3 * a.normal_count), floats(b.normals, 3 * b.normal_count));
  for (int i = 0; i < a.face_count; ++i) {
    EXPECT_EQ(a.face_is_triangle[i], b.face_is_triangle[i]) << "face " << i;
    EXPECT_EQ(face(a, i), face(b, i)) << "face " << i;
  }
}

// Four vertices, four texture coordinates, four normals: enough for every
// face below, with values that tell the three arrays apart.
const std::string kElements =
    "v 1 2 3\nv 4 5 6\nv 7 8 9\nv 10 11 12\n"
    "vt 0.5 0.25\nvt 0.125 0.75\nvt 1 0\nvt 0 1\n"
    "vn 0 0 1\nvn 0 1 0\nvn 1 0 0\nvn -1 0 0\n";

std::string crlf(const std::string& lf) {
  std::string out;
  for (char c : lf) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

TEST(ObjParse, EmptyBufferGivesAnEmptyModel) {
  auto p = parse("");
  EXPECT_EQ(p->counts.vertices + p->counts.texcoords + p->counts.normals + p->counts.faces, 0);
  EXPECT_EQ(p->model.face_count, 0);
  EXPECT_EQ(p->model.vertex_count, 0);
  EXPECT_EQ(p->model.texture, 0u);
  EXPECT_EQ(p->model.tex_offset_u, 0.0f);
  EXPECT_EQ(p->model.tex_offset_v, 0.0f);
  EXPECT_EQ(p->model.vertices, nullptr);
  EXPECT_EQ(p->model.face_vertex, nullptr);
}

TEST(ObjParse, TrianglesQuadsAndLongerFacesInFileOrder) {
  auto p = parse(kElements +
                 "f 1/2/3 2/3/4 3/4/1\n"              // triangle
                 "f 4/3/2 3/2/1 2/1/4 1/4/3\n"        // quadrilateral
                 "f 1/1/1 2/2/2 3/3/3 4/4/4 1/2/3\n"  // five corners: first four kept
                 "f 3/3/3 2/2/2 1/1/1\n");
  const ObjModel& m = p->model;
  EXPECT_EQ(p->counts.vertices, 4);
  EXPECT_EQ(p->counts.texcoords, 4);
  EXPECT_EQ(p->counts.normals, 4);
  EXPECT_EQ(p->counts.faces, 4);
  ASSERT_EQ(m.face_count, 4);
  EXPECT_EQ(m.face_is_triangle[0], 1);
  EXPECT_EQ(face(m, 0), (std::vector<Corner>{{0, 1, 2}, {1, 2, 3}, {2, 3, 0}}));
  EXPECT_EQ(m.face_is_triangle[1], 0);
  EXPECT_EQ(face(m, 1), (std::vector<Corner>{{3, 2, 1}, {2, 1, 0}, {1, 0, 3}, {0, 3, 2}}));
  EXPECT_EQ(m.face_is_triangle[2], 0);
  EXPECT_EQ(face(m, 2), (std::vector<Corner>{{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {3, 3, 3}}));
  EXPECT_EQ(m.face_is_triangle[3], 1);
  EXPECT_EQ(face(m, 3), (std::vector<Corner>{{2, 2, 2}, {1, 1, 1}, {0, 0, 0}}));

  EXPECT_EQ(floats(m.vertices, 12), (std::vector<float>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
  EXPECT_EQ(floats(m.texcoords, 8), (std::vector<float>{0.5f, 0.25f, 0.125f, 0.75f, 1, 0, 0, 1}));
  EXPECT_EQ(floats(m.normals, 12), (std::vector<float>{0, 0, 1, 0, 1, 0, 1, 0, 0, -1, 0, 0}));
}

TEST(ObjParse, CrLfLineEndsReadLikeLf) {
  std::string lf = kElements +
                   "v -1.5e2 0.0625 +7\nvt 0.3 0.7\nvn 0.6 -0.8 0\n"
                   "f 1/2/3 2/3/4 3/4/1\nf 4/3/2 3/2/1 2/1/4 1/4/3\n"
                   "f 5/5/5 1/1/1 2/2/2\n";
  auto a = parse(lf);
  auto b = parse(crlf(lf));
  EXPECT_EQ(a->model.face_count, 3);
  EXPECT_EQ(a->model.vertices[12], -150.0f);
  expect_same_model(a->model, b->model);
}

TEST(ObjParse, NumberLinesTakeTheirNumbersAndZeroForMissingOnes) {
  auto p = parse(
      "v 1 2 3 4\n"      // a fourth number is ignored
      "vt 0.5 0.25 9\n"  // so is a third
      "v 1.5 2.5\n"      // missing z reads 0
      "vn\n"             // counted as a normal, all zero
      "vtX0.75 0.5\n"    // the character after "vt" is not examined
      "v 6 7 8");        // last line without a line feed
  const ObjModel& m = p->model;
  EXPECT_EQ(floats(m.vertices, 9), (std::vector<float>{1, 2, 3, 1.5f, 2.5f, 0, 6, 7, 8}));
  EXPECT_EQ(floats(m.texcoords, 4), (std::vector<float>{0.5f, 0.25f, 0.75f, 0.5f}));
  EXPECT_EQ(floats(m.normals, 3), (std::vector<float>{0, 0, 0}));
}

TEST(ObjParse, LinesOutsideTheSubsetChangeNothing) {
  const std::string faces = "f 1/2/3 2/3/4 3/4/1\nf 4/3/2 3/2/1 2/1/4 1/4/3\n";
  auto plain = parse(kElements + faces);
  auto noisy = parse(
      "# v 9 9 9\n"
      "g group\n"
      "o object\n"
      "s 1\n"
      "vp 0.1 0.2\n"
      " v 9 9 9\n"
      "\tv 9 9 9\n"
      "\n"
      "usemtl stone\n" +
      kElements +
      "\n\n"
      " f 1/1/1 2/2/2 3/3/3\n"
      "F 1/1/1 2/2/2 3/3/3\n"
      "f1/1/1 2/2/2 3/3/3\n"
      "V 1 2 3\n" +
      faces + "# the end");
  EXPECT_EQ(noisy->counts.vertices, 4);
  EXPECT_EQ(noisy->counts.faces, 2);
  expect_same_model(plain->model, noisy->model);
}

TEST(ObjParse, MaterialLibraryLinesNameTheirLibraryAndTheNextLineIsRead) {
  auto p = parse(
      "mtllib a.mtl\nv 1 2 3\n"
      "mtllib  spaced name.mtl\r\n"  // nothing trimmed: blank, CR stay
      "mtllib\n"                     // no name at all
      "mtllibx.mtl\n"                // no blank: empty name
      "mtllib last.mtl");            // ends at the buffer's end
  EXPECT_EQ(p->model.vertex_count, 1);
  EXPECT_EQ(floats(p->model.vertices, 3), (std::vector<float>{1, 2, 3}));
  EXPECT_EQ(p->libraries,
            (std::vector<std::string>{"a.mtl", " spaced name.mtl\r", "", "", "last.mtl"}));
}

TEST(ObjParse, MalformedFacesAreSkippedAndTheRestLoads) {
  // (The corner forms v, v/t, v//n, relative indices, several blanks and
  // tabs are read: see FilesInTheStylesExportersWrite.)
  const char* bad[] = {
      "f /1/1 2/2/2 3/3/3",                      // empty vertex field
      "f 1/1/1 2/2/2",                           // two corners
      "f 1/1/1",                                 // one
      "f ",                                      // none
      "f 0/1/1 2/2/2 3/3/3",                     // index 0
      "f 1/1/1 2/2/2 3/3/5",                     // beyond the four normals
      "f 1/1/1 2/2/2 3/3/3 6/4/4",               // beyond the five vertices, in the fourth corner
      "f 1/1/1 2/2/2 3/3/3 4/4/99",              // a bad fourth corner spoils the face
      "f 99999999999999999999/1/1 2/2/2 3/3/3",  // far past int32
      "f 4294967297/1/1 2/2/2 3/3/3",            // 2^32 + 1 would wrap to 1
      "f 1/1/1 2/-5/2 3/3/3",                    // reaches back before the first of four
      "f 1/x/1 2/2/2 3/3/3",                     // a field that is not a number
  };
  std::string text = kElements + "f 1/1/1 2/2/2 3/3/3\n";
  for (const char* line : bad) text += std::string(line) + "\n";
  text += "f 4/4/4 3/3/3 2/2/2 1/1/1\nv 13 14 15\n";
  auto p = parse(text);
  const ObjModel& m = p->model;
  EXPECT_EQ(p->counts.faces, 2 + int(sizeof bad / sizeof bad[0]));
  ASSERT_EQ(m.face_count, 2);  // only the two good faces, in order
  EXPECT_EQ(face(m, 0), (std::vector<Corner>{{0, 0, 0}, {1, 1, 1}, {2, 2, 2}}));
  EXPECT_EQ(face(m, 1), (std::vector<Corner>{{3, 3, 3}, {2, 2, 2}, {1, 1, 1}, {0, 0, 0}}));
  EXPECT_EQ(m.vertex_count, 5);  // lines after the bad faces still load
  EXPECT_EQ(m.vertices[12], 13.0f);
  EXPECT_EQ(p->skipped.bad_index, 7);
  EXPECT_EQ(p->skipped.too_few_corners, 3);
  EXPECT_EQ(p->skipped.unreadable, 2);
}

// Half the length of (b - a) x (c - a), stored vertices a, b, c.
double triangle_area(const ObjModel& m, int a, int b, int c) {
  const float *p = m.vertices + 3 * a, *q = m.vertices + 3 * b, *r = m.vertices + 3 * c;
  double u[3], v[3];
  for (int i = 0; i < 3; ++i) {
    u[i] = double(q[i]) - p[i];
    v[i] = double(r[i]) - p[i];
  }
  double x = u[1] * v[2] - u[2] * v[1], y = u[2] * v[0] - u[0] * v[2],
         z = u[0] * v[1] - u[1] * v[0];
  return std::sqrt(x * x + y * y + z * z) / 2;
}

// Each stored face's area as drawn: a quadrilateral is its triangles 0-1-2
// and 0-2-3.
std::vector<double> stored_areas(const ObjModel& m) {
  std::vector<double> areas;
  for (int i = 0; i < m.face_count; ++i) {
    const int32_t* v = m.face_vertex + 4 * i;
    double area = triangle_area(m, v[0], v[1], v[2]);
    if (!m.face_is_triangle[i]) area += triangle_area(m, v[0], v[2], v[3]);
    areas.push_back(area);
  }
  return areas;
}

TEST(ObjParse, FilesInTheStylesExportersWrite) {
  // A unit square (1-4, counter-clockwise about +z), a right triangle of
  // area 3 (5-7) and a point (8) that only a fifth corner names.
  const std::string square = "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\n";
  const std::string triangle = "v 0 0 1\nv 2 0 1\nv 0 3 1\n";
  const std::string points = square + triangle + "v -1 0.5 0\n";
  const std::string uvs = "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n";
  struct Style {
    const char* what;
    std::string text;
    std::vector<double> areas;  // of the file's faces, first four corners
  };
  const std::vector<Style> styles = {
      {"vertices only", points + "f 1 2 3 4\nf 5 6 7\n", {1, 3}},
      {"vertex//normal", points + "vn 0 0 1\nf 1//1 2//1 3//1 4//1\nf 5//1 6//1 7//1\n", {1, 3}},
      {"vertex/texture", points + uvs + "f 1/1 2/2 3/3 4/4\nf 5/1 6/2 7/3\n", {1, 3}},
      {"relative indices in groups",
       "g square\n" + square + "f -4 -3 -2 -1\ng triangle\n" + triangle +
           "vt 0.5 0.5\nf -3/-1 -2/-1 -1/-1\n",
       {1, 3}},
      {"tabs, several blanks, blanks after the last corner",
       "v 0\t0  0\nv  1 0 0\nv 1\t\t1 0 \nv 0 1\t0\t\nvn 0 0 1\n"
       "f  1//1\t2//1   3//1 4//1 \t\n",
       {1}},
      {"objects, groups, materials and smoothing groups",
       "# exported\nmtllib scene.mtl\no Square\n" + square + uvs +
           "vn 0 0 1\nusemtl red\ns off\nf 1/1/1 2/2/1 3/3/1 4/4/1\no Triangle\n" + triangle +
           "g tri\nusemtl blue\ns 1\nf 5/1/1 6/2/1 7/3/1\n",
       {1, 3}},
      {"a face 1e-30 across", "v 0 0 0\nv 1e-30 0 0\nv 0 1e-30 0\nf 1 2 3\n", {0}},
      {"five corners, mixed forms", points + uvs + "vn 0 0 1\nf 1/1/ 2//1 3 4/4/1 8/1/1\n", {1}},
  };
  for (const Style& style : styles) {
    for (const std::string& text : {style.text, crlf(style.text)}) {
      SCOPED_TRACE(std::string(style.what) + (text.size() > style.text.size() ? ", CR LF" : ""));
      auto p = parse(text);
      const ObjModel& m = p->model;
      EXPECT_EQ(p->skipped.total(), 0);
      std::vector<double> areas = stored_areas(m);
      ASSERT_EQ(areas.size(), style.areas.size());
      for (size_t i = 0; i < areas.size(); ++i) EXPECT_NEAR(areas[i], style.areas[i], 1e-6) << i;
      // Every normal a face uses, its own computed ones included, points out
      // of the front (+z): the faces are counter-clockwise.
      for (int i = 0; i < m.face_count; ++i) {
        for (int k = 0; k < (m.face_is_triangle[i] ? 3 : 4); ++k) {
          const float* n = m.normals + 3 * m.face_normal[4 * i + k];
          EXPECT_EQ(std::vector<float>(n, n + 3), (std::vector<float>{0, 0, 1})) << i << " " << k;
        }
      }
    }
  }
  // A corner without a texture coordinate uses the one (0, 0) stored after
  // the file's own; a face's own normal follows the file's normals, and the
  // corners with a normal keep theirs.
  auto mixed = parse(styles.back().text);
  const ObjModel& m = mixed->model;
  EXPECT_EQ(mixed->counts.default_texcoords, 1);
  EXPECT_EQ(mixed->counts.face_normals, 1);
  EXPECT_EQ(m.texcoord_count, 5);
  EXPECT_EQ(floats(m.texcoords + 8, 2), (std::vector<float>{0, 0}));
  EXPECT_EQ(face(m, 0), (std::vector<Corner>{{0, 0, 1}, {1, 4, 0}, {2, 4, 1}, {3, 3, 0}}));
  EXPECT_EQ(m.normal_count, 2);
}

TEST(ObjParse, FaceOfNoAreaGetsNoNormal) {
  // The quadrilateral 1 2 3 2 encloses nothing, but the rounding of its
  // Newell sum left 2.8e-17, which was made into the unit normal (0, -1, 0).
  auto p = parse("v 0.078 0.692 -0.162\nv -0.373 0.370 0.049\nv -0.591 -0.113 0.756\nf 1 2 3 2\n");
  ASSERT_EQ(p->model.face_count, 1);
  EXPECT_EQ(floats(p->model.normals, 3), (std::vector<float>{0, 0, 0}));
}

TEST(ObjParse, FaceEndingsAndForwardIndices) {
  auto p = parse(
      "f 1/1/1 2/1/1 3/1/1 \r\n"       // blank and CR after the last corner
      "f 3/1/1 2/1/1 1/1/1 4/1/1\t\n"  // a tab after the fourth
      "f 1/1/1 2/1/1 3/1/1x\n"         // junk after a number ends that number only
      "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 1 1 0\nvt 0 0\nvn 0 0 1\n"
      "f 2/1/1 3/1/1 4/1/1");  // ends at the buffer's end
  const ObjModel& m = p->model;
  // The first faces name vertices that come later in the file: every counted
  // line is stored, so they are valid by the end of the load.
  ASSERT_EQ(m.face_count, 4);
  EXPECT_EQ(m.face_is_triangle[0], 1);
  EXPECT_EQ(m.face_is_triangle[1], 0);
  EXPECT_EQ(face(m, 1), (std::vector<Corner>{{2, 0, 0}, {1, 0, 0}, {0, 0, 0}, {3, 0, 0}}));
  EXPECT_EQ(m.face_is_triangle[2], 1);
  EXPECT_EQ(m.face_is_triangle[3], 1);
  EXPECT_EQ(face(m, 3), (std::vector<Corner>{{1, 0, 0}, {2, 0, 0}, {3, 0, 0}}));
}

TEST(ObjParse, EveryTruncationOfAFileStaysInsideItsArrays) {
  std::string text = crlf(kElements) +
                     "mtllib m.mtl\nf 1/2/3 2/3/4 3/4/1\nf 4/3/2 3/2/1 2/1/4 1/4/3\n"
                     "vt 1e-3 -2.5E+1\nf 1/5/1 2/5/2 3/5/3 4/5/4 1/1/1\n";
  for (size_t cut = 0; cut <= text.size(); ++cut) {
    auto p = parse(text.substr(0, cut));  // parse checks consistency
    EXPECT_LE(p->model.face_count, 4);
  }
  std::string sphere = read_file(source_path("samples/sphere.obj"));
  ASSERT_FALSE(sphere.empty());
  for (size_t cut = sphere.size(); cut > sphere.size() - 200; --cut) {
    parse(sphere.substr(0, cut));
  }
}

TEST(ObjParse, LinesReadTheSameWhereverTheirLineFeedsFallInTheFile) {
  // The passes find line feeds 64 bytes at a time. A comment of every
  // length from 0 to 130 in front shifts every later line feed through
  // every position of a block and across the blocks' borders; short and
  // empty lines put line feeds next to each other.
  const std::string body = kElements + "\n\nf 1/2/3 2/3/4 3/4/1\nv 7.5 -1 2\n\n" +
                           "f 4/3/2 3/2/1 2/1/4 1/4/3\nvt 0.25 0.5";
  auto reference = parse(body);
  ASSERT_EQ(reference->model.vertex_count, 5);
  ASSERT_EQ(reference->model.face_count, 2);
  for (size_t pad = 0; pad <= 130; ++pad) {
    const std::string comment = pad == 0 ? "" : "#" + std::string(pad - 1, 'x') + "\n";
    for (const std::string& ending : {std::string(), std::string("\n")}) {
      SCOPED_TRACE("comment of " + std::to_string(pad) + " bytes, ending \"" + ending + "\"");
      auto p = parse(comment + body + ending);
      EXPECT_EQ(p->counts.vertices, reference->counts.vertices);
      EXPECT_EQ(p->counts.texcoords, reference->counts.texcoords);
      EXPECT_EQ(p->counts.normals, reference->counts.normals);
      EXPECT_EQ(p->counts.faces, reference->counts.faces);
      expect_same_model(p->model, reference->model);
      // The last line has no line feed: its number is still read whole.
      EXPECT_EQ(p->model.texcoords[2 * 4 + 1], 0.5f);
    }
  }
}

TEST(ObjParse, CountingInStepsSearchesEachByteOnce) {
  // A line of 64 pages counted a page at a time, as the loader reads it; each
  // page but the line's first is made unreadable after its step. A search
  // from the line's start at every step would fault (and cost length^2).
  const size_t page = size_t(sysconf(_SC_PAGESIZE)), pages = 64;
  char* bytes = static_cast<char*>(
      mmap(nullptr, pages * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(bytes, MAP_FAILED);
  std::memset(bytes, '1', pages * page);
  std::memcpy(bytes, "v ", 2);
  bytes[pages * page - 1] = '\n';
  EXPECT_EXIT(
      {
        ObjCounts counts;
        const char* start = bytes;
        for (size_t i = 0; i < pages; ++i) {
          char* step = bytes + i * page;
          start = count_complete_lines(start, step, step + page, &counts);
          if (i > 0) mprotect(step, page, PROT_NONE);
        }
        std::exit(start == bytes + pages * page && counts.vertices == 1 ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
  munmap(bytes, pages * page);
}

float strtod_float(const std::string& s) {
  return static_cast<float>(std::strtod(s.c_str(), nullptr));
}

// parse_float over exactly the bytes of s.
float read_float(const std::string& s, size_t* used = nullptr) {
  std::unique_ptr<char[]> bytes(new char[s.size() + 1]);
  std::memcpy(bytes.get(), s.data(), s.size());
  float value = -1.0f;
  const char* stop = parse_float(bytes.get(), bytes.get() + s.size(), &value);
  if (used) *used = static_cast<size_t>(stop - bytes.get());
  return value;
}

TEST(ObjParse, NumbersReadAsDecimalInDoubleThenRoundedToFloat) {
  // Each must give exactly what the C library's strtod gives, rounded to
  // float: the quick path and the slow one alike.
  const char* cases[] = {
      "0",
      "-0",
      "1",
      "+3.25",
      "-2.5",
      ".5",
      "5.",
      "0.1",
      "0.3",
      "1e23",
      "1E-7",
      "123456789",
      "16777217",
      "9007199254740993",
      "123456789012345678901234567890",
      "3.14159265358979323846264338327950288",
      "0.000000000000000000000000000001",
      "1.17549435e-38",
      "1.4e-45",
      "7e-46",
      "3.4028235e38",
      "3.40282357e38",
      "1e400",
      "-1e400",
      "1e-400",
      "0.0000000000000000000000000000000000000000000001e46",
      "2.5e+3",
      "4.35",
      "0.7071068",
      "-0.965926",
      "1e22",
      "1e-22",
      "4503599627370497.5",
  };
  for (const char* c : cases) {
    float expected = strtod_float(c);
    float got = read_float(c);
    EXPECT_EQ(std::memcmp(&expected, &got, sizeof got), 0)
        << c << " gave " << got << " not " << expected;
  }
  // Random decimals of every shape the quick path decides on.
  std::mt19937 rng(12345);
  for (int i = 0; i < 5000; ++i) {
    std::string s;
    if (rng() % 4 == 0) s += "-";
    int int_digits = int(rng() % 12), frac_digits = int(rng() % 20);
    for (int d = 0; d < int_digits; ++d) s += char('0' + rng() % 10);
    s += ".";
    for (int d = 0; d < frac_digits; ++d) s += char('0' + rng() % 10);
    if (int_digits + frac_digits == 0) s += "7";
    if (rng() % 3 == 0) s += "e" + std::to_string(int(rng() % 90) - 45);
    float expected = strtod_float(s);
    float got = read_float(s);
    ASSERT_EQ(std::memcmp(&expected, &got, sizeof got), 0) << s;
  }
}

TEST(ObjParse, NumberReadingStopsWhereTheNumberOrTheLineEnds) {
  size_t used = 0;
  EXPECT_EQ(read_float("  \t12.5x", &used), 12.5f);
  EXPECT_EQ(used, 7u);
  EXPECT_EQ(read_float("1e", &used), 1.0f);  // an exponent needs digits
  EXPECT_EQ(used, 1u);
  EXPECT_EQ(read_float("2e+", &used), 2.0f);
  EXPECT_EQ(used, 1u);
  EXPECT_EQ(read_float("0x10", &used), 0.0f);  // decimal only
  EXPECT_EQ(used, 1u);
  for (const char* none : {"", " ", "inf", "nan", "-", "+.", ".e5", "x1"}) {
    EXPECT_EQ(read_float(none, &used), 0.0f) << none;
    EXPECT_EQ(used, 0u) << none;  // nothing read: the reader stays put
  }
  // The end given is the end: digits after it are not read.
  const char digits[] = "12345";
  float value = 0;
  EXPECT_EQ(parse_float(digits, digits + 2, &value), digits + 2);
  EXPECT_EQ(value, 12.0f);

  int64_t index = 0;
  bool found = false;
  const char text[] = " -7/ 42 + 99999999999999999999999";
  EXPECT_EQ(parse_index(text, text + 4, &index, &found), text + 3);
  EXPECT_TRUE(found);
  EXPECT_EQ(index, -7);
  parse_index(text + 4, text + 6, &index, &found);  // " 4": stops at the end
  EXPECT_EQ(index, 4);
  parse_index(text + 7, text + 9, &index, &found);
  EXPECT_FALSE(found);
  parse_index(text + 10, text + sizeof text - 1, &index, &found);
  EXPECT_TRUE(found);
  EXPECT_GT(index, int64_t{INT32_MAX});  // saturated, not wrapped
}

// parse_map_kd_line over a buffer of exactly the line's bytes; the name is
// copied out before the buffer goes.
struct MapKd {
  MapKdLine line;
  std::string name = "<none>";
};
MapKd map_kd(const std::string& text) {
  std::unique_ptr<char[]> bytes(new char[text.size()]);
  std::memcpy(bytes.get(), text.data(), text.size());
  MapKd result;
  result.line = parse_map_kd_line(bytes.get(), text.size());
  if (result.line.name) {
    EXPECT_GE(result.line.name, bytes.get());
    EXPECT_LE(result.line.name + result.line.name_length, bytes.get() + text.size());
    result.name.assign(result.line.name, result.line.name_length);
  }
  return result;
}

std::string name_of(const std::string& line) { return map_kd(line).name; }

TEST(ObjParse, MapKdLineGivesOffsetsAndTextureName) {
  MapKdLine m = map_kd("map_Kd -o 0.5 0.25 tex.png\n").line;
  EXPECT_TRUE(m.has_offsets);
  EXPECT_EQ(m.offset_u, 0.5f);
  EXPECT_EQ(m.offset_v, 0.25f);
  EXPECT_EQ(name_of("map_Kd -o 0.5 0.25 tex.png\n"), "tex.png");

  m = map_kd("map_Kd tex.png\n").line;
  EXPECT_FALSE(m.has_offsets);
  EXPECT_EQ(m.offset_u, 0.0f);
  EXPECT_EQ(name_of("map_Kd tex.png\n"), "tex.png");

  // Another option is part of the name, as is a third "-o" number.
  EXPECT_EQ(name_of("map_Kd -s 1 1 1 tex.png\n"), "-s 1 1 1 tex.png");
  EXPECT_EQ(name_of("map_Kd -o 1 2 3 tex.png\n"), "3 tex.png");
  // Nothing trimmed; a missing line feed ends the name at the line's end.
  EXPECT_EQ(name_of("map_Kd my tex.png \r\n"), "my tex.png \r");
  EXPECT_EQ(name_of("map_Kd tex.png"), "tex.png");
  // No name: nothing to load.
  EXPECT_EQ(name_of("map_Kd\n"), "<none>");
  EXPECT_EQ(name_of("map_Kd \n"), "<none>");
  EXPECT_EQ(name_of("map_Kd -o 0.5 0.25\n"), "<none>");
  m = map_kd("map_Kd -o 0.5\n").line;
  EXPECT_TRUE(m.has_offsets);
  EXPECT_EQ(m.offset_u, 0.5f);
  EXPECT_EQ(m.offset_v, 0.0f);
  EXPECT_EQ(m.name, nullptr);
  EXPECT_EQ(name_of("map_Kd -o"), "<none>");
}

}  // namespace

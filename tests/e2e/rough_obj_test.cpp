// Models that are missing or broken, as a user meets them: typed into the
// OBJ Filename field, loaded with Load OBJ Model and painted with the OBJ
// File brush. The loader prints its counts for every file it opens, says on
// standard error what it could not open, and the program keeps running; a
// name that cannot be opened leaves the previous model current.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/rough_files.h"

namespace {

// A square of side 2 in the model's x-z plane, facing +y: after the brush's
// tilt it faces the viewer, 2 s pixels wide.
const char kSquare[] =
    "v -1 0 -1\nv 1 0 -1\nv 1 0 1\nv -1 0 1\n"
    "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
    "vn 0 1 0\n";
const char kSquareFace[] = "f 1/1/1 2/2/1 3/3/1 4/4/1\n";

// Faces that must not be stored: an index of 0, past the end, reaching back
// before the first element or huge, in every corner form; a missing vertex,
// too few corners.
const char kBadFaces[] =
    "f 0/1/1 2/2/1 3/3/1\n"
    "f 1/1/1 2/2/1 5/3/1\n"
    "f 1/1/1 2/5/1 3/3/1\n"
    "f 1/1/1 2/2/2 3/3/1\n"
    "f -5/-1/-1 -2/-2/-1 -3/-3/-1\n"
    "f 99999999999999999999/1/1 2/2/1 3/3/1\n"
    "f 1//2 2//1 3//1\n"
    "f 1/5 2/2 3/3\n"
    "f 1 2 5\n"
    "f 1/1/1 2/2/1\n"
    "f \n"
    "f 1/1/1 2/2/1 /3/1\n";
const int kBadFaceCount = 12;
// What the loader says of them, after the path.
const std::string kBadFacesWhy =
    ": 9 with an index of 0 or past the elements of its kind, 2 with fewer than three corners, 1 "
    "with a "
    "corner that is not an index.";

// Bytes from a fixed generator: the same garbage in every run.
std::string garbage(std::size_t n) {
  std::string s(n, '\0');
  uint32_t x = 2463534242u;
  for (char& c : s) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x & 0xFF);
  }
  return s;
}

// The loader's counting rule, as a user could check it with a text editor:
// every line whose first two characters are "v ", "vt", "vn" or "f ".
std::string count_lines(const std::string& obj) {
  int v = 0, vt = 0, vn = 0, f = 0;
  for (std::size_t at = 0; at < obj.size();) {
    if (at + 1 < obj.size()) {
      const char a = obj[at], b = obj[at + 1];
      if (a == 'v' && b == ' ') ++v;
      if (a == 'v' && b == 't') ++vt;
      if (a == 'v' && b == 'n') ++vn;
      if (a == 'f' && b == ' ') ++f;
    }
    const std::size_t lf = obj.find('\n', at);
    if (lf == std::string::npos) break;
    at = lf + 1;
  }
  return "Found vertices: " + std::to_string(v) + " " + std::to_string(vt) + " " +
         std::to_string(vn) + "\nFound faces: " + std::to_string(f) +
         "\nFile length: " + std::to_string(obj.size());
}

std::string crlf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

struct BadModel {
  const char* test_name;
  const char* file_name;  // as typed into the OBJ Filename field
  // Files to put into the program's folder: name and bytes; a name ending
  // in "/" is made as a folder.
  std::vector<std::pair<std::string, std::string>> files;
  bool opens;         // the OBJ file opens: its count lines are printed
  std::string error;  // lines expected on standard error, or ""
  bool paints;        // the OBJ File brush then draws something
};

const std::string kSquareObj = std::string(kSquare) + kSquareFace;
const std::string kBrokenPng = cut(read_file(source_path("samples/sphere.png")), 100);

std::string with_mtl(const std::string& mtl_name) {
  return "mtllib " + mtl_name + "\n" + kSquareObj;
}

const BadModel kBadModels[] = {
    // Names that cannot be opened: the model in use stays and paints.
    {"Missing", "nothere.obj", {}, false, "File ./nothere.obj could not be opened!", true},
    {"Folder", "models", {{"models/", ""}}, false, "File ./models could not be read!", true},
    // Files that open but hold nothing to draw: an empty model is current.
    {"Empty", "empty.obj", {{"empty.obj", ""}}, true, "", false},
    {"Garbage",
     "garbage.obj",
     {{"garbage.obj", garbage(20000)}},
     true,
     "Model ./garbage.obj has no face to draw.",
     false},
    {"OnlyBadFaces",
     "bad.obj",
     {{"bad.obj", std::string(kSquare) + kBadFaces}},
     true,
     "Skipped 12 of 12 faces in ./bad.obj" + kBadFacesWhy +
         "\nModel ./bad.obj has no face to draw.",
     false},
    {"NoLineFeedAtTheEnd",
     "cut.obj",
     {{"cut.obj", std::string(kSquare) + "f 1/1/1 2/2/1 3/3/1"}},
     true,
     "",
     true},
    // The good faces of a file with bad ones still draw.
    {"BadFacesAmongGoodOnes",
     "mixed.obj",
     {{"mixed.obj", std::string(kSquare) + kBadFaces + kSquareFace + kBadFaces}},
     true,
     "Skipped 24 of 25 faces in ./mixed.obj: 18 with an index of 0 or past the elements of its "
     "kind, 4 with "
     "fewer than three corners, 2 with a corner that is not an index.",
     true},
    // Material libraries and textures that are missing or broken: the model
    // draws without a texture.
    {"MissingMaterialLibrary",
     "a.obj",
     {{"a.obj", with_mtl("nothere.mtl")}},
     true,
     "Material library ./nothere.mtl could not be opened!",
     true},
    {"MaterialLibraryIsAFolder",
     "a.obj",
     {{"a.obj", with_mtl("lib")}, {"lib/", ""}},
     true,
     "Material library ./lib is not a regular file!",
     true},
    {"EmptyMaterialLibrary",
     "a.obj",
     {{"a.obj", with_mtl("a.mtl")}, {"a.mtl", ""}},
     true,
     "",
     true},
    {"GarbageMaterialLibrary",
     "a.obj",
     {{"a.obj", with_mtl("a.mtl")}, {"a.mtl", garbage(5000)}},
     true,
     "",
     true},
    {"OverLongTextureLine",
     "a.obj",
     {{"a.obj", with_mtl("a.mtl")}, {"a.mtl", "map_Kd " + std::string(400, 'x') + ".png\n"}},
     true,
     "Texture line in ./a.mtl is too long!",
     true},
    {"MissingTexture",
     "a.obj",
     {{"a.obj", with_mtl("a.mtl")}, {"a.mtl", "map_Kd nothere.png\n"}},
     true,
     "",
     true},
    {"BrokenTexture",
     "a.obj",
     {{"a.obj", with_mtl("a.mtl")}, {"a.mtl", "map_Kd broken.png\n"}, {"broken.png", kBrokenPng}},
     true,
     "",
     true},
    {"TextAsTexture",
     "a.obj",
     {{"a.obj", with_mtl("a.mtl")},
      {"a.mtl", "map_Kd notes.png\n"},
      {"notes.png", "not a picture\n"}},
     true,
     "",
     true},
    {"TextureIsAFolder",
     "a.obj",
     {{"a.obj", with_mtl("a.mtl")}, {"a.mtl", "map_Kd tex.png\n"}, {"tex.png/", ""}},
     true,
     "",
     true},
    // A file saved with CR LF line ends: the library's name keeps its
    // carriage return and is not found, the mesh reads as usual.
    {"CrLfLineEnds",
     "dos.obj",
     {{"dos.obj", crlf(read_file(source_path("samples/sphere.obj")))}},
     true,
     "Material library ./sphere.mtl\r could not be opened!",
     true},
};

class BadModelTest : public testing::TestWithParam<BadModel> {};

void PrintTo(const BadModel& m, std::ostream* os) { *os << m.test_name; }

bool make_files(const TempDir& dir, const BadModel& m) {
  for (const auto& [name, bytes] : m.files) {
    if (!name.empty() && name.back() == '/') {
      if (mkdir(dir.file(name.substr(0, name.size() - 1)).c_str(), 0755) != 0) return false;
    } else if (!write_file(dir.file(name), bytes)) {
      return false;
    }
  }
  return true;
}

// Waits for each line of `text` in order, from line `from` on.
testing::AssertionResult wait_for_lines(e2e::App& app, const std::string& text, std::size_t from,
                                        e2e::Stream stream = e2e::Stream::Out) {
  std::size_t at = 0;
  while (at <= text.size()) {
    std::size_t lf = text.find('\n', at);
    if (lf == std::string::npos) lf = text.size();
    e2e::Found found;
    auto r = app.wait_for_line(text.substr(at, lf - at), &found, from, stream);
    if (!r) return r;
    from = found.index + 1;
    at = lf + 1;
  }
  return testing::AssertionSuccess();
}

// Non-white pixels around a drag at window height y.
int painted_near(Daubwork& d, int y) {
  return non_white_pixels(d.canvas_shot(), 20, y - 70, 200, y + 70);
}

}  // namespace

TEST_P(BadModelTest, IsReportedAndThePaintingGoesOn) {
  const BadModel& bad = GetParam();
  Daubwork d;
  ASSERT_TRUE(make_files(d.dir(), bad));
  ASSERT_TRUE(d.click_and_wait("Load Image", "Image image1.jpg loaded."));
  d.click("OBJ File");
  std::size_t from = d.app().line_count();
  d.click("Load OBJ Model");
  ASSERT_TRUE(
      wait_for_lines(d.app(), count_lines(read_file(source_path("samples/sphere.obj"))), from));
  d.drag({{80, 120}, {140, 120}});
  ASSERT_TRUE(e2e::wait_until([&] { return painted_near(d, 120) > 200; }, "the sphere painted"));

  ASSERT_TRUE(d.set_text("OBJ Filename: ", bad.file_name));
  from = d.app().line_count();
  const std::size_t err_from = d.app().line_count(e2e::Stream::Err);
  d.click("Load OBJ Model");
  if (!bad.error.empty()) {
    ASSERT_TRUE(wait_for_lines(d.app(), bad.error, err_from, e2e::Stream::Err));
  }
  if (bad.opens) {
    const std::string obj = read_file(d.dir().file(bad.file_name));
    ASSERT_TRUE(wait_for_lines(d.app(), count_lines(obj), from));
  }

  // Paint with the OBJ File brush, then with Blocks elsewhere: once the
  // blocks show, the OBJ strokes before them have been drawn too.
  d.drag({{80, 400}, {140, 400}});
  if (bad.paints) {
    EXPECT_TRUE(e2e::wait_until([&] { return painted_near(d, 400) > 200; }, "the model painted"));
  }
  d.click("Blocks");
  const int right = 800 - d.panel_width();
  d.drag({{right - 100, 120}, {right - 80, 130}});
  ASSERT_TRUE(e2e::wait_until(
      [&] { return black_pixels(d.canvas_shot(), right - 200, 40, right, 220) > 50; },
      "blocks painted"));
  if (!bad.paints) {
    EXPECT_EQ(painted_near(d, 400), 0) << "an empty or broken model drew something";
  }
  EXPECT_TRUE(d.app().running());
  // Nothing was reported but the expected lines.
  const std::vector<std::string> errors = d.app().lines(e2e::Stream::Err);
  const std::size_t expected =
      bad.error.empty() ? 0 : 1 + std::count(bad.error.begin(), bad.error.end(), '\n');
  EXPECT_EQ(errors.size() - err_from, expected) << d.app().errors();
}

INSTANTIATE_TEST_SUITE_P(Rough, BadModelTest, testing::ValuesIn(kBadModels),
                         [](const testing::TestParamInfo<BadModel>& info) {
                           return std::string(info.param.test_name);
                         });

// ObjModel::load_obj_model on real files, with the texture loader replaced
// by a recorder so that the paths it is asked for can be seen without GL.
#include "model/obj_load.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/messages.h"
#include "model/obj_model.h"
#include "model/obj_parse.h"
#include "tests/support/test_files.h"

namespace {

std::vector<std::string> textures_asked;
uint32_t texture_answer = 0;
std::vector<uint32_t> textures_released;

uint32_t record_texture(const char* path) {
  textures_asked.emplace_back(path);
  return texture_answer;
}
void record_release(uint32_t texture) { textures_released.push_back(texture); }

class ObjLoad : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = obj_texture_loader;
    saved_releaser_ = obj_texture_releaser;
    obj_texture_loader = record_texture;
    obj_texture_releaser = record_release;
    textures_asked.clear();
    textures_released.clear();
    texture_answer = 17;
  }
  void TearDown() override {
    obj_texture_loader = saved_;
    obj_texture_releaser = saved_releaser_;
  }

  // Loads dir/name and keeps what went to stdout and stderr.
  bool load(ObjModel& m, const std::string& dir, const std::string& name) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    bool ok = m.load_obj_model(dir.c_str(), name.c_str());
    std::fflush(stdout);
    std::fflush(stderr);
    out_ = testing::internal::GetCapturedStdout();
    err_ = testing::internal::GetCapturedStderr();
    return ok;
  }

  void write(const std::string& name, const std::string& text) {
    ASSERT_TRUE(write_file(dir_.file(name), text));
  }

  TempDir dir_;
  std::string out_, err_;

 private:
  ObjTextureLoader saved_ = nullptr;
  ObjTextureReleaser saved_releaser_ = nullptr;
};

const std::string kTriangle =
    "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0.25 0.25\nvt 1 0\nvn 0 0 1\n"
    "f 1/1/1 2/2/1 3/1/1\n";

// Restores the working folder when it goes.
class InFolder {
 public:
  explicit InFolder(const std::string& dir) : saved_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
  }
  ~InFolder() { std::filesystem::current_path(saved_); }

 private:
  std::filesystem::path saved_;
};

void expect_empty(const ObjModel& m) {
  EXPECT_EQ(m.texture, 0u);
  EXPECT_EQ(m.tex_offset_u, 0.0f);
  EXPECT_EQ(m.tex_offset_v, 0.0f);
  EXPECT_EQ(m.vertices, nullptr);
  EXPECT_EQ(m.texcoords, nullptr);
  EXPECT_EQ(m.normals, nullptr);
  EXPECT_EQ(m.face_vertex, nullptr);
  EXPECT_EQ(m.face_is_triangle, nullptr);
  EXPECT_EQ(m.vertex_count + m.texcoord_count + m.normal_count + m.face_count, 0);
}

TEST_F(ObjLoad, EmptyFilePrintsZeroCountsAndGivesAnEmptyModel) {
  write("empty.obj", "");
  ObjModel m;
  EXPECT_TRUE(load(m, dir_.path(), "empty.obj"));
  EXPECT_EQ(out_, "Found vertices: 0 0 0\nFound faces: 0\nFile length: 0\n");
  EXPECT_EQ(err_, "");
  expect_empty(m);
  EXPECT_TRUE(textures_asked.empty());
}

TEST_F(ObjLoad, PrintsTheLinesCountedAndStoresTheGoodFaces) {
  std::string text =
      "# two faces, one of them bad\n" + kTriangle + "vn 1 0 0\nf 1/1/1 2/2/2 3/3/3\n";
  write("m.obj", text);
  ObjModel m;
  EXPECT_TRUE(load(m, dir_.path(), "m.obj"));
  EXPECT_EQ(out_, "Found vertices: 3 2 2\nFound faces: 2\nFile length: " +
                      std::to_string(text.size()) + "\n");
  EXPECT_EQ(m.vertex_count, 3);
  EXPECT_EQ(m.texcoord_count, 2);
  EXPECT_EQ(m.normal_count, 2);
  EXPECT_EQ(m.face_count, 1);  // texture index 3 of 2: not stored
  EXPECT_EQ(m.texture, 0u);    // no material library
  EXPECT_TRUE(textures_asked.empty());
  EXPECT_TRUE(obj_model_is_consistent(m, ObjCounts{3, 2, 2, 2}));
}

TEST_F(ObjLoad, MaterialLibraryGivesOffsetsAndTheTexturePath) {
  write("m.obj", "mtllib m.mtl\n" + kTriangle);
  write("m.mtl",
        "newmtl a\nKd 1 1 1\nmap_Ka other.png\nmap_Kd -o 0.5 0.25 tex.png\nmap_Kd no.png\n");
  ObjModel m;
  EXPECT_TRUE(load(m, dir_.path(), "m.obj"));
  EXPECT_EQ(textures_asked, std::vector<std::string>{dir_.file("tex.png")});
  EXPECT_EQ(m.texture, 17u);  // what the loader returned, unchanged
  EXPECT_EQ(m.tex_offset_u, 0.5f);
  EXPECT_EQ(m.tex_offset_v, 0.25f);
  EXPECT_EQ(m.face_count, 1);
  EXPECT_EQ(err_, "");

  // Another option than "-o" stays part of the name; the offsets stay 0.
  write("m.mtl", "map_Kd -s 1 1 1 tex.png\n");
  textures_asked.clear();
  EXPECT_TRUE(load(m, dir_.path(), "m.obj"));
  EXPECT_EQ(textures_asked, std::vector<std::string>{dir_.file("-s 1 1 1 tex.png")});
  EXPECT_EQ(m.tex_offset_u, 0.0f);
  EXPECT_EQ(m.tex_offset_v, 0.0f);
}

TEST_F(ObjLoad, AbsoluteNamesAreUsedAsTheyStand) {
  // Joined to ".", "/home/a.obj" named ./home/a.obj. UTF-8 names are bytes.
  const std::string folder = dir_.file("modèles");
  std::filesystem::create_directory(folder);
  write("modèles/sphère.obj", "mtllib " + folder + "/matière.mtl\n" + kTriangle);
  write("modèles/matière.mtl", "map_Kd " + folder + "/écorce.png\n");
  ObjModel m;
  EXPECT_TRUE(load(m, ".", folder + "/sphère.obj"));
  EXPECT_EQ(err_, "");
  EXPECT_EQ(m.face_count, 1);
  EXPECT_EQ(textures_asked, std::vector<std::string>{folder + "/écorce.png"});
}

TEST_F(ObjLoad, LibraryAndTextureAreFoundInTheDirectoryNotTheObjFolder) {
  std::filesystem::create_directory(dir_.file("models"));
  write("models/a.obj", "mtllib a.mtl\n" + kTriangle);
  write("models/a.mtl", "map_Kd wrong.png\n");
  write("a.mtl", "map_Kd -o 0.5 0.25 tex.png\n");
  InFolder here(dir_.path());
  ObjModel m;
  EXPECT_TRUE(load(m, ".", "models/a.obj"));
  EXPECT_EQ(textures_asked, std::vector<std::string>{"./tex.png"});
  EXPECT_EQ(m.tex_offset_u, 0.5f);
}

TEST_F(ObjLoad, LibraryAndTextureMissingInTheDirectoryAreFoundBesideWhatNamesThem) {
  // A model opened by its absolute path from another folder, its library
  // in its own folder and the texture beside the library.
  const std::string folder = dir_.file("a model");
  std::filesystem::create_directories(folder + "/maps");
  write("a model/a.obj", "mtllib maps/a.mtl\n" + kTriangle);
  write("a model/maps/a.mtl", "map_Kd -o 0.5 0.25 tex.png\n");
  write("a model/maps/tex.png", "");
  TempDir elsewhere;
  InFolder here(elsewhere.path());
  ObjModel m;
  EXPECT_TRUE(load(m, ".", folder + "/a.obj"));
  EXPECT_EQ(err_, "");
  EXPECT_EQ(textures_asked, std::vector<std::string>{folder + "/maps/tex.png"});
  EXPECT_EQ(m.tex_offset_u, 0.5f);
  // A texture that does not decode: the window says so, the console not.
  texture_answer = 0;
  EXPECT_TRUE(load(m, ".", folder + "/a.obj"));
  EXPECT_EQ(err_, "");
  EXPECT_EQ(message_lines().back().text, "Texture " + folder +
                                             "/maps/tex.png could not be loaded: not a picture "
                                             "this program reads.");

  // Found in neither place: named as the directory gives it.
  std::filesystem::remove(folder + "/maps/a.mtl");
  textures_asked.clear();
  EXPECT_TRUE(load(m, ".", folder + "/a.obj"));
  EXPECT_EQ(err_, "Material library ./maps/a.mtl could not be opened!\n");
  EXPECT_TRUE(textures_asked.empty());
}

TEST_F(ObjLoad, LastLibraryDecidesTheTextureAndEarlierOffsetsStay) {
  write("m.obj", "mtllib a.mtl\nmtllib b.mtl\n" + kTriangle);
  write("a.mtl", "map_Kd -o 0.5 0.25 a.png\n");
  write("b.mtl", "map_Kd b.png");  // last line without a line feed
  ObjModel m;
  EXPECT_TRUE(load(m, dir_.path(), "m.obj"));
  EXPECT_EQ(textures_asked, std::vector<std::string>{dir_.file("b.png")});
  EXPECT_EQ(m.texture, 17u);
  EXPECT_EQ(m.tex_offset_u, 0.5f);
  EXPECT_EQ(m.tex_offset_v, 0.25f);

  // A later library that gives no texture leaves none.
  write("m.obj", "mtllib a.mtl\nmtllib missing.mtl\n" + kTriangle);
  EXPECT_TRUE(load(m, dir_.path(), "m.obj"));
  EXPECT_EQ(m.texture, 0u);
  EXPECT_EQ(m.face_count, 1);
}

TEST_F(ObjLoad, EachLibraryIsReadOnceAndOnlyTheLastLibrarysTextureDecoded) {
  // Twenty libraries first, each of a texture that was decoded and held.
  std::string libraries;
  for (int i = 0; i < 20; ++i) {
    write("l" + std::to_string(i) + ".mtl", "map_Kd t" + std::to_string(i) + ".png\n");
    libraries += "mtllib l" + std::to_string(i) + ".mtl\n";
  }
  write("m.obj", libraries +
                     "mtllib a.mtl\nmtllib b.mtl\nmtllib none.mtl\nmtllib a.mtl\nmtllib none.mtl\n"
                     "mtllib b.mtl\nmtllib c.mtl\nmtllib a.mtl\n" +
                     kTriangle);
  write("a.mtl", "map_Kd a.png\n");
  write("b.mtl", "map_Kd -o 0.5 0.25 b.png\n");
  write("c.mtl", "map_Kd a.png\n");  // another library, the same texture
  static uint32_t next_texture;
  next_texture = 40;
  obj_texture_loader = [](const char* path) {
    textures_asked.emplace_back(path);
    return next_texture++;
  };
  auto m = std::make_unique<ObjModel>();
  EXPECT_TRUE(load(*m, dir_.path(), "m.obj"));
  EXPECT_EQ(textures_asked, std::vector<std::string>{dir_.file("a.png")});
  EXPECT_EQ(err_, "Material library " + dir_.file("none.mtl") + " could not be opened!\n");
  EXPECT_EQ(m->texture, 40u);        // the last library's
  EXPECT_EQ(m->tex_offset_u, 0.5f);  // as b.mtl set them
  EXPECT_EQ(m->tex_offset_v, 0.25f);
  EXPECT_TRUE(textures_released.empty());

  // Loading again, and destroying the record, give back the texture it held.
  EXPECT_TRUE(load(*m, dir_.path(), "m.obj"));
  EXPECT_EQ(textures_released, std::vector<uint32_t>{40});
  m.reset();
  EXPECT_EQ(textures_released, (std::vector<uint32_t>{40, 41}));
}

// Loads dir/name in a child process that an alarm ends after 20 s, so that
// a load that blocks fails the test instead of hanging it. Gives whether the
// child finished, whether the load succeeded, and what it wrote to stderr.
struct ChildLoad {
  bool finished = false;
  bool loaded = false;
  std::string err;
};
ChildLoad load_in_child(const TempDir& dir, const std::string& name) {
  const std::string err_file = dir.file("child-stderr");
  std::fflush(nullptr);
  pid_t child = fork();
  if (child == 0) {
    alarm(20);
    if (!std::freopen(err_file.c_str(), "w", stderr) || !std::freopen("/dev/null", "w", stdout)) {
      _exit(3);
    }
    ObjModel m;
    bool ok = m.load_obj_model(dir.path().c_str(), name.c_str());
    std::fflush(nullptr);
    _exit(ok ? 0 : 1);
  }
  ChildLoad result;
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child) return result;
  result.finished = WIFEXITED(status) && WEXITSTATUS(status) <= 1;
  result.loaded = result.finished && WEXITSTATUS(status) == 0;
  result.err = read_file(err_file);
  return result;
}

TEST_F(ObjLoad, PipesAndDevicesAreRefusedWithoutWaiting) {
  ASSERT_EQ(mkfifo(dir_.file("pipe.obj").c_str(), 0600), 0);
  ChildLoad pipe = load_in_child(dir_, "pipe.obj");
  EXPECT_TRUE(pipe.finished);
  EXPECT_FALSE(pipe.loaded);
  EXPECT_EQ(pipe.err, "File " + dir_.file("pipe.obj") + " could not be read!\n");

  ASSERT_EQ(mkfifo(dir_.file("pipe.mtl").c_str(), 0600), 0);
  ASSERT_EQ(symlink("/dev/zero", dir_.file("zero.mtl").c_str()), 0);
  for (const char* library : {"pipe.mtl", "zero.mtl"}) {
    SCOPED_TRACE(library);
    write("m.obj", "mtllib " + std::string(library) + "\n" + kTriangle);
    ChildLoad child = load_in_child(dir_, "m.obj");
    EXPECT_TRUE(child.finished);
    EXPECT_TRUE(child.loaded);
    EXPECT_EQ(child.err, "Material library " + dir_.file(library) + " is not a regular file!\n");
  }
}

TEST_F(ObjLoad, LibrariesWithoutAUsableTextureLeaveTextureZero) {
  struct Case {
    const char* what;
    std::string obj_library_line;  // the mtllib line
    std::string mtl;               // written as lib.mtl when not empty
    std::string error;             // expected on stderr
  };
  std::string long_line = "map_Kd " + std::string(260, 'x') + ".png\n";
  std::vector<Case> cases = {
      {"missing library", "mtllib none.mtl\n", "",
       "Material library " + dir_.file("none.mtl") + " could not be opened!\n"},
      {"CR kept in the name", "mtllib lib.mtl\r\n", "map_Kd t.png\n",
       "Material library " + dir_.file("lib.mtl\r") + " could not be opened!\n"},
      {"no map_Kd", "mtllib lib.mtl\n", "newmtl a\nmap_Ka a.png\n map_Kd indented.png\n", ""},
      {"map_Kd over 254 characters", "mtllib lib.mtl\n", long_line,
       "Texture line in " + dir_.file("lib.mtl") + " is too long!\n"},
      {"map_Kd without a name", "mtllib lib.mtl\n", "map_Kd\n", ""},
      {"library name too long", "mtllib " + std::string(4000, 'n') + "\n", "",
       "Material library name " + std::string(200, 'n') + " is not usable!\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(dir_.file("lib.mtl"));
    if (!c.mtl.empty()) write("lib.mtl", c.mtl);
    write("m.obj", c.obj_library_line + kTriangle);
    textures_asked.clear();
    ObjModel m;
    EXPECT_TRUE(load(m, dir_.path(), "m.obj"));
    EXPECT_TRUE(textures_asked.empty());
    EXPECT_EQ(m.texture, 0u);
    EXPECT_EQ(m.face_count, 1);  // the rest of the model loads
    EXPECT_EQ(err_, c.error);
  }
}

TEST_F(ObjLoad, EveryPieceIsTestedLikeALine) {
  // A 300-character comment is read in pieces; its second piece begins with
  // "map_Kd": the middle of a line, tested like a line all the same.
  std::string comment =
      "#" + std::string(253, ' ') + "map_Kd piece.png" + std::string(30, ' ') + "\n";
  write("lib.mtl", comment + "map_Kd real.png\n");
  write("m.obj", "mtllib lib.mtl\n" + kTriangle);
  ObjModel m;
  EXPECT_TRUE(load(m, dir_.path(), "m.obj"));
  EXPECT_EQ(textures_asked,
            std::vector<std::string>{dir_.file("piece.png" + std::string(30, ' '))});

  // A map_Kd line of exactly 254 characters with its line feed still fits.
  std::string name(254 - 8, 't');
  write("lib.mtl", "map_Kd " + name + "\n");
  textures_asked.clear();
  EXPECT_TRUE(load(m, dir_.path(), "m.obj"));
  EXPECT_EQ(textures_asked, std::vector<std::string>{dir_.file(name)});
  // One more character and it no longer does.
  write("lib.mtl", "map_Kd " + name + "t\n");
  textures_asked.clear();
  EXPECT_TRUE(load(m, dir_.path(), "m.obj"));
  EXPECT_TRUE(textures_asked.empty());
}

TEST_F(ObjLoad, MissingFileIsReportedAndLeavesTheRecordEmpty) {
  write("m.obj", "mtllib m.mtl\n" + kTriangle);
  write("m.mtl", "map_Kd -o 0.5 0.25 tex.png\n");
  ObjModel m;
  ASSERT_TRUE(load(m, dir_.path(), "m.obj"));
  ASSERT_EQ(m.face_count, 1);

  EXPECT_FALSE(load(m, dir_.path(), "missing.obj"));
  EXPECT_EQ(err_, "File " + dir_.file("missing.obj") + " could not be opened!\n");
  EXPECT_EQ(out_, "");
  // The window's line says why, and shows an error.
  ASSERT_FALSE(message_lines().empty());
  EXPECT_EQ(message_lines().back().text, "File " + dir_.file("missing.obj") +
                                             " could not be opened: No such file or directory.");
  EXPECT_EQ(message_lines().back().level, MessageLevel::error);
  expect_empty(m);  // and safe to destroy

  std::filesystem::create_directory(dir_.file("folder.obj"));
  EXPECT_FALSE(load(m, dir_.path(), "folder.obj"));
  EXPECT_EQ(err_, "File " + dir_.file("folder.obj") + " could not be read!\n");
  expect_empty(m);
}

TEST_F(ObjLoad, OverLongObjPathIsRefusedNotShortened) {
  // Folders deep enough that "<dir>/<name>" reaches 999 characters, the most
  // the 1000-character path buffer holds; the model file sits right there.
  std::string dir = dir_.path();
  std::string folders;
  while (dir.size() + 1 + folders.size() + 200 + 1 < 999 - 100) {
    folders += std::string(200, 'd') + "/";
    std::filesystem::create_directory(dir + "/" + folders);
  }
  std::string fits =
      folders + std::string(999 - (dir.size() + 1 + folders.size()) - 4, 'm') + ".obj";
  ASSERT_EQ(dir.size() + 1 + fits.size(), 999u);
  write(fits, kTriangle);
  ObjModel m;
  EXPECT_TRUE(load(m, dir, fits));
  EXPECT_EQ(m.face_count, 1);
  // One character more: cut to fit, the path would name that same file.
  std::string too_long = fits + "x";
  EXPECT_FALSE(load(m, dir, too_long));
  EXPECT_EQ(err_, "File " + dir + "/" + too_long + " could not be opened!\n");
  EXPECT_EQ(out_, "");
  expect_empty(m);
}

TEST(ObjJoinPath, BuildsDirectorySlashNameOrRefuses) {
  char out[8];
  EXPECT_TRUE(join_path(out, sizeof out, ".", "abcde", 5));  // 7 characters + NUL
  EXPECT_STREQ(out, "./abcde");
  EXPECT_FALSE(join_path(out, sizeof out, ".", "abcdef", 6));
  EXPECT_STREQ(out, "");
  EXPECT_FALSE(join_path(out, sizeof out, ".", "", 0));
  EXPECT_FALSE(join_path(out, sizeof out, ".", "a\0b", 3));      // would cut the name
  EXPECT_TRUE(join_path(out, sizeof out, "dir", "abc.png", 3));  // length counts
  EXPECT_STREQ(out, "dir/abc");
}

TEST_F(ObjLoad, DefaultSphereLoadsWhole) {
  ObjModel m;
  EXPECT_TRUE(load(m, source_path("samples"), "sphere.obj"));
  EXPECT_EQ(out_.substr(0, out_.find("File length")),
            "Found vertices: 266 325 266\nFound faces: 288\n");
  EXPECT_EQ(err_, "");
  EXPECT_EQ(m.vertex_count, 266);
  EXPECT_EQ(m.face_count, 288);  // every face stored
  EXPECT_EQ(textures_asked, std::vector<std::string>{source_path("samples") + "/sphere.png"});
  EXPECT_TRUE(obj_model_is_consistent(m, ObjCounts{266, 325, 266, 288}));
  int triangles = 0;
  for (int i = 0; i < m.face_count; ++i) triangles += m.face_is_triangle[i];
  EXPECT_EQ(triangles, 48);  // the two caps of 24
  for (int i = 0; i < m.normal_count; ++i) {
    const float* n = m.normals + 3 * i;
    EXPECT_NEAR(std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]), 1.0, 2e-6) << i;
  }
}

}  // namespace

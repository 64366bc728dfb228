// The model subsystem on a real OpenGL context: draw_obj_model through the
// real GL functions, the OBJ File brush's light and placement as OpenGL
// reports them, and the default sphere loaded with its texture through DevIL.
// Feedback mode shows what a real draw sent, after transformation.
#include <GL/gl.h>
#include <IL/il.h>
#include <IL/ilu.h>
#include <IL/ilut.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/state.h"
#include "image/picture_file.h"
#include "model/obj_brush.h"
#include "model/obj_load.h"
#include "model/obj_model.h"
#include "model/obj_parse.h"
#include "tests/support/gl_window.h"
#include "tests/support/test_files.h"

namespace {

// DevIL ready for OpenGL, and models taking their textures from it, as the
// program sets them up at start-up.
void use_devil_textures() {
  ilInit();
  iluInit();
  ilutRenderer(ILUT_OPENGL);
  obj_texture_loader = load_picture_texture;
  obj_texture_releaser = release_picture_texture;
}

constexpr int kCanvasW = 400, kCanvasH = 300;

// The canvas as the program sets it up: one unit per pixel, y up, depth
// 0 .. -1000, identity modelview.
void canvas_projection() {
  gl_test_window(kCanvasW, kCanvasH);
  glViewport(0, 0, kCanvasW, kCanvasH);
  glMatrixMode(GL_PROJECTION);
  glLoadIdentity();
  glOrtho(0, kCanvasW, 0, kCanvasH, 0, 1000);
  glMatrixMode(GL_MODELVIEW);
  glLoadIdentity();
}

// One vertex as feedback reports it: window position, depth 0..1, colour and
// texture coordinate.
struct FeedbackVertex {
  float x, y, z;
  float rgba[4];
  float stpq[4];
};
struct Feedback {
  int polygons = 0;
  std::vector<FeedbackVertex> vertices;
};

template <typename Draw>
Feedback feedback(Draw draw) {
  std::vector<GLfloat> buffer(1 << 18);
  glFeedbackBuffer(static_cast<GLsizei>(buffer.size()), GL_3D_COLOR_TEXTURE, buffer.data());
  glRenderMode(GL_FEEDBACK);
  draw();
  GLint used = glRenderMode(GL_RENDER);
  Feedback result;
  EXPECT_GE(used, 0) << "feedback buffer overflow";
  for (GLint i = 0; i < used;) {
    GLint token = static_cast<GLint>(buffer[i++]);
    EXPECT_EQ(token, GL_POLYGON_TOKEN);
    if (token != GL_POLYGON_TOKEN) break;
    int count = static_cast<int>(buffer[i++]);
    ++result.polygons;
    for (int k = 0; k < count; ++k, i += 11) {
      FeedbackVertex v;
      std::memcpy(&v, &buffer[i], sizeof v);
      result.vertices.push_back(v);
    }
  }
  return result;
}

// A model parsed from OBJ text (no material library).
std::unique_ptr<ObjModel> model_from(const std::string& text) {
  auto model = std::make_unique<ObjModel>();
  ObjCounts counts = count_obj_lines(text.data(), text.data() + text.size());
  EXPECT_TRUE(allocate_obj_arrays(*model, counts));
  parse_obj_lines(text.data(), text.data() + text.size(), *model, counts, nullptr, nullptr);
  return model;
}

// A triangle and a quad in canvas pixels, texture coordinates chosen so
// that mirroring shows.
const std::string kTwoFaces =
    "v 10 10 -5\nv 60 10 -5\nv 10 60 -5\n"
    "v 100 100 -500\nv 150 100 -500\nv 150 150 -500\nv 100 150 -500\n"
    "vt 0.25 0.25\nvt 0.75 0.5\nvt 0 1\nvn 0 0 1\n"
    "f 1/1/1 2/2/1 3/3/1\n"
    "f 4/1/1 5/2/1 6/3/1 7/1/1\n";

bool near(float a, float b) { return std::abs(a - b) < 1e-3f; }

// Whether feedback holds a vertex at window (x, y), depth z, with texture
// coordinate (s, t).
bool has_vertex(const Feedback& f, float x, float y, float z, float s, float t) {
  for (const FeedbackVertex& v : f.vertices) {
    if (near(v.x, x) && near(v.y, y) && near(v.z, z) && near(v.stpq[0], s) && near(v.stpq[1], t)) {
      return true;
    }
  }
  return false;
}

TEST(ObjDrawGl, RealCallsDrawEveryFaceWithMirroredTextureCoordinates) {
  canvas_projection();
  auto model = model_from(kTwoFaces);
  ASSERT_EQ(model->face_count, 2);
  Feedback f = feedback([&] { model->draw_obj_model(); });
  EXPECT_GE(f.polygons, 2);  // a quad may come back as two triangles
  // Depth: -z / 1000 with this projection.
  EXPECT_TRUE(has_vertex(f, 10, 10, 0.005f, 0.25f, -0.25f));
  EXPECT_TRUE(has_vertex(f, 60, 10, 0.005f, 0.75f, -0.5f));
  EXPECT_TRUE(has_vertex(f, 10, 60, 0.005f, 0.0f, -1.0f));
  EXPECT_TRUE(has_vertex(f, 100, 100, 0.5f, 0.25f, -0.25f));
  EXPECT_TRUE(has_vertex(f, 150, 100, 0.5f, 0.75f, -0.5f));
  EXPECT_TRUE(has_vertex(f, 150, 150, 0.5f, 0.0f, -1.0f));
  EXPECT_TRUE(has_vertex(f, 100, 150, 0.5f, 0.25f, -0.25f));
  for (const FeedbackVertex& v : f.vertices) {
    EXPECT_TRUE(near(v.x, 10) || near(v.x, 60) || near(v.x, 100) || near(v.x, 150)) << v.x;
  }

  model->tex_offset_u = 0.5f;
  model->tex_offset_v = 0.25f;
  f = feedback([&] { model->draw_obj_model(); });
  EXPECT_TRUE(has_vertex(f, 10, 10, 0.005f, 0.75f, 0.0f));
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST(ObjDrawGl, BindsItsTextureOnlyWhenItHasOne) {
  canvas_projection();
  GLuint textures[2];
  glGenTextures(2, textures);
  glBindTexture(GL_TEXTURE_2D, textures[0]);
  auto model = model_from(kTwoFaces);

  model->draw_obj_model();  // texture 0
  GLint bound = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  EXPECT_EQ(GLuint(bound), textures[0]);

  model->texture = textures[1];
  model->draw_obj_model();
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  EXPECT_EQ(GLuint(bound), textures[1]);     // left bound afterwards
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));  // texturing untouched

  // Without faces: still binds, draws nothing.
  auto empty = model_from("v 1 2 3\n");
  empty->texture = textures[0];
  Feedback f = feedback([&] { empty->draw_obj_model(); });
  EXPECT_EQ(f.polygons, 0);
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  EXPECT_EQ(GLuint(bound), textures[0]);
  empty->texture = 0;
  glDeleteTextures(2, textures);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST(ObjDrawGl, DefaultSphereLoadsWithItsTextureThroughDevil) {
  gl_test_window(kCanvasW, kCanvasH);
  use_devil_textures();
  ObjModel sphere;
  testing::internal::CaptureStdout();
  ASSERT_TRUE(sphere.load_obj_model(source_path("samples").c_str(), "sphere.obj"));
  std::fflush(stdout);
  testing::internal::GetCapturedStdout();
  ASSERT_NE(sphere.texture, 0u);
  EXPECT_TRUE(glIsTexture(sphere.texture));
  GLint bound = 0, width = 0, height = 0;
  glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
  glBindTexture(GL_TEXTURE_2D, sphere.texture);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &width);
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &height);
  glBindTexture(GL_TEXTURE_2D, GLuint(bound));
  EXPECT_EQ(width, 64);
  EXPECT_EQ(height, 32);

  // A texture DevIL cannot read gives 0, and the model loads all the same.
  TempDir dir;
  ASSERT_TRUE(write_file(dir.file("m.obj"),
                         "mtllib m.mtl\nv 0 0 0\nvt 0 0\nvn 0 0 1\nf 1/1/1 1/1/1 1/1/1\n"));
  ASSERT_TRUE(write_file(dir.file("m.mtl"), "map_Kd nothing.png\n"));
  ObjModel plain;
  testing::internal::CaptureStdout();
  EXPECT_TRUE(plain.load_obj_model(dir.path().c_str(), "m.obj"));
  std::fflush(stdout);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(plain.texture, 0u);
  EXPECT_EQ(plain.face_count, 1);
}

TEST(ObjDrawGl, ReplacedTexturesAreNoLongerTextures) {
  gl_test_window(kCanvasW, kCanvasH);
  use_devil_textures();
  // Two libraries, each with a texture of its own: only the second's is
  // made. Loading again replaces it.
  TempDir dir;
  const std::string picture = read_file(source_path("samples/sphere.png"));
  ASSERT_TRUE(write_file(dir.file("a.png"), picture));
  ASSERT_TRUE(write_file(dir.file("b.png"), picture));
  ASSERT_TRUE(write_file(dir.file("a.mtl"), "map_Kd a.png\n"));
  ASSERT_TRUE(write_file(dir.file("b.mtl"), "map_Kd b.png\n"));
  ASSERT_TRUE(write_file(dir.file("m.obj"), "mtllib a.mtl\nmtllib b.mtl\n" + kTwoFaces));
  static std::vector<uint32_t> made;
  made.clear();
  ObjTextureLoader saved = obj_texture_loader;
  obj_texture_loader = [](const char* path) {
    made.push_back(load_picture_texture(path));
    return made.back();
  };
  auto model = std::make_unique<ObjModel>();
  testing::internal::CaptureStdout();
  bool loaded = model->load_obj_model(dir.path().c_str(), "m.obj");
  EXPECT_EQ(made.size(), 1u);
  EXPECT_TRUE(made.size() == 1 && glIsTexture(made[0]));
  loaded &= model->load_obj_model(dir.path().c_str(), "m.obj");
  std::fflush(stdout);
  testing::internal::GetCapturedStdout();
  obj_texture_loader = saved;
  ASSERT_TRUE(loaded);
  ASSERT_EQ(made.size(), 2u);
  ASSERT_NE(made[0], 0u);
  EXPECT_EQ(model->texture, made[1]);
  EXPECT_FALSE(glIsTexture(made[0]));
  EXPECT_TRUE(glIsTexture(made[1]));
  // The program deletes a model that a new one replaces.
  model.reset();
  EXPECT_FALSE(glIsTexture(made[1]));
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// --- the OBJ File brush ----------------------------------------------------

// One unit triangle along the model's axes: after the brush's turn its x
// stays x, its y points at the viewer and its z points down the canvas.
const std::string kAxes =
    "v 1 0 0\nv 0 1 0\nv 0 0 1\nvt 0.25 0.25\nvn 0 1 0\nf 1/1/1 2/1/1 3/1/1\n";

// A stroke as the stroke painter makes it: the stroke's frame pushed and
// moved to the canvas point, turned when edges are followed, the brush, and
// the frame popped. `inside` runs before the pop, with the brush's matrix.
template <typename Inside>
void stroke(const ObjModel& model, float r, float g, float b, float s, int canvas_x, int canvas_y,
            float turn_degrees, Inside inside) {
  int x = canvas_x, y = vp_h - canvas_y;  // window pixels, y down
  glPushMatrix();
  glTranslatef(float(x), float(vp_h - y), -10.0f);
  if (turn_degrees != 0.0f) glRotatef(turn_degrees, 0, 0, 1);
  paint_obj_brush(model, r, g, b, s, x, y);
  inside();
  glPopMatrix();
}
void stroke(const ObjModel& model, float r, float g, float b, float s, int canvas_x, int canvas_y,
            float turn_degrees = 0.0f) {
  stroke(model, r, g, b, s, canvas_x, canvas_y, turn_degrees, [] {});
}

class ObjBrushGl : public ::testing::Test {
 protected:
  void SetUp() override {
    canvas_projection();
    // The canvas keeps texturing off (DevIL's set-up turns it on).
    glDisable(GL_TEXTURE_2D);
    vp_w = kCanvasW;
    vp_h = kCanvasH;
    light_x = 300;
    light_y = 200;
    glDisable(GL_DEPTH_TEST);
  }
};

std::vector<float> light0(GLenum what, int n = 4) {
  std::vector<float> v(4, -99.0f);
  glGetLightfv(GL_LIGHT0, what, v.data());
  v.resize(n);
  return v;
}

TEST_F(ObjBrushGl, LightIsGivenInTheStrokesFrame) {
  auto model = model_from(kAxes);
  ObjBrushLight light = obj_brush_light(1, 1, 1, 10, 100, kCanvasH - 100, 300, 200, kCanvasH);
  EXPECT_EQ(std::vector<float>(light.position, light.position + 4),
            (std::vector<float>{200, 100, 0, 1}));

  // OpenGL keeps the position in eye space: the stroke's origin (100, 100,
  // -10) plus (200, 100, 0), i.e. the light's canvas point at depth -10.
  stroke(*model, 1, 0.5f, 0.25f, 10, 100, 100);
  EXPECT_EQ(light0(GL_POSITION), (std::vector<float>{300, 200, -10, 1}));

  // With the frame turned by 90 degrees the light turns with the stroke.
  stroke(*model, 1, 0.5f, 0.25f, 10, 100, 100, 90.0f);
  std::vector<float> p = light0(GL_POSITION);
  EXPECT_NEAR(p[0], 0.0f, 1e-3);
  EXPECT_NEAR(p[1], 300.0f, 1e-3);
  EXPECT_NEAR(p[2], -10.0f, 1e-3);
  EXPECT_EQ(p[3], 1.0f);
}

TEST_F(ObjBrushGl, SizeSetsAttenuationScaleAndDepth) {
  auto model = model_from(kAxes);
  for (float s : {10.0f, 1.0f, 2.5f}) {
    SCOPED_TRACE(s);
    float matrix[16];
    stroke(*model, 1, 1, 1, s, 100, 100, 0.0f, [&] { glGetFloatv(GL_MODELVIEW_MATRIX, matrix); });
    EXPECT_EQ(light0(GL_CONSTANT_ATTENUATION, 1)[0], float(1.0 / double(s)));
    // Columns: model x -> x, model y -> towards the viewer, model z -> down,
    // each s long; the origin s behind the stroke's origin.
    const float expected[16] = {s, 0, 0, 0, 0, 0, s, 0, 0, -s, 0, 0, 100, 100, -10 - s, 1};
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(matrix[i], expected[i], 1e-5) << i;
  }

  // And the real draw lands there: size 10 puts the model's unit at 10 pixels.
  Feedback f = feedback([&] { stroke(*model, 1, 1, 1, 10, 100, 100); });
  ASSERT_EQ(f.vertices.size(), 3u);
  const float want[3][3] = {{110, 100, 0.020f}, {100, 100, 0.010f}, {100, 90, 0.020f}};
  for (int k = 0; k < 3; ++k) {
    EXPECT_NEAR(f.vertices[k].x, want[k][0], 1e-3) << k;
    EXPECT_NEAR(f.vertices[k].y, want[k][1], 1e-3) << k;
    EXPECT_NEAR(f.vertices[k].z, want[k][2], 1e-5) << k;
    EXPECT_NEAR(f.vertices[k].stpq[0], 0.25f, 1e-6);
    EXPECT_NEAR(f.vertices[k].stpq[1], -0.25f, 1e-6);
  }
}

TEST_F(ObjBrushGl, LightingIsOffAfterwardsAndTheLightKeepsItsValues) {
  auto model = model_from(kAxes);
  GLint depth_before = 0, depth_inside = 0, depth_after = 0;
  glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth_before);
  stroke(*model, 0.75f, 0.5f, 0.25f, 4, 50, 60, 0.0f,
         [&] { glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth_inside); });
  glGetIntegerv(GL_MODELVIEW_STACK_DEPTH, &depth_after);
  EXPECT_EQ(depth_inside, depth_before + 1);  // only the stroke's own push
  EXPECT_EQ(depth_after, depth_before);

  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
  EXPECT_FALSE(glIsEnabled(GL_LIGHT0));
  const std::vector<float> colour{0.75f, 0.5f, 0.25f, 1.0f};
  EXPECT_EQ(light0(GL_DIFFUSE), colour);
  EXPECT_EQ(light0(GL_SPECULAR), colour);
  EXPECT_EQ(light0(GL_AMBIENT), (std::vector<float>{0, 0, 0, 1}));  // not set
  EXPECT_EQ(light0(GL_CONSTANT_ATTENUATION, 1)[0], 0.25f);
  EXPECT_EQ(light0(GL_POSITION), (std::vector<float>{300, 200, -10, 1}));
  std::vector<float> ambient(4);
  glGetFloatv(GL_LIGHT_MODEL_AMBIENT, ambient.data());
  EXPECT_EQ(ambient, colour);
  std::vector<float> current(4);
  glGetFloatv(GL_CURRENT_COLOR, current.data());
  EXPECT_EQ(current, colour);
  // No material, no colour material, no normalising, no texturing.
  std::vector<float> diffuse(4);
  glGetMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse.data());
  EXPECT_EQ(diffuse, (std::vector<float>{0.8f, 0.8f, 0.8f, 1.0f}));
  EXPECT_FALSE(glIsEnabled(GL_COLOR_MATERIAL));
  EXPECT_FALSE(glIsEnabled(GL_NORMALIZE));
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(ObjBrushGl, SphereShowsLitInTheStrokeColour) {
  ObjTextureLoader saved = obj_texture_loader;
  obj_texture_loader = [](const char*) -> uint32_t { return 0; };
  ObjModel sphere;
  testing::internal::CaptureStdout();
  bool loaded = sphere.load_obj_model(source_path("samples").c_str(), "sphere.obj");
  std::fflush(stdout);
  testing::internal::GetCapturedStdout();
  obj_texture_loader = saved;
  ASSERT_TRUE(loaded);

  glDrawBuffer(GL_BACK);
  glReadBuffer(GL_BACK);
  glClearColor(0, 0, 0, 1);
  glClear(GL_COLOR_BUFFER_BIT);
  // The light to the right of the stroke, in the plane of the stroke's
  // origin (which the sphere's front touches).
  light_x = 300;
  light_y = 150;
  stroke(sphere, 1.0f, 0.0f, 0.0f, 20, 200, 150);  // a red light, sphere radius 20
  glFinish();
  unsigned char lit[4], shaded[4], outside[4];
  glReadPixels(200 + 15, 150, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, lit);
  glReadPixels(200 - 15, 150, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, shaded);
  glReadPixels(200 + 25, 150, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, outside);
  // Red only: the light's colour, not a material's; the side facing the light
  // brighter than the side away from it, which has the ambient part only.
  EXPECT_GT(lit[0], 150);
  EXPECT_EQ(lit[1], 0);
  EXPECT_EQ(lit[2], 0);
  EXPECT_GT(shaded[0], 0);
  EXPECT_LT(shaded[0], lit[0] - 60);
  EXPECT_EQ(shaded[1], 0);
  EXPECT_EQ(outside[0], 0);  // beyond the radius: untouched
  glClearColor(1, 1, 1, 1);
}

TEST_F(ObjBrushGl, ModelWithoutFacesDrawsNothing) {
  auto empty = model_from("v 1 1 1\n");
  Feedback f = feedback([&] { stroke(*empty, 1, 1, 1, 10, 100, 100); });
  EXPECT_EQ(f.polygons, 0);
  EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
}

}  // namespace

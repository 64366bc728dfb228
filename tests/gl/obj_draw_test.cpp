// What draw_obj_model sends to OpenGL, seen through its call layer with
// recorders in place of the GL functions (no context needed).
#include "model/obj_draw.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "model/obj_model.h"
#include "model/obj_parse.h"

namespace {

struct Call {
  std::string what;  // "bind", "begin", "end", "normal", "texcoord", "vertex"
  double a = 0, b = 0, c = 0;
  bool operator==(const Call& o) const {
    return what == o.what && a == o.a && b == o.b && c == o.c;
  }
};
std::ostream& operator<<(std::ostream& os, const Call& c) {
  return os << c.what << "(" << c.a << ", " << c.b << ", " << c.c << ")";
}

std::vector<Call> calls;
// The float arguments exactly as they arrived.
std::vector<float> texcoord_args;

void bind(GLenum target, GLuint texture) {
  calls.push_back({"bind", double(target), double(texture)});
}
void begin(GLenum mode) { calls.push_back({"begin", double(mode)}); }
void end() { calls.push_back({"end"}); }
void normal(GLfloat x, GLfloat y, GLfloat z) { calls.push_back({"normal", x, y, z}); }
void texcoord(GLfloat s, GLfloat t) {
  calls.push_back({"texcoord", s, t});
  texcoord_args.push_back(s);
  texcoord_args.push_back(t);
}
void vertex(GLdouble x, GLdouble y, GLdouble z) { calls.push_back({"vertex", x, y, z}); }

class ObjDraw : public ::testing::Test {
 protected:
  void SetUp() override {
    obj_draw_calls = ObjDrawCalls{bind, begin, end, normal, texcoord, vertex};
    calls.clear();
    texcoord_args.clear();
  }
  void TearDown() override { obj_draw_calls = obj_gl_calls(); }

  void load(const std::string& text) {
    std::unique_ptr<char[]> bytes(new char[text.size()]);
    std::memcpy(bytes.get(), text.data(), text.size());
    ObjCounts counts = count_obj_lines(bytes.get(), bytes.get() + text.size());
    ASSERT_TRUE(allocate_obj_arrays(model_, counts));
    parse_obj_lines(bytes.get(), bytes.get() + text.size(), model_, counts, nullptr, nullptr);
  }
  ObjModel model_;
};

const std::string kMesh =
    "v 1 2 3\nv 4 5 6\nv 7 8 9\nv 0.1 0.2 0.3\n"
    "vt 0.25 0.25\nvt 0.5 0.75\nvt 1 0\nvt 0 1\n"
    "vn 0 0 1\nvn 0 1 0\nvn 1 0 0\nvn -1 0 0\n";

TEST_F(ObjDraw, EveryFaceInItsOwnPrimitiveInFileOrder) {
  load(kMesh +
       "f 1/1/2 2/2/3 3/3/4\n"
       "f 4/4/1 3/3/2 2/2/3 1/1/4\n"
       "f 3/2/1 2/1/1 1/2/1\n");
  model_.draw_obj_model();
  const double tri = GL_TRIANGLES, quad = GL_QUADS;
  std::vector<Call> expected = {
      {"begin", tri},
      {"normal", 0, 1, 0},
      {"texcoord", 0.25, -0.25},
      {"vertex", 1, 2, 3},
      {"normal", 1, 0, 0},
      {"texcoord", 0.5, -0.75},
      {"vertex", 4, 5, 6},
      {"normal", -1, 0, 0},
      {"texcoord", 1, 0},
      {"vertex", 7, 8, 9},
      {"end"},
      {"begin", quad},
      {"normal", 0, 0, 1},
      {"texcoord", 0, -1},
      {"vertex", 0.1f, 0.2f, 0.3f},
      {"normal", 0, 1, 0},
      {"texcoord", 1, 0},
      {"vertex", 7, 8, 9},
      {"normal", 1, 0, 0},
      {"texcoord", 0.5, -0.75},
      {"vertex", 4, 5, 6},
      {"normal", -1, 0, 0},
      {"texcoord", 0.25, -0.25},
      {"vertex", 1, 2, 3},
      {"end"},
      {"begin", tri},
      {"normal", 0, 0, 1},
      {"texcoord", 0.5, -0.75},
      {"vertex", 7, 8, 9},
      {"normal", 0, 0, 1},
      {"texcoord", 0.25, -0.25},
      {"vertex", 4, 5, 6},
      {"normal", 0, 0, 1},
      {"texcoord", 0.5, -0.75},
      {"vertex", 1, 2, 3},
      {"end"},
  };
  EXPECT_EQ(calls, expected);
  // The vertex is the stored float widened, not the decimal read again.
  EXPECT_EQ(calls[14].a, double(0.1f));
  EXPECT_NE(calls[14].a, 0.1);
}

TEST_F(ObjDraw, TextureCoordinatesAreShiftedAndMirroredInFloat) {
  load(kMesh + "f 1/1/1 2/1/1 3/1/1\n");
  model_.draw_obj_model();
  EXPECT_EQ(texcoord_args[0], 0.25f);
  EXPECT_EQ(texcoord_args[1], -0.25f);

  calls.clear();
  texcoord_args.clear();
  model_.tex_offset_u = 0.5f;
  model_.tex_offset_v = 0.25f;
  model_.draw_obj_model();
  EXPECT_EQ(texcoord_args[0], 0.75f);
  EXPECT_EQ(texcoord_args[1], 0.0f);

  // Inexact sums: the stored floats added, not their decimals.
  texcoord_args.clear();
  model_.texcoords[0] = 0.1f;
  model_.texcoords[1] = 0.7f;
  model_.tex_offset_u = 0.2f;
  model_.tex_offset_v = 0.3f;
  model_.draw_obj_model();
  EXPECT_EQ(texcoord_args[0], 0.1f + 0.2f);
  EXPECT_EQ(texcoord_args[1], 0.3f - 0.7f);
}

TEST_F(ObjDraw, TextureIsBoundOnlyWhenThereIsOne) {
  load(kMesh + "f 1/1/1 2/1/1 3/1/1\n");
  model_.draw_obj_model();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.front().what, "begin");  // texture 0: no binding at all

  calls.clear();
  model_.texture = 9;
  model_.draw_obj_model();
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.front(), (Call{"bind", double(GL_TEXTURE_2D), 9}));
  EXPECT_EQ(calls.size(), 1u + 1 + 9 + 1);
}

TEST_F(ObjDraw, ModelWithoutFacesIssuesNoPrimitive) {
  load(kMesh);
  model_.draw_obj_model();
  EXPECT_TRUE(calls.empty());
  model_.texture = 5;
  model_.draw_obj_model();
  EXPECT_EQ(calls, (std::vector<Call>{{"bind", double(GL_TEXTURE_2D), 5}}));

  ObjModel never_loaded;
  calls.clear();
  never_loaded.draw_obj_model();
  EXPECT_TRUE(calls.empty());
}

}  // namespace

// Loading a picture and capturing it as the source image, on a real window.
#include "image/source_image.h"

#include <GL/freeglut.h>
#include <IL/il.h>
#include <IL/ilut.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/canvas_buffers.h"
#include "app/panel.h"
#include "app/state.h"
#include "app/window_callbacks.h"
#include "image/edge_map.h"
#include "image/picture_file.h"
#include "paint/stroke.h"
#include "tests/support/app_harness.h"
#include "tests/support/rgb_image.h"

namespace {

// A lopsided 7 x 5 picture: every pixel its own colour, so a flip, a
// mirror or a red/blue swap shows at once. Rows top first, as in the file.
std::vector<unsigned char> test_picture() {
  std::vector<unsigned char> rgb;
  for (int row = 0; row < 5; ++row)
    for (int col = 0; col < 7; ++col) {
      rgb.push_back(static_cast<unsigned char>(30 + col * 30));
      rgb.push_back(static_cast<unsigned char>(20 + row * 50));
      rgb.push_back(static_cast<unsigned char>(col == 0 && row == 0 ? 250 : 10));
    }
  return rgb;
}

// The colour of the source pixel at canvas point (x, y), y up.
std::vector<unsigned char> source_at(int x, int y) {
  const unsigned char* p = source_rgb + 3 * (static_cast<size_t>(y) * source_width + x);
  return {p[0], p[1], p[2]};
}

void expect_near(const std::vector<unsigned char>& got, const std::vector<unsigned char>& want,
                 int tol, const std::string& where) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i)
    EXPECT_NEAR(got[i], want[i], tol) << where << " channel " << i;
}

class SourceImage : public ::testing::Test {
 protected:
  void SetUp() override {
    write_ppm(app.dir().file("pic.ppm"), RgbImage{7, 5, test_picture()});
    image_filename_text->set_text("pic.ppm");
  }
  AppHarness app;
};

}  // namespace

TEST_F(SourceImage, PictureLandsUprightStretchedOverTheCanvas) {
  testing::internal::CaptureStdout();
  control_cb(LOAD_IMAGE_ID);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Image pic.ppm loaded.\n");
  ASSERT_NE(image_texture, 0u);
  ASSERT_NE(source_rgb, nullptr);
  EXPECT_FALSE(recapture_pending);
  EXPECT_EQ(source_width, vp_w);
  EXPECT_EQ(source_height, vp_h);

  // The centre of each picture pixel's stretch of the canvas holds that
  // pixel's colour; the picture's top row is the canvas's top.
  const std::vector<unsigned char> pic = test_picture();
  for (int row = 0; row < 5; ++row)
    for (int col = 0; col < 7; ++col) {
      int x = static_cast<int>((col + 0.5) * vp_w / 7.0);
      int y = static_cast<int>((4 - row + 0.5) * vp_h / 5.0);  // canvas y up
      const unsigned char* p = &pic[3 * (row * 7 + col)];
      expect_near(source_at(x, y), {p[0], p[1], p[2]}, 2,
                  "picture pixel " + std::to_string(col) + "," + std::to_string(row));
    }

  // Both buffers are white again, the front selected for drawing.
  EXPECT_TRUE(app.all_white(CANVAS_BACK));
  EXPECT_TRUE(app.all_white(CANVAS_FRONT));
  EXPECT_EQ(canvas_selected_draw_buffer(), CANVAS_FRONT);
  GLfloat colour[4];
  glGetFloatv(GL_CURRENT_COLOR, colour);
  EXPECT_EQ(colour[0], 1.0f);
  EXPECT_EQ(colour[1], 1.0f);
  EXPECT_EQ(colour[2], 1.0f);
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
}

TEST_F(SourceImage, RowsLieBackToBackOnAnOddWidthCanvas) {
  app.resize(glui->get_panel_width() + 597, 401);
  ASSERT_EQ(vp_w, 597);
  control_cb(LOAD_IMAGE_ID);
  ASSERT_EQ(source_width, 597);
  ASSERT_EQ(source_height, 401);
  // Draw the picture again and read it with rows padded to 4 bytes (1792
  // a row): row y of source_rgb must be its first 1791 bytes, at 1791 * y.
  canvas_draw_buffer(CANVAS_BACK);
  canvas_clear();
  glColor3f(1, 1, 1);
  glEnable(GL_TEXTURE_2D);
  glBindTexture(GL_TEXTURE_2D, image_texture);
  glBegin(GL_QUADS);
  glTexCoord2f(0, 0);
  glVertex2f(0, 0);
  glTexCoord2f(1, 0);
  glVertex2f(597, 0);
  glTexCoord2f(1, 1);
  glVertex2f(597, 401);
  glTexCoord2f(0, 1);
  glVertex2f(0, 401);
  glEnd();
  glDisable(GL_TEXTURE_2D);
  std::vector<unsigned char> padded(1792 * 401);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  canvas_read_buffer(CANVAS_BACK);
  glReadPixels(0, 0, 597, 401, GL_RGB, GL_UNSIGNED_BYTE, padded.data());
  for (int y = 0; y < 401; ++y)
    ASSERT_EQ(std::memcmp(source_rgb + 1791 * y, padded.data() + 1792 * y, 1791), 0) << "row " << y;
}

TEST_F(SourceImage, AMissingPictureIsReportedReleasesTheLastAndLeavesAWhiteSource) {
  control_cb(LOAD_IMAGE_ID);  // a real picture first
  const GLuint replaced = image_texture;
  ASSERT_NE(replaced, 0u);
  image_filename_text->set_text("no such picture.png");
  testing::internal::CaptureStdout();
  control_cb(LOAD_IMAGE_ID);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Could not load image no such picture.png!\n");
  EXPECT_EQ(image_texture, 0u);
  EXPECT_FALSE(glIsTexture(replaced)) << "the replaced picture's texture is kept";
  ASSERT_NE(source_rgb, nullptr);
  for (size_t i = 0; i < static_cast<size_t>(source_width) * source_height * 3; ++i)
    ASSERT_EQ(source_rgb[i], 255) << "byte " << i;
  EXPECT_FALSE(recapture_pending);
}

TEST_F(SourceImage, EveryLoadCapturesAgainAndBlanksThePainting) {
  control_cb(LOAD_IMAGE_ID);
  canvas_draw_buffer(CANVAS_BACK);
  glColor3f(0, 0, 1);
  glRecti(0, 0, 50, 50);
  app.display();
  ASSERT_FALSE(app.all_white(CANVAS_FRONT));
  // A capture replaces the arrays; change the picture on disk to see it.
  std::vector<unsigned char> grey(7 * 5 * 3, 128);
  write_ppm(app.dir().file("pic.ppm"), RgbImage{7, 5, grey});
  control_cb(LOAD_IMAGE_ID);
  EXPECT_TRUE(app.all_white(CANVAS_BACK));
  EXPECT_TRUE(app.all_white(CANVAS_FRONT));
  expect_near(source_at(vp_w / 2, vp_h / 2), {128, 128, 128}, 1, "centre");
}

TEST_F(SourceImage, TheEdgeMapFollowsTheCaptureAndTheThresholdOnlyAtTheNextOne) {
  // The picture's steps are smoothed over the stretch, so only the lowest
  // threshold finds many edges.
  gradient_threshold_spinner->set_float_val(0.0f);
  control_cb(LOAD_IMAGE_ID);
  const size_t cells = static_cast<size_t>(source_width) * source_height;
  auto expected_mask = [&](float threshold) {
    std::vector<float> gx(cells), gy(cells);
    std::vector<unsigned char> mask(cells);
    compute_edge_map_arrays(source_rgb, source_width, source_height, threshold, gx.data(),
                            gy.data(), mask.data());
    EXPECT_EQ(std::memcmp(gx.data(), grad_x, cells * sizeof(float)), 0);
    EXPECT_EQ(std::memcmp(gy.data(), grad_y, cells * sizeof(float)), 0);
    return mask;
  };
  std::vector<unsigned char> at0 = expected_mask(0.0f);
  EXPECT_EQ(std::memcmp(at0.data(), edge_mask, cells), 0);
  size_t edges0 = 0;
  for (unsigned char m : at0) edges0 += m;
  EXPECT_GT(edges0, 1000u);

  gradient_threshold_spinner->set_float_val(255.0f);
  EXPECT_EQ(std::memcmp(at0.data(), edge_mask, cells), 0);  // not before the next capture
  control_cb(LOAD_IMAGE_ID);
  std::vector<unsigned char> at255 = expected_mask(255.0f);
  EXPECT_EQ(std::memcmp(at255.data(), edge_mask, cells), 0);
  size_t edges255 = 0;
  for (unsigned char m : at255) edges255 += m;
  EXPECT_LT(edges255, edges0);
}

namespace {

// What drawing a texture can show of it: size, component bits, filtering,
// wrapping, then every texel as RGBA bytes, bottom row first.
std::vector<int> texture_seen(GLuint texture) {
  glBindTexture(GL_TEXTURE_2D, texture);
  std::vector<int> seen;
  for (GLenum level : {GL_TEXTURE_WIDTH, GL_TEXTURE_HEIGHT, GL_TEXTURE_RED_SIZE,
                       GL_TEXTURE_GREEN_SIZE, GL_TEXTURE_BLUE_SIZE, GL_TEXTURE_ALPHA_SIZE})
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, level, &seen.emplace_back());
  glGetTexLevelParameteriv(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH, &seen.emplace_back());
  for (GLenum parameter :
       {GL_TEXTURE_MIN_FILTER, GL_TEXTURE_MAG_FILTER, GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T})
    glGetTexParameteriv(GL_TEXTURE_2D, parameter, &seen.emplace_back());
  std::vector<unsigned char> texels(static_cast<size_t>(seen[0]) * seen[1] * 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
  seen.insert(seen.end(), texels.begin(), texels.end());
  return seen;
}

}  // namespace

// The texture of every kind of picture is the one DevIL's own road made
// (decoded and turned to RGBA by DevIL, made a texture by its GL layer):
// either row order, odd widths, grey, alpha, palettes, 16 bits a channel
// (with and without grey and alpha, the low bytes unlike the high ones),
// JPEG, and a picture wider than the renderer's textures, which is scaled
// down.
TEST_F(SourceImage, EveryKindOfPictureMakesTheTextureDevilsGlLayerMade) {
  const std::string pic = app.dir().file("pic.ppm");
  const std::string alpha = " -alpha set -channel A -fx i/w +channel";
  const std::string grey = " -colorspace Gray";
  const std::string deep = " -depth 16 -evaluate add 200";
  const std::pair<std::string, std::string> kinds[] = {
      {"top-first.ppm", ""},
      {"bgr-bottom-first.tga", ""},
      {"bgra.tga", alpha},
      {"PNG32:rgba.png", alpha},
      {"grey.png", grey},
      {"grey-alpha.png", grey + alpha + " -define png:color-type=4"},
      {"palette.gif", ""},
      {"photo.jpg", ""},
      {"png48:deep.png", deep},
      {"png64:deep-alpha.png", alpha + deep},
      {"grey16.png", grey + deep},
      {"grey-alpha16.png", grey + alpha + deep + " -define png:color-type=4"}};
  std::vector<std::string> made;
  for (const auto& [to, options] : kinds) {
    const size_t colon = to.find(':') + 1;  // 0 without a format prefix
    made.push_back(app.dir().file(to.substr(colon)));
    const std::string command =
        "convert " + pic + options + " " + to.substr(0, colon) + made.back();
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }
  GLint max_side = 0;
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max_side);
  RgbImage wide{max_side + 9, 3, {}};
  for (int i = 0; i < wide.width * wide.height * 3; ++i)
    wide.rgb.push_back(static_cast<unsigned char>(i * 37 % 251));
  ASSERT_TRUE(write_ppm(app.dir().file("wide.ppm"), wide));
  made.push_back(app.dir().file("wide.ppm"));

  for (const std::string& path : made) {
    ILuint image = 0;
    ilGenImages(1, &image);
    ilBindImage(image);
    ASSERT_TRUE(ilLoadImage(path.c_str()) && ilConvertImage(IL_RGBA, IL_UNSIGNED_BYTE)) << path;
    const GLuint devils = ilutGLBindTexImage();
    ilDeleteImages(1, &image);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 8);
    const GLuint ours = load_picture_texture(path.c_str());
    ASSERT_NE(ours, 0u) << path;
    GLint bound = 0, alignment = 0;  // left as they were: DevIL's texture bound
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    EXPECT_EQ(static_cast<GLuint>(bound), devils);
    EXPECT_EQ(alignment, 8);
    EXPECT_TRUE(texture_seen(ours) == texture_seen(devils)) << path;
    release_picture_texture(ours);
    release_picture_texture(devils);
  }
}

TEST_F(SourceImage, AReshapeWithAPictureLoadedCapturesAtTheNewSizeOnTheNextDrag) {
  control_cb(LOAD_IMAGE_ID);
  app.resize(glui->get_panel_width() + 333, 444);
  EXPECT_TRUE(recapture_pending);
  EXPECT_NE(source_width, 333);
  // A right click captures at once, the flag stays, the canvas white.
  mouse_cb(GLUT_RIGHT_BUTTON, GLUT_DOWN, 10, 10);
  EXPECT_EQ(source_width, 333);
  EXPECT_EQ(source_height, 444);
  EXPECT_TRUE(recapture_pending);
}

// A Load Image that GLUT handles right after a resize, before the display
// that follows it, still stretches the picture over the whole new canvas.
TEST_F(SourceImage, ALoadRightAfterAResizeCoversTheNewCanvas) {
  glutSetWindow(main_window);
  glutDisplayFunc([] {});                          // no display comes between the two
  app.resize(glui->get_panel_width() + 777, 666);  // larger than at start
  control_cb(LOAD_IMAGE_ID);
  ASSERT_EQ(source_width, 777);
  // The middle of the picture's top-right pixel's stretch (column 6, row 0).
  expect_near(source_at(static_cast<int>(6.5 * 777 / 7), static_cast<int>(4.5 * 666 / 5)),
              {210, 20, 10}, 2, "top right");
}

#if !defined(__SANITIZE_ADDRESS__)
#include <sys/resource.h>

// With too little memory for the arrays, the capture says so and leaves no
// source image: strokes then paint nothing, and nothing crashes. (Not in
// the sanitizer build, whose shadow memory needs the address space.)
TEST_F(SourceImage, ACaptureWithoutMemoryLeavesNoSourceImage) {
  control_cb(LOAD_IMAGE_ID);
  ASSERT_NE(source_rgb, nullptr);
  // Bigger than anything allocated so far, so freed memory cannot serve.
  app.resize(glui->get_panel_width() + 1800, 1400);  // a capture is now pending
  rlimit saved{};
  getrlimit(RLIMIT_AS, &saved);
  // Room for what the process holds now and a little more, but not for
  // the 28 MB the arrays of an 1800 x 1400 canvas take.
  std::FILE* maps = std::fopen("/proc/self/statm", "r");
  long pages = 0;
  ASSERT_EQ(std::fscanf(maps, "%ld", &pages), 1);
  std::fclose(maps);
  rlimit tight = saved;
  tight.rlim_cur = static_cast<rlim_t>(pages) * 4096 + 1024 * 1024;
  ASSERT_EQ(setrlimit(RLIMIT_AS, &tight), 0);
  testing::internal::CaptureStderr();
  mouse_cb(GLUT_RIGHT_BUTTON, GLUT_DOWN, 10, 10);  // captures
  std::string err = testing::internal::GetCapturedStderr();
  setrlimit(RLIMIT_AS, &saved);
  EXPECT_NE(err.find("Not enough memory for the source image of a 1800 x 1400 canvas."),
            std::string::npos)
      << err;
  EXPECT_EQ(source_rgb, nullptr);
  EXPECT_EQ(source_width, 0);
  EXPECT_TRUE(app.all_white(CANVAS_BACK));

  // Painting then draws nothing; the next capture with memory works again.
  painting = true;
  recapture_pending = false;
  paint_stroke(100, 100);
  EXPECT_TRUE(app.all_white(CANVAS_BACK));
  painting = false;
  control_cb(LOAD_IMAGE_ID);
  EXPECT_NE(source_rgb, nullptr);
  EXPECT_EQ(source_width, 1800);
}
#endif

// Pictures that cannot be loaded, as a user meets them: typed into the
// Image Filename field and loaded with the Load Image button. The program
// says so on the console, keeps running and keeps painting; a failed load
// still captures, so the painting is blanked and the strokes that follow are
// white (inside their black Blocks outline).
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>
#include <string>

#include "tests/support/rough_files.h"

namespace {

struct BadPicture {
  const char* test_name;
  const char* file_name;  // as typed into the field
  // Puts the file into the program's folder (nothing for a missing one).
  std::function<bool(const TempDir&)> make;
};

std::string sample(const std::string& name) { return read_file(source_path("samples/" + name)); }

const BadPicture kBadPictures[] = {
    {"Missing", "nothing_here.jpg", [](const TempDir&) { return true; }},
    {"ZeroBytes", "empty.jpg", [](const TempDir& d) { return write_file(d.file("empty.jpg"), ""); }},
    {"ZeroBytesNoExtension", "empty", [](const TempDir& d) { return write_file(d.file("empty"), ""); }},
    {"Folder", "pictures", [](const TempDir& d) { return mkdir(d.file("pictures").c_str(), 0755) == 0; }},
    {"FolderNamedJpg", "folder.jpg",
     [](const TempDir& d) { return mkdir(d.file("folder.jpg").c_str(), 0755) == 0; }},
    {"TextNamedJpg", "notes.jpg",
     [](const TempDir& d) {
       return write_file(d.file("notes.jpg"), "Shopping list:\nmilk\ncoffee beans\n");
     }},
    {"PngHeaderOnly", "header.png",
     [](const TempDir& d) { return write_file(d.file("header.png"), cut(sample("sphere.png"), 33)); }},
    {"PngCutInHalf", "half.png",
     [](const TempDir& d) {
       const std::string png = sample("sphere.png");
       return write_file(d.file("half.png"), cut(png, png.size() / 2));
     }},
    {"JpegHeaderOnly", "header.jpg",
     [](const TempDir& d) { return write_file(d.file("header.jpg"), cut(sample("image1.jpg"), 200)); }},
};

class BadPictureTest : public testing::TestWithParam<BadPicture> {};

}  // namespace

TEST_P(BadPictureTest, IsReportedBlanksThePaintingAndLeavesAWhiteSourceImage) {
  const BadPicture& bad = GetParam();
  Daubwork d;
  ASSERT_TRUE(bad.make(d.dir()));
  ASSERT_TRUE(single_block_strokes(d));
  // First a picture that loads: strokes take its colours.
  ASSERT_TRUE(d.click_and_wait("Load Image", "Image image1.jpg loaded."));
  e2e::Rgb inside;
  ASSERT_TRUE(paint_block(d, {80, 150}, &inside));
  EXPECT_FALSE(is_white(inside)) << inside;

  ASSERT_TRUE(d.set_text("Image Filename: ", bad.file_name));
  ASSERT_TRUE(d.click_and_wait("Load Image", std::string("Could not load image ") + bad.file_name + "!"));
  // The failed load still captured: the painting is gone ...
  EXPECT_TRUE(wait_for_white_canvas(d));
  // ... and the source image is white: strokes are white on white, inside
  // the black outline that Blocks always draws.
  ASSERT_TRUE(paint_block(d, {150, 300}, &inside));
  EXPECT_TRUE(is_white(inside)) << inside;
  EXPECT_TRUE(d.app().running());

  // A good picture loads again afterwards, and strokes take its colours.
  ASSERT_TRUE(d.set_text("Image Filename: ", "image1.jpg"));
  ASSERT_TRUE(d.click_and_wait("Load Image", "Image image1.jpg loaded."));
  ASSERT_TRUE(paint_block(d, {220, 450}, &inside));
  EXPECT_FALSE(is_white(inside)) << inside;
  EXPECT_EQ(d.app().errors(), "");
}

INSTANTIATE_TEST_SUITE_P(Rough, BadPictureTest, testing::ValuesIn(kBadPictures),
                         [](const testing::TestParamInfo<BadPicture>& info) {
                           return std::string(info.param.test_name);
                         });

// A JPEG cut off in its picture data. The image library decides whether
// what is left is a picture (DevIL 1.7.8 refuses it); either answer is
// fine as long as the program says which and the strokes agree with it.
TEST(RoughImage, AJpegCutOffHalfWayIsReportedAndPaintingGoesOn) {
  Daubwork d;
  const std::string jpeg = sample("image1.jpg");
  ASSERT_TRUE(write_file(d.dir().file("cut.jpg"), cut(jpeg, jpeg.size() / 2)));
  ASSERT_TRUE(single_block_strokes(d));
  ASSERT_TRUE(d.set_text("Image Filename: ", "cut.jpg"));
  const std::size_t from = d.app().line_count();
  d.click("Load Image");
  e2e::Found found;
  ASSERT_TRUE(d.app().wait_for_match("^(Image cut\\.jpg loaded\\.|Could not load image cut\\.jpg!)$", &found, from));
  const bool loaded = found.line == "Image cut.jpg loaded.";
  // The top of the picture (the wood, top-left) survived the cut.
  e2e::Rgb inside;
  ASSERT_TRUE(paint_block(d, {60, 60}, &inside));
  if (loaded)
    EXPECT_FALSE(is_white(inside)) << inside;
  else
    EXPECT_TRUE(is_white(inside)) << inside;
  EXPECT_TRUE(d.app().running());
}

// A picture much bigger than the canvas loads and is stretched over it:
// its left half paints red and its right half blue.
TEST(RoughImage, AnEightThousandPixelSquarePngLoadsAndIsStretchedOverTheCanvas) {
  Daubwork d;
  ASSERT_TRUE(write_file(d.dir().file("huge.png"),
                         two_colour_png(8000, 8000, {255, 0, 0}, {0, 0, 255})));
  ASSERT_TRUE(single_block_strokes(d));
  ASSERT_TRUE(d.set_text("Image Filename: ", "huge.png"));
  ASSERT_TRUE(d.click_and_wait("Load Image", "Image huge.png loaded."));
  const int canvas_w = 800 - d.panel_width();
  e2e::Rgb left, right;
  ASSERT_TRUE(paint_block(d, {canvas_w / 4, 300}, &left));
  ASSERT_TRUE(paint_block(d, {3 * canvas_w / 4, 300}, &right));
  EXPECT_EQ(left, (e2e::Rgb{255, 0, 0}));
  EXPECT_EQ(right, (e2e::Rgb{0, 0, 255}));
  EXPECT_EQ(d.app().errors(), "");
}

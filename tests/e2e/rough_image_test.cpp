// Pictures that cannot be loaded, as a user meets them: typed into the
// Image Filename field and loaded with the Load Image button. The program
// says so on the console, keeps running and keeps painting; a failed load
// still captures, so the painting is blanked and the strokes that follow are
// white (inside their black Blocks outline).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/rough_files.h"

namespace {

struct BadPicture {
  const char* test_name;
  const char* file_name;  // as typed into the field
  // Puts the file into the program's folder (nothing for a missing one).
  std::function<bool(const TempDir&)> make;
};

std::string sample(const std::string& name) { return read_file(source_path("samples/" + name)); }

// A binary PPM of a grey ramp.
std::string ppm_picture(int w, int h) {
  RgbImage ramp{w, h, {}};
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      ramp.rgb.insert(ramp.rgb.end(), 3, static_cast<unsigned char>(x % 256));
  return ppm_bytes(ramp);
}

// The sample photograph converted by ImageMagick to the format of `name`'s
// extension, then cut in half.
bool converted_and_cut(const TempDir& d, const std::string& name) {
  const std::string full = d.file("full-" + name);
  const std::string cmd = "convert " + source_path("samples/image1.jpg") + " " + full;
  if (std::system(cmd.c_str()) != 0) return false;
  const std::string bytes = read_file(full);
  return std::remove(full.c_str()) == 0 && write_file(d.file(name), cut(bytes, bytes.size() / 2));
}

const BadPicture kBadPictures[] = {
    {"Missing", "nothing_here.jpg", [](const TempDir&) { return true; }},
    {"ZeroBytes", "empty.jpg",
     [](const TempDir& d) { return write_file(d.file("empty.jpg"), ""); }},
    {"ZeroBytesNoExtension", "empty",
     [](const TempDir& d) { return write_file(d.file("empty"), ""); }},
    {"Folder", "pictures",
     [](const TempDir& d) { return mkdir(d.file("pictures").c_str(), 0755) == 0; }},
    {"FolderNamedJpg", "folder.jpg",
     [](const TempDir& d) { return mkdir(d.file("folder.jpg").c_str(), 0755) == 0; }},
    {"TextNamedJpg", "notes.jpg",
     [](const TempDir& d) {
       return write_file(d.file("notes.jpg"), "Shopping list:\nmilk\ncoffee beans\n");
     }},
    {"PngHeaderOnly", "header.png",
     [](const TempDir& d) {
       return write_file(d.file("header.png"), cut(sample("sphere.png"), 33));
     }},
    {"PngCutInHalf", "half.png",
     [](const TempDir& d) {
       const std::string png = sample("sphere.png");
       return write_file(d.file("half.png"), cut(png, png.size() / 2));
     }},
    {"ZeroDevTga", "zero.tga",
     [](const TempDir& d) { return symlink("/dev/zero", d.file("zero.tga").c_str()) == 0; }},
    {"HugeTgaHeader", "bomb.tga",
     [](const TempDir& d) {
       std::string h("\0\0\2\0\0\0\0\0\0\0\0\0\xff\xff\xff\xff\x20\0", 18);
       return write_file(d.file("bomb.tga"), h + std::string(1000, '\x7f'));
     }},
    {"PpmCutInHalf", "cut.ppm",
     [](const TempDir& d) {
       return write_file(d.file("cut.ppm"), cut(ppm_picture(600, 400), 600 * 400 * 3 / 2));
     }},
    {"PsdCutInHalf", "cut.psd", [](const TempDir& d) { return converted_and_cut(d, "cut.psd"); }},
    {"TgaCutInHalf", "cut.tga", [](const TempDir& d) { return converted_and_cut(d, "cut.tga"); }},
    // DevIL reads a PPM of 16 bits a channel into a buffer half the size
    // its own type needs; converting it would read past that buffer.
    {"Ppm16Bit", "deep.ppm",
     [](const TempDir& d) {
       return std::system(("convert -size 64x64 xc:red -depth 16 " + d.file("deep.ppm")).c_str()) ==
              0;
     }},
    {"JpegHeaderOnly", "header.jpg",
     [](const TempDir& d) {
       return write_file(d.file("header.jpg"), cut(sample("image1.jpg"), 200));
     }},
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
  Rgb inside;
  ASSERT_TRUE(paint_block(d, {80, 150}, &inside));
  EXPECT_FALSE(is_white(inside)) << inside;

  ASSERT_TRUE(d.set_text("Image Filename: ", bad.file_name));
  ASSERT_TRUE(
      d.click_and_wait("Load Image", std::string("Could not load image ") + bad.file_name + "!"));
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
  if (!kSanitizerBuild) {
    EXPECT_EQ(d.app().errors(), "");
  }
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
  ASSERT_TRUE(d.app().wait_for_match(
      "^(Image cut\\.jpg loaded\\.|Could not load image cut\\.jpg!)$", &found, from));
  const bool loaded = found.line == "Image cut.jpg loaded.";
  // The top of the picture (the wood, top-left) survived the cut.
  Rgb inside;
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
  ASSERT_TRUE(
      write_file(d.dir().file("huge.png"), two_colour_png(8000, 8000, {255, 0, 0}, {0, 0, 255})));
  ASSERT_TRUE(single_block_strokes(d));
  ASSERT_TRUE(d.set_text("Image Filename: ", "huge.png"));
  ASSERT_TRUE(d.click_and_wait("Load Image", "Image huge.png loaded."));
  const int canvas_w = 800 - d.panel_width();
  Rgb left, right;
  ASSERT_TRUE(paint_block(d, {canvas_w / 4, 300}, &left));
  ASSERT_TRUE(paint_block(d, {3 * canvas_w / 4, 300}, &right));
  EXPECT_EQ(left, (Rgb{255, 0, 0}));
  EXPECT_EQ(right, (Rgb{0, 0, 255}));
  EXPECT_EQ(d.app().errors(), "");
}

// A long session loads pictures over and over: each load lets the picture
// it replaces go, so twenty loads of a 12-megapixel photo take no more
// memory than one.
TEST(RoughImage, TwentyLoadsOfABigPhotoTakeNoMoreMemoryThanOne) {
  Daubwork d;
  ASSERT_TRUE(write_file(d.dir().file("photo.ppm"), ppm_picture(4000, 3000)));
  ASSERT_TRUE(d.set_text("Image Filename: ", "photo.ppm"));
  // Right after a load the process may hold the load's working memory for a
  // moment longer: the figures are compared once it has settled.
  long after_one = 0;
  for (int i = 0; i < 20; ++i) {
    ASSERT_TRUE(d.click_and_wait("Load Image", "Image photo.ppm loaded."));
    if (i == 0) {
      ASSERT_TRUE(d.wait_until_shown());
      after_one = d.app().resident_kb();
    }
  }
  ASSERT_GT(after_one, 0);
  long now = 0;
  EXPECT_TRUE(e2e::wait_until([&] { return (now = d.app().resident_kb()) < after_one + 10 * 1024; },
                              "memory back to within 10 MB of one load", std::chrono::seconds(10)))
      << now << " kB after twenty loads, " << after_one << " kB after one";
}

// A load holds the picture's texture and little else: the program's peak
// memory during a load, the first (a new texture) and the next (the same
// texture filled again), stays within its memory before plus two RGBA
// copies of the picture, and room for the capture's arrays.
TEST(RoughImage, ALoadTakesAtMostTwoCopiesOfThePictureMoreMemoryThanBefore) {
  Daubwork d;
  ASSERT_TRUE(
      write_file(d.dir().file("big.png"), two_colour_png(6000, 4000, {255, 0, 0}, {0, 0, 255})));
  ASSERT_TRUE(d.set_text("Image Filename: ", "big.png"));
  const long copy_kb = 6000L * 4000 * 4 / 1024, room_kb = 16 * 1024;
  for (int load = 1; load <= 2; ++load) {
    ASSERT_TRUE(d.wait_until_shown());
    ASSERT_TRUE(d.app().reset_peak());
    const long before = d.app().resident_kb();
    ASSERT_TRUE(d.click_and_wait("Load Image", "Image big.png loaded."));
    ASSERT_TRUE(d.wait_until_shown());
    const long peak = d.app().peak_kb();
    EXPECT_LE(peak - before, 2 * copy_kb + room_kb)
        << "load " << load << ": " << (peak - before) / 1024 << " MB more than the "
        << before / 1024 << " MB before; a copy is " << copy_kb / 1024 << " MB";
  }
}

namespace {

// A picture red above and blue below, 8 bits a channel, in the format of
// `name`'s extension (made by ImageMagick; `prefix` picks a variant).
bool red_over_blue(const TempDir& d, const std::string& name, const std::string& prefix = "") {
  const std::string cmd =
      "convert -size 64x32 xc:red xc:blue -append -depth 8 " + prefix + d.file(name);
  return std::system(cmd.c_str()) == 0;
}

bool reddish(Rgb c) { return c.r > 200 && c.g < 60 && c.b < 60; }
bool bluish(Rgb c) { return c.r < 60 && c.g < 60 && c.b > 200; }

}  // namespace

// Every common format the image library reads loads through the program's
// isolated decoding, and comes out upright.
TEST(RoughImage, PicturesInCommonFormatsLoadUpright) {
  Daubwork d;
  ASSERT_TRUE(single_block_strokes(d));
  int column = 30;
  // BMP in the version-3 layout, the one DevIL reads; PNG also with 16
  // bits a channel.
  const std::vector<std::pair<std::string, std::string>> formats = {
      {"ppm", ""}, {"png", ""}, {"png", "png48:"}, {"jpg", ""},     {"gif", ""},
      {"pcx", ""}, {"psd", ""}, {"tif", ""},       {"bmp", "bmp3:"}};
  for (const auto& [extension, prefix] : formats) {
    const std::string name = "stack" + std::to_string(column) + "." + extension;
    SCOPED_TRACE(prefix + name);
    ASSERT_TRUE(red_over_blue(d.dir(), name, prefix));
    ASSERT_TRUE(d.set_text("Image Filename: ", name));
    ASSERT_TRUE(d.click_and_wait("Load Image", "Image " + name + " loaded."));
    Rgb top, bottom;
    ASSERT_TRUE(paint_block(d, {column, 100}, &top));
    ASSERT_TRUE(paint_block(d, {column, 500}, &bottom));
    EXPECT_TRUE(reddish(top)) << top;
    EXPECT_TRUE(bluish(bottom)) << bottom;
    column += 50;
  }
}

// A painting saved as TGA and loaded again is the same way up.
TEST(RoughImage, ASavedTgaLoadsBackUpright) {
  Daubwork d;
  ASSERT_TRUE(red_over_blue(d.dir(), "stack.ppm"));
  ASSERT_TRUE(single_block_strokes(d));
  ASSERT_TRUE(d.set_text("Image Filename: ", "stack.ppm"));
  ASSERT_TRUE(d.click_and_wait("Load Image", "Image stack.ppm loaded."));
  Rgb top, bottom;
  ASSERT_TRUE(paint_block(d, {100, 100}, &top));
  ASSERT_TRUE(paint_block(d, {200, 450}, &bottom));
  ASSERT_TRUE(reddish(top)) << top;
  ASSERT_TRUE(bluish(bottom)) << bottom;
  ASSERT_TRUE(d.set_text("Image Filename: ", "painting.tga"));
  d.click("Save Image");
  ASSERT_TRUE(
      e2e::wait_for_file(d.dir().file("painting.tga"), 18 + (800u - d.panel_width()) * 600u * 4));
  ASSERT_TRUE(d.click_and_wait("Load Image", "Image painting.tga loaded."));
  // Strokes on the two blocks take their colours again.
  Rgb top_again, bottom_again;
  ASSERT_TRUE(paint_block(d, {100, 100}, &top_again));
  ASSERT_TRUE(paint_block(d, {200, 450}, &bottom_again));
  EXPECT_EQ(top_again, top);
  EXPECT_EQ(bottom_again, bottom);
}

// A header may state a size its bytes cannot hold: an 18-byte run-length
// TGA file of 30,000 x 30,000 pixels kept DevIL allocating and filling
// 3.5 GB for half a minute, and a 45-byte PNG of 16,384 x 16,384 had the
// program make a 1 GB texture before the decoding failed. Both are refused
// at once, at no cost.
TEST(RoughImage, AHeaderStatingMoreThanItsBytesHoldIsRefusedAtOnce) {
  Daubwork d;
  const std::string tga("\0\0\x0a\0\0\0\0\0\0\0\0\0\x30\x75\x30\x75\x18\0", 18);
  ASSERT_TRUE(write_file(d.dir().file("huge.tga"), tga));
  std::string png = two_colour_png(1, 1, {0, 0, 0}, {0, 0, 0}).substr(0, 33);  // through IHDR
  png.replace(16, 8, std::string("\0\0\x40\0\0\0\x40\0", 8));                  // 16384 x 16384
  ASSERT_TRUE(
      write_file(d.dir().file("huge.png"), png + std::string("\0\0\0\0IEND\xae\x42\x60\x82", 12)));
  ASSERT_TRUE(d.wait_until_shown());
  for (const std::string name : {"huge.tga", "huge.png"}) {
    ASSERT_TRUE(d.set_text("Image Filename: ", name));
    ASSERT_TRUE(d.app().reset_peak());
    const long before = d.app().resident_kb();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(d.click_and_wait("Load Image", "Could not load image " + name + "!"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << name;
    EXPECT_LT(d.app().peak_kb() - before, 200 * 1024) << name;
  }
  EXPECT_TRUE(d.app().running());
}

// A launcher may leave SIGCHLD ignored, which the program inherits: the
// system then reaps the decoding children itself, and every load failed.
TEST(RoughImage, PicturesLoadWhenTheLauncherLeftChildSignalsIgnored) {
  Daubwork::Start start;
  start.launcher = {"/usr/bin/perl", "-e", "$SIG{CHLD} = 'IGNORE'; exec @ARGV or die"};
  Daubwork d(Daubwork::default_files(), start);
  ASSERT_TRUE(d.click_and_wait("Load Image", "Image image1.jpg loaded."));
  EXPECT_TRUE(d.app().running());
}

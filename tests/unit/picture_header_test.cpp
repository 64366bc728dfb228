// What a picture file's header states, judged against the file's size:
// real pictures pass, headers that state more than their bytes hold do not.
#include "image/picture_header.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/test_files.h"

namespace {

StatedPicture judge(const std::string& name, const std::string& bytes, uint64_t file_bytes = 0) {
  return read_stated_picture(name.c_str(), reinterpret_cast<const unsigned char*>(bytes.data()),
                             bytes.size(), file_bytes ? file_bytes : bytes.size());
}

TEST(PictureHeader, RealPicturesPassAndHeadersThatLieDoNot) {
  const StatedPicture photo = judge("image1.jpg", read_file(source_path("samples/image1.jpg")));
  EXPECT_EQ(photo.verdict, StatedPicture::plausible);
  EXPECT_EQ(photo.width, 600);
  EXPECT_EQ(photo.height, 400);
  // The same header with only its first 200 bytes: 600 x 400 pixels need
  // at least a bit for each 8 x 8 block.
  EXPECT_EQ(judge("image1.jpg", read_file(source_path("samples/image1.jpg")), 200).verdict,
            StatedPicture::lie);

  // 30,000 x 30,000 run-length pixels in 18 bytes; with 128 pixels a packet
  // of 4 bytes they would need 28 MB.
  const std::string tga("\0\0\x0a\0\0\0\0\0\0\0\0\0\x30\x75\x30\x75\x18\0", 18);
  EXPECT_EQ(judge("huge.tga", tga).verdict, StatedPicture::lie);
  EXPECT_EQ(judge("huge.tga", tga, 18 + 30000ull * 30000 / 128 * 4).verdict, StatedPicture::lie)
      << "more than the largest texture, whatever the file's size";
  const std::string small_rle("\0\0\x0a\0\0\0\0\0\0\0\0\0\x00\x01\x00\x01\x18\0", 18);  // 256^2
  EXPECT_EQ(judge("run.tga", small_rle, 18 + 256 * 256 / 128 * 4).verdict,
            StatedPicture::plausible);
  EXPECT_EQ(judge("run.tga", small_rle, 18 + 256 * 256 / 128 * 4 - 1).verdict, StatedPicture::lie);
  // Known by its name only: the same bytes under another name say nothing.
  EXPECT_EQ(judge("run.dat", small_rle).verdict, StatedPicture::unknown);

  // A plain PNM with a comment: 3 x 2, a character a pixel at the least.
  const StatedPicture plain = judge("p.pgm", "P2\n# made by hand\n3 2\n255\n1 2 3 4 5 6\n");
  EXPECT_EQ(plain.verdict, StatedPicture::plausible);
  EXPECT_EQ(plain.width, 3);
  EXPECT_EQ(plain.height, 2);
  EXPECT_EQ(judge("p.pgm", "P5 3000 2000 255\n").verdict, StatedPicture::lie);
}

}  // namespace

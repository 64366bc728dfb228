// What a picture file's header says of its size, and whether the file's
// bytes can hold a picture that big. A header can state any size: an
// 18-byte TGA file may claim 30,000 x 30,000 pixels, and DevIL believes it,
// allocates the pixels and fills them for half a minute before it fails.
// Every format compresses by at most a bound of its own (deflate 1032 to
// 1, a TGA run 128 pixels a packet, a JPEG block at least one bit), so a
// stated size whose pixels the file's bytes cannot encode is a lie, told
// before any decoding.
#pragma once

#include <cstddef>
#include <cstdint>

// 2^28 pixels (16384 x 16384, the largest texture common renderers take):
// 1 GiB as RGBA bytes.
constexpr uint64_t kMaxPicturePixels = uint64_t{1} << 28;

struct StatedPicture {
  enum Verdict {
    unknown,    // a format whose header is not read here, or unsure
    plausible,  // the bytes can hold what the header states
    lie,        // they cannot, or the size is 0 or over kMaxPicturePixels
  };
  Verdict verdict = unknown;
  int width = 0;  // as the header states them; 0 when unknown
  int height = 0;
};

// Reads the size from the first bytes of a file (`head`, `head_bytes` of
// them: 256 KiB serve every format here) whose whole size is `file_bytes`.
// The format is the one DevIL takes the file for: by the name's extension
// when DevIL knows it (`name` may be null), else by the bytes' signature.
// PNG, JPEG, TGA, BMP, PNM, GIF, PCX and PSD are read; other formats are
// `unknown`.
StatedPicture read_stated_picture(const char* name, const unsigned char* head, size_t head_bytes,
                                  uint64_t file_bytes);

// The same for a file on disk (reads its first 256 KiB); `unknown` when it
// cannot be read.
StatedPicture read_stated_picture_file(const char* path);

// The decoding child of a picture file: DevIL's decoding under limits, in a
// process that can only end itself, and what it sends back through a pipe.
// DevIL's decoders trust what a file says: a cut-off PPM or PSD file makes
// them free memory twice and crash, a cut-off TGA file loads
// "successfully" with the missing part left as whatever the heap held, and
// a header may state a size its bytes cannot hold.
//
// What the child writes into its pipe: a PictureWire with the size the
// file states, as soon as it has looked (0 x 0 when it cannot tell, or
// when the file's bytes could not hold it), then a PictureWire with the
// size of the decoded picture, then its rows as RGBA, bottom row first, in
// bands of picture_band_rows rows. It ends cleanly (status 0) only when it
// has sent every row.
#pragma once

#include <cstddef>
#include <cstdint>

#include "image/picture_header.h"

struct PictureWire {
  uint32_t magic;
  int32_t width;
  int32_t height;
};
constexpr uint32_t kPictureWireMagic = 0x44415542;  // "DAUB"

// The rows travel in bands of about this many bytes: small enough to stay
// in the cache between the child's conversion, the pipe and the upload, big
// enough that a 64-megapixel picture takes only about a thousand of them.
constexpr size_t kPictureBandBytes = size_t{256} << 10;

// Rows of a band: at least one, however wide the picture.
int picture_band_rows(int width);

// A size a picture may have: both sides at least 1, at most
// kMaxPicturePixels pixels.
bool picture_size_sane(int width, int height);

// Limits of the child. The address space: a real picture has at most
// kMaxPicturePixels (2^28) pixels; the widest layout DevIL decodes into is
// RGBA in 32-bit floats, 16 bytes a pixel, 4 GiB, and the conversion to 8
// bits a channel adds 1 GiB beside it; with 1 GiB for the libraries and
// the decoders' own buffers, no real picture needs more than 6 GiB, and no
// lying file makes the child grow past that.
constexpr uint64_t kDecodeAddressSpace = uint64_t{6} << 30;
constexpr unsigned kDecodeCpuSeconds = 60;
constexpr unsigned kDecodeWallSeconds = 120;

// Decodes `path` and writes it into `fd` as above, no side longer than
// max_side, then _exits: only DevIL's decoding and plain system calls run,
// nothing of the parent's windowing or GL state.
[[noreturn]] void decode_picture_in_child(const char* path, int max_side, int fd);

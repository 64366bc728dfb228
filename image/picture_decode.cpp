// See picture_decode.h.
#include "image/picture_decode.h"

#include <IL/il.h>
#include <IL/ilu.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <memory>
#include <new>

#include "base/fd_io.h"

int picture_band_rows(int width) {
  return static_cast<int>(
      std::max<size_t>(1, kPictureBandBytes / (static_cast<size_t>(width) * 4)));
}

bool picture_size_sane(int width, int height) {
  return width > 0 && height > 0 &&
         static_cast<uint64_t>(width) * static_cast<uint64_t>(height) <= kMaxPicturePixels;
}

namespace {

// True when DevIL's error stack is empty; empties it.
bool no_devil_error() {
  bool none = true;
  while (ilGetError() != IL_NO_ERROR) none = false;
  return none;
}

// Bytes of one channel of DevIL's data type; 0 for an unknown type.
uint64_t channel_bytes(ILint type) {
  switch (type) {
    case IL_BYTE:
    case IL_UNSIGNED_BYTE: return 1;
    case IL_SHORT:
    case IL_UNSIGNED_SHORT:
    case IL_HALF: return 2;
    case IL_INT:
    case IL_UNSIGNED_INT:
    case IL_FLOAT: return 4;
    case IL_DOUBLE: return 8;
    default: return 0;
  }
}

// The bound image's description agrees with itself: bytes per pixel are
// channels times the bytes of its type, and its data holds that many for
// every pixel. Some of DevIL's loaders (16-bit PPM, for one) keep fewer
// bytes than their own type needs, and converting such an image reads past
// its data.
bool consistent(int width, int height) {
  const ILint depth = ilGetInteger(IL_IMAGE_DEPTH);
  const ILint bpp = ilGetInteger(IL_IMAGE_BPP);  // bytes a pixel
  const ILint channels = ilGetInteger(IL_IMAGE_CHANNELS);
  const ILint bpc = ilGetInteger(IL_IMAGE_BPC);
  const ILint size = ilGetInteger(IL_IMAGE_SIZE_OF_DATA);
  if (depth < 1 || channels < 1 || channels > 4 || size < 0 || !ilGetData()) return false;
  if (bpc < 1 || static_cast<uint64_t>(bpc) != channel_bytes(ilGetInteger(IL_IMAGE_TYPE)))
    return false;
  if (bpp != channels * bpc) return false;
  const uint64_t needed = static_cast<uint64_t>(width) * static_cast<uint64_t>(height) *
                          static_cast<uint64_t>(depth) * static_cast<uint64_t>(bpp);
  return static_cast<uint64_t>(size) >= needed;
}

// One row of pixels of one of DevIL's 8-bit layouts as RGBA, what DevIL's
// own conversion makes of it: grey fills red, green and blue, and a layout
// without alpha is opaque.
using RowToRgba = void (*)(const unsigned char* in, int width, unsigned char* out);

template <int kBytes, int kRed, int kGreen, int kBlue, int kAlpha>  // kAlpha < 0: opaque
void row_to_rgba(const unsigned char* in, int width, unsigned char* out) {
  for (int x = 0; x < width; ++x, in += kBytes, out += 4) {
    out[0] = in[kRed];
    out[1] = in[kGreen];
    out[2] = in[kBlue];
    out[3] = kAlpha < 0 ? 255 : in[kAlpha];
  }
}

void rgba_row(const unsigned char* in, int width, unsigned char* out) {
  std::memcpy(out, in, static_cast<size_t>(width) * 4);
}

// RGB, the layout of JPEG and of most PNG photographs, a pixel at a time in
// one load and one store: four bytes read, the fourth (the next pixel's
// red) overwritten with opaque alpha. The last pixel is done bytewise, so
// that nothing past the row is read.
void rgb_row(const unsigned char* in, int width, unsigned char* out) {
  if (width < 1) return;
  static constexpr unsigned char kOpaqueBytes[4] = {0, 0, 0, 255};
  uint32_t opaque;
  std::memcpy(&opaque, kOpaqueBytes, 4);
  for (int x = 0; x + 1 < width; ++x) {
    uint32_t pixel;
    std::memcpy(&pixel, in + 3 * x, 4);
    pixel |= opaque;
    std::memcpy(out + 4 * x, &pixel, 4);
  }
  row_to_rgba<3, 0, 1, 2, -1>(in + 3 * (width - 1), 1, out + 4 * (width - 1));
}

// The same for 16 bits a channel (PNG and PNM photographs, often): DevIL's
// conversion to 8 bits keeps each sample's high byte, and takes longer than
// decoding the picture (3.9 s on a 64-megapixel PNG).
template <int kSamples, int kRed, int kGreen, int kBlue, int kAlpha>  // kAlpha < 0: opaque
void row16_to_rgba(const unsigned char* in, int width, unsigned char* out) {
  const auto high_byte = [](const unsigned char* pixel, int sample) {
    uint16_t value;
    std::memcpy(&value, pixel + 2 * sample, 2);  // in the machine's order, as DevIL keeps it
    return static_cast<unsigned char>(value >> 8);
  };
  for (int x = 0; x < width; ++x, in += 2 * kSamples, out += 4) {
    out[0] = high_byte(in, kRed);
    out[1] = high_byte(in, kGreen);
    out[2] = high_byte(in, kBlue);
    out[3] = kAlpha < 0 ? 255 : high_byte(in, kAlpha);
  }
}

// Null for the layouts left to DevIL's conversion (palettes, more than 16
// bits a channel, 16-bit BGR).
RowToRgba row_to_rgba_of(ILint format, ILint type) {
  if (type == IL_UNSIGNED_SHORT) {
    switch (format) {
      case IL_RGBA: return row16_to_rgba<4, 0, 1, 2, 3>;
      case IL_RGB: return row16_to_rgba<3, 0, 1, 2, -1>;
      case IL_LUMINANCE_ALPHA: return row16_to_rgba<2, 0, 0, 0, 1>;
      case IL_LUMINANCE: return row16_to_rgba<1, 0, 0, 0, -1>;
      default: return nullptr;
    }
  }
  if (type != IL_UNSIGNED_BYTE) return nullptr;
  switch (format) {
    case IL_RGBA: return rgba_row;
    case IL_RGB: return rgb_row;
    case IL_BGRA: return row_to_rgba<4, 2, 1, 0, 3>;
    case IL_BGR: return row_to_rgba<3, 2, 1, 0, -1>;
    case IL_LUMINANCE_ALPHA: return row_to_rgba<2, 0, 0, 0, 1>;
    case IL_LUMINANCE: return row_to_rgba<1, 0, 0, 0, -1>;
    default: return nullptr;
  }
}

}  // namespace

[[noreturn]] void decode_picture_in_child(const char* path, int max_side, int fd) {
  std::signal(SIGALRM, SIG_DFL);
  std::signal(SIGXCPU, SIG_DFL);
  std::signal(SIGPIPE, SIG_DFL);
  const rlimit cpu{kDecodeCpuSeconds, kDecodeCpuSeconds};
  setrlimit(RLIMIT_CPU, &cpu);
#ifndef __SANITIZE_ADDRESS__  // its shadow memory alone reserves terabytes
  const rlimit memory{kDecodeAddressSpace, kDecodeAddressSpace};
  setrlimit(RLIMIT_AS, &memory);
#endif
  alarm(kDecodeWallSeconds);

  struct stat st;
  if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) _exit(1);
  // A header that states more than its bytes can hold is refused before
  // DevIL allocates for it; the size of one that can is sent at once, so
  // that the program makes the texture's storage while DevIL decodes.
  const StatedPicture claim = read_stated_picture_file(path);
  if (claim.verdict == StatedPicture::lie) _exit(1);
  PictureWire stated{kPictureWireMagic, 0, 0};
  if (claim.verdict == StatedPicture::plausible) {
    stated.width = std::min(claim.width, max_side);
    stated.height = std::min(claim.height, max_side);
  }
  if (!write_all(fd, &stated, sizeof stated)) _exit(1);
  no_devil_error();
  ILuint image = 0;
  ilGenImages(1, &image);
  ilBindImage(image);
  // A load that "succeeds" after a read error holds undefined pixels.
  if (!ilLoadImage(path) || !no_devil_error()) _exit(1);
  const int width = ilGetInteger(IL_IMAGE_WIDTH), height = ilGetInteger(IL_IMAGE_HEIGHT);
  if (!picture_size_sane(width, height) || !consistent(width, height)) _exit(1);
  const int out_width = std::min(width, max_side), out_height = std::min(height, max_side);

  // The common layouts become RGBA on their way into the bands;
  // the others, and a picture the texture cannot take whole, go through
  // DevIL's conversion (and scaling) first, as its GL layer took them.
  RowToRgba to_rgba = nullptr;
  if (out_width == width && out_height == height)
    to_rgba = row_to_rgba_of(ilGetInteger(IL_IMAGE_FORMAT), ilGetInteger(IL_IMAGE_TYPE));
  if (!to_rgba) {
    if (!ilConvertImage(IL_RGBA, IL_UNSIGNED_BYTE) || !no_devil_error()) _exit(1);
    if (out_width != width || out_height != height) {
      iluImageParameter(ILU_FILTER, ILU_BILINEAR);
      if (!iluScale(static_cast<ILuint>(out_width), static_cast<ILuint>(out_height), 1) ||
          !no_devil_error()) {
        _exit(1);
      }
    }
    if (ilGetInteger(IL_IMAGE_FORMAT) != IL_RGBA ||
        ilGetInteger(IL_IMAGE_TYPE) != IL_UNSIGNED_BYTE || ilGetInteger(IL_IMAGE_BPP) != 4 ||
        ilGetInteger(IL_IMAGE_WIDTH) != out_width || ilGetInteger(IL_IMAGE_HEIGHT) != out_height ||
        !consistent(out_width, out_height)) {
      _exit(1);
    }
    to_rgba = rgba_row;
  }
  const ILint origin = ilGetInteger(IL_IMAGE_ORIGIN);
  if (origin != IL_ORIGIN_LOWER_LEFT && origin != IL_ORIGIN_UPPER_LEFT) _exit(1);

  // The first slice of a picture with depth: width x height pixels.
  const unsigned char* const data = ilGetData();
  const size_t row_in =
      static_cast<size_t>(out_width) * static_cast<size_t>(ilGetInteger(IL_IMAGE_BPP));
  const size_t row_out = static_cast<size_t>(out_width) * 4;
  const int rows_per_band = picture_band_rows(out_width);
  std::unique_ptr<unsigned char[]> band(
      new (std::nothrow) unsigned char[row_out * static_cast<size_t>(rows_per_band)]);
  const PictureWire header{kPictureWireMagic, out_width, out_height};
  if (!band || !write_all(fd, &header, sizeof header)) _exit(1);
  for (int row = 0; row < out_height; row += rows_per_band) {
    const int rows = std::min(rows_per_band, out_height - row);
    for (int i = 0; i < rows; ++i) {
      const int from = origin == IL_ORIGIN_UPPER_LEFT ? out_height - 1 - (row + i) : row + i;
      to_rgba(data + row_in * static_cast<size_t>(from), out_width,
              band.get() + row_out * static_cast<size_t>(i));
    }
    if (!write_all(fd, band.get(), row_out * static_cast<size_t>(rows))) _exit(1);
  }
  _exit(0);
}

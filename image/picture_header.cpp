// See picture_header.h.
#include "image/picture_header.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <memory>

namespace {

constexpr size_t kHeadBytes = size_t{256} << 10;  // JPEG's metadata may come first

enum class Format { unknown, png, jpeg, tga, bmp, pnm, gif, pcx, psd };

// A bounded reader of the head: every read checks the end.
struct Bytes {
  const unsigned char* data;
  size_t size;
  bool has(size_t at, size_t n) const { return at <= size && n <= size - at; }
  uint32_t be(size_t at, int n) const {
    uint32_t v = 0;
    for (int i = 0; i < n; ++i) v = v << 8 | data[at + static_cast<size_t>(i)];
    return v;
  }
  uint32_t le(size_t at, int n) const {
    uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = v << 8 | data[at + static_cast<size_t>(i)];
    return v;
  }
};

bool ends_with(const char* name, const char* const* extensions) {
  const char* dot = name ? std::strrchr(name, '.') : nullptr;
  if (!dot || std::strchr(dot, '/')) return false;
  for (; *extensions; ++extensions)
    if (strcasecmp(dot + 1, *extensions) == 0) return true;
  return false;
}

// DevIL decides by the extension it knows first, and only then by content.
Format format_of(const char* name, const Bytes& b) {
  static const char* const png[] = {"png", nullptr};
  static const char* const jpeg[] = {"jpg", "jpe", "jpeg", "jif", "jfif", nullptr};
  static const char* const tga[] = {"tga", "vda", "icb", "vst", nullptr};
  static const char* const bmp[] = {"bmp", "dib", nullptr};
  static const char* const pnm[] = {"pnm", "pbm", "pgm", "ppm", nullptr};
  static const char* const gif[] = {"gif", nullptr};
  static const char* const pcx[] = {"pcx", nullptr};
  static const char* const psd[] = {"psd", "pdd", nullptr};
  if (ends_with(name, png)) return Format::png;
  if (ends_with(name, jpeg)) return Format::jpeg;
  if (ends_with(name, tga)) return Format::tga;
  if (ends_with(name, bmp)) return Format::bmp;
  if (ends_with(name, pnm)) return Format::pnm;
  if (ends_with(name, gif)) return Format::gif;
  if (ends_with(name, pcx)) return Format::pcx;
  if (ends_with(name, psd)) return Format::psd;
  if (b.has(0, 8) && std::memcmp(b.data, "\x89PNG\r\n\x1a\n", 8) == 0) return Format::png;
  if (b.has(0, 2) && b.data[0] == 0xFF && b.data[1] == 0xD8) return Format::jpeg;
  if (b.has(0, 2) && b.data[0] == 'B' && b.data[1] == 'M') return Format::bmp;
  if (b.has(0, 2) && b.data[0] == 'P' && b.data[1] >= '1' && b.data[1] <= '6') return Format::pnm;
  if (b.has(0, 4) && std::memcmp(b.data, "GIF8", 4) == 0) return Format::gif;
  if (b.has(0, 4) && std::memcmp(b.data, "8BPS", 4) == 0) return Format::psd;
  if (b.has(0, 1) && b.data[0] == 0x0A) return Format::pcx;
  return Format::unknown;  // TGA has no signature; DevIL knows it by name
}

// The verdict on a stated size whose pixels need at least bytes_num /
// pixels_den bytes of the file each (0: any number of pixels fits).
StatedPicture judge(uint64_t width, uint64_t height, uint64_t file_bytes, uint64_t bytes_num,
                    uint64_t pixels_den) {
  StatedPicture s;
  if (width == 0 || height == 0 || width > 0xFFFFFF || height > 0xFFFFFF ||
      width * height > kMaxPicturePixels) {
    s.verdict = StatedPicture::lie;
    return s;
  }
  s.width = static_cast<int>(width);
  s.height = static_cast<int>(height);
  // pixels * bytes_num / pixels_den <= file_bytes, without division.
  const bool fits = width * height * bytes_num <= file_bytes * pixels_den;
  s.verdict = fits ? StatedPicture::plausible : StatedPicture::lie;
  return s;
}

// PNG: the image header chunk first. Deflate turns at most 1032 bytes into
// one; each row starts with a filter byte.
StatedPicture png(const Bytes& b, uint64_t file_bytes) {
  if (!b.has(0, 29) || std::memcmp(b.data + 12, "IHDR", 4) != 0) return {};
  const uint64_t width = b.be(16, 4), height = b.be(20, 4);
  const unsigned depth = b.data[24], colour = b.data[25];
  const unsigned channels = colour == 0 || colour == 3 ? 1 : colour == 4 ? 2 : colour == 2 ? 3 : 4;
  // Bits a row, and its filter byte, as raw bytes; the bound is per byte.
  if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF)
    return judge(width, height, file_bytes, 1, 1);
  const uint64_t row_bytes = 1 + (width * channels * (depth ? depth : 1) + 7) / 8;
  StatedPicture s = judge(width, height, file_bytes, 0, 1);
  if (s.verdict == StatedPicture::plausible && row_bytes * height > file_bytes * 1032)
    s.verdict = StatedPicture::lie;
  return s;
}

// JPEG: segments of a marker and a length up to the frame header. Huffman
// coding spends at least one bit on every 8 x 8 block of the full-size
// component in the first scan; arithmetic coding (frame types 9 to 15) can
// spend less, so only the pixel limit holds for it.
StatedPicture jpeg(const Bytes& b, uint64_t file_bytes) {
  size_t at = 2;
  for (int seen = 0; seen < 1024 && b.has(at, 9) && b.data[at] == 0xFF; ++seen) {
    const unsigned char kind = b.data[at + 1];
    if (kind == 0xFF) {  // a fill byte
      ++at;
      continue;
    }
    if (kind >= 0xC0 && kind <= 0xCF && kind != 0xC4 && kind != 0xC8 && kind != 0xCC) {
      const uint64_t height = b.be(at + 5, 2), width = b.be(at + 7, 2);
      // Height 0: given later in the scan (DNL), which DevIL's decoder
      // does not take.
      if (height == 0) return {};
      if (kind >= 0xC9) return judge(width, height, file_bytes, 0, 1);
      return judge(width, height, file_bytes, 1, 64 * 8);
    }
    at += 2 + b.be(at + 2, 2);
  }
  return {};
}

// TGA: 18 bytes, an identification field and a colour map, then pixels:
// whole, or in run-length packets of one byte and one pixel for up to 128.
StatedPicture tga(const Bytes& b, uint64_t file_bytes) {
  if (!b.has(0, 18)) return {};
  const unsigned map_type = b.data[1], type = b.data[2];
  const unsigned pixel_bits = b.data[16];
  const bool rle = type == 9 || type == 10 || type == 11;
  if (map_type > 1 || !(rle || type == 1 || type == 2 || type == 3)) return {};
  if (pixel_bits != 8 && pixel_bits != 15 && pixel_bits != 16 && pixel_bits != 24 &&
      pixel_bits != 32)
    return {};
  const uint64_t pixel_bytes = (pixel_bits + 7) / 8;
  const uint64_t map_bytes = map_type ? b.le(5, 2) * ((b.data[7] + 7u) / 8u) : 0;
  const uint64_t before = 18 + b.data[0] + map_bytes;
  const uint64_t data = file_bytes > before ? file_bytes - before : 0;
  if (rle) return judge(b.le(12, 2), b.le(14, 2), data, 1 + pixel_bytes, 128);
  return judge(b.le(12, 2), b.le(14, 2), data, pixel_bytes, 1);
}

// BMP: rows padded to four bytes. Run-length BMP files may end the picture
// with one escape, so any size fits their bytes: only the pixel limit.
StatedPicture bmp(const Bytes& b, uint64_t file_bytes) {
  if (!b.has(0, 26)) return {};
  const uint32_t info = b.le(14, 4);
  uint64_t width, height, bits, compression = 0;
  if (info == 12) {  // the OS/2 header
    width = b.le(18, 2);
    height = b.le(20, 2);
    bits = b.le(24, 2);
  } else if (info >= 40 && b.has(0, 34)) {
    const int32_t w = static_cast<int32_t>(b.le(18, 4)), h = static_cast<int32_t>(b.le(22, 4));
    if (w <= 0 || h == 0 || h == INT32_MIN) return judge(0, 0, file_bytes, 1, 1);
    width = static_cast<uint64_t>(w);
    height = static_cast<uint64_t>(h < 0 ? -static_cast<int64_t>(h) : h);
    bits = b.le(28, 2);
    compression = b.le(30, 4);
  } else {
    return {};
  }
  if (bits == 0 || bits > 32) return {};
  if (compression != 0 && compression != 3) return judge(width, height, file_bytes, 0, 1);
  StatedPicture s = judge(width, height, file_bytes, 0, 1);
  const uint64_t row = (width * bits + 31) / 32 * 4;
  if (s.verdict == StatedPicture::plausible && row * height > file_bytes)
    s.verdict = StatedPicture::lie;
  return s;
}

// PNM: "P1" to "P6", then width, height and (but for bitmaps) the largest
// value, in decimal, with blanks and comments between. A pixel of the
// plain (ASCII) kinds takes at least one character a sample ("P1" needs no
// blanks between its digits).
StatedPicture pnm(const Bytes& b, uint64_t file_bytes) {
  if (!b.has(0, 2) || b.data[0] != 'P' || b.data[1] < '1' || b.data[1] > '6') return {};
  const int kind = b.data[1] - '0';
  uint64_t values[3] = {0, 0, 0};
  const int wanted = kind == 1 || kind == 4 ? 2 : 3;
  size_t at = 2;
  for (int i = 0; i < wanted; ++i) {
    for (;;) {  // blanks and comments
      if (!b.has(at, 1)) return {};
      if (b.data[at] == '#') {
        while (b.has(at, 1) && b.data[at] != '\n') ++at;
      } else if (b.data[at] == ' ' || (b.data[at] >= '\t' && b.data[at] <= '\r')) {
        ++at;
      } else {
        break;
      }
    }
    if (b.data[at] < '0' || b.data[at] > '9') return {};
    while (b.has(at, 1) && b.data[at] >= '0' && b.data[at] <= '9') {
      values[i] = values[i] * 10 + static_cast<uint64_t>(b.data[at++] - '0');
      if (values[i] > 0xFFFFFFFF) return judge(0, 0, file_bytes, 1, 1);
    }
  }
  const uint64_t sample_bytes = values[2] > 255 ? 2 : 1;
  switch (kind) {
    case 4: return judge((values[0] + 7) & ~uint64_t{7}, values[1], file_bytes, 1, 8);
    case 5: return judge(values[0], values[1], file_bytes, sample_bytes, 1);
    case 6: return judge(values[0], values[1], file_bytes, 3 * sample_bytes, 1);
    case 3: return judge(values[0], values[1], file_bytes, 3, 1);
    default: return judge(values[0], values[1], file_bytes, 1, 1);
  }
}

// GIF: the logical screen. LZW's codes are at least 3 bits and stand for at
// most 4096 pixels each.
StatedPicture gif(const Bytes& b, uint64_t file_bytes) {
  if (!b.has(0, 10) || std::memcmp(b.data, "GIF8", 4) != 0) return {};
  return judge(b.le(6, 2), b.le(8, 2), file_bytes, 3, 4096 * 8);
}

// PCX: the window's corners, inclusive; runs of up to 63 bytes in two.
StatedPicture pcx(const Bytes& b, uint64_t file_bytes) {
  if (!b.has(0, 128) || b.data[0] != 0x0A || b.data[2] != 1) return {};
  const uint64_t x0 = b.le(4, 2), y0 = b.le(6, 2), x1 = b.le(8, 2), y1 = b.le(10, 2);
  if (x1 < x0 || y1 < y0) return judge(0, 0, file_bytes, 1, 1);
  // At least one bit a pixel, in runs of 63 bytes for every two.
  return judge(x1 - x0 + 1, y1 - y0 + 1, file_bytes, 2, 63 * 8);
}

// PSD: channels, height, width and depth; each channel raw, in PackBits
// runs (up to 128 bytes in two) or deflated (up to 1032 in one).
StatedPicture psd(const Bytes& b, uint64_t file_bytes) {
  if (!b.has(0, 26) || std::memcmp(b.data, "8BPS", 4) != 0) return {};
  const uint64_t channels = b.be(12, 2), depth = b.be(22, 2);
  if (channels == 0 || depth == 0) return {};
  // Bits a pixel over all channels, at most 1032 * 8 of them to a byte.
  return judge(b.be(18, 4), b.be(14, 4), file_bytes, channels * depth, 1032 * 8);
}

}  // namespace

StatedPicture read_stated_picture(const char* name, const unsigned char* head, size_t head_bytes,
                                  uint64_t file_bytes) {
  const Bytes b{head, head_bytes};
  switch (format_of(name, b)) {
    case Format::png: return png(b, file_bytes);
    case Format::jpeg: return jpeg(b, file_bytes);
    case Format::tga: return tga(b, file_bytes);
    case Format::bmp: return bmp(b, file_bytes);
    case Format::pnm: return pnm(b, file_bytes);
    case Format::gif: return gif(b, file_bytes);
    case Format::pcx: return pcx(b, file_bytes);
    case Format::psd: return psd(b, file_bytes);
    case Format::unknown: break;
  }
  return {};
}

StatedPicture read_stated_picture_file(const char* path) {
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return {};
  struct stat st;
  std::unique_ptr<unsigned char[]> head(new unsigned char[kHeadBytes]);
  ssize_t got = -1;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) got = pread(fd, head.get(), kHeadBytes, 0);
  close(fd);
  if (got < 0) return {};
  return read_stated_picture(path, head.get(), static_cast<size_t>(got),
                             static_cast<uint64_t>(st.st_size));
}

#include "image/edge_map.h"

#include <cmath>
#include <cstddef>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define DAUB_EDGE_MAP_AVX2 1
#include <immintrin.h>
#endif

// One pass over the picture, row by row from the bottom, in chunks that stay
// in the first-level cache. No whole-picture luminance array is kept: the
// luminance of row y waits in row y + 1 of grad_y until that row is
// reached, where each cell is read once and replaced by its difference.
//
// Exactness: the luminance is a sum of three double products, rounded to
// float once at the end, and is computed exactly so. The differences,
// squares, the sum of squares and the square root all take float operands,
// and for +, -, * and sqrt a double result rounded to float equals the
// float operation itself (double carries more than twice float's 24 bits
// plus two), so they are done in float directly. Vector and scalar paths
// use the same IEEE operations in the same order and give the same bits.

namespace {

constexpr double kGreenWeight = 0.59;
constexpr double kRedWeight = 0.3;
constexpr double kBlueWeight = 0.11;

constexpr int kChunk = 256;  // pixels per chunk: 1 KB of luminance

inline float luminance(const unsigned char* p) {
  return static_cast<float>(kGreenWeight * p[1] + kRedWeight * p[0] + kBlueWeight * p[2]);
}

inline unsigned char edge_bit(float gx, float gy, float threshold) {
  const float a = gx * gx;
  const float b = gy * gy;
  const float s = b + a;
  return std::sqrt(s) > threshold ? 1 : 0;
}

// lum[0, n) from n pixels. `readable` is how many pixels of rgb lie inside
// the caller's buffer from rgb on (at least n): vector code may load past n
// but never past that.
using LuminanceKernel = void (*)(const unsigned char* rgb, int n, std::size_t readable, float* lum);
// For n pixels: lum[-1 .. n) is the row's luminance (lum[-1] the left
// neighbour, equal to lum[0] in column 0), below[0, n) the luminance of the
// row beneath (may be the same cells as gy; each is read before it is
// written). stash, when not null, receives lum[0, n) for the next row.
using GradientKernel = void (*)(const float* lum, const float* below, int n, float threshold,
                                float* gx, float* gy, unsigned char* mask, float* stash);

void luminance_portable(const unsigned char* rgb, int n, std::size_t readable, float* lum) {
  (void)readable;
  for (int i = 0; i < n; ++i) lum[i] = luminance(rgb + 3 * i);
}

void gradients_portable(const float* lum, const float* below, int n, float threshold, float* gx,
                        float* gy, unsigned char* mask, float* stash) {
  for (int i = 0; i < n; ++i) {
    const float l = lum[i];
    const float dx = l - lum[i - 1];
    const float dy = l - below[i];
    gx[i] = dx;
    gy[i] = dy;
    mask[i] = edge_bit(dx, dy, threshold);
    if (stash) stash[i] = l;
  }
}

#ifdef DAUB_EDGE_MAP_AVX2

// Four pixels' bytes (12 of the 16 loaded) to four doubles per channel and
// on to four float luminances.
__attribute__((target("avx2"))) inline __m128 luminance4(__m128i px) {
  const __m128i pick_r = _mm_setr_epi8(0, -1, -1, -1, 3, -1, -1, -1, 6, -1, -1, -1, 9, -1, -1, -1);
  const __m128i pick_g = _mm_setr_epi8(1, -1, -1, -1, 4, -1, -1, -1, 7, -1, -1, -1, 10, -1, -1, -1);
  const __m128i pick_b = _mm_setr_epi8(2, -1, -1, -1, 5, -1, -1, -1, 8, -1, -1, -1, 11, -1, -1, -1);
  const __m256d r = _mm256_cvtepi32_pd(_mm_shuffle_epi8(px, pick_r));
  const __m256d g = _mm256_cvtepi32_pd(_mm_shuffle_epi8(px, pick_g));
  const __m256d b = _mm256_cvtepi32_pd(_mm_shuffle_epi8(px, pick_b));
  // (green + red) + blue, the same order as the scalar expression.
  const __m256d gr = _mm256_add_pd(_mm256_mul_pd(_mm256_set1_pd(kGreenWeight), g),
                                   _mm256_mul_pd(_mm256_set1_pd(kRedWeight), r));
  const __m256d sum = _mm256_add_pd(gr, _mm256_mul_pd(_mm256_set1_pd(kBlueWeight), b));
  return _mm256_cvtpd_ps(sum);
}

__attribute__((target("avx2"))) void luminance_avx2(const unsigned char* rgb, int n,
                                                    std::size_t readable, float* lum) {
  int i = 0;
  // Eight pixels take two 16-byte loads at bytes 3i and 3i + 12, the last
  // reaching byte 3i + 27: inside the buffer while i + 10 <= readable.
  for (; i + 8 <= n && static_cast<std::size_t>(i) + 10 <= readable; i += 8) {
    const unsigned char* p = rgb + 3 * i;
    const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 12));
    _mm_storeu_ps(lum + i, luminance4(lo));
    _mm_storeu_ps(lum + i + 4, luminance4(hi));
  }
  for (; i < n; ++i) lum[i] = luminance(rgb + 3 * i);
}

__attribute__((target("avx2"))) void gradients_avx2(const float* lum, const float* below, int n,
                                                    float threshold, float* gx, float* gy,
                                                    unsigned char* mask, float* stash) {
  const __m256 t = _mm256_set1_ps(threshold);
  const __m128i one = _mm_set1_epi8(1);
  int i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m256 l = _mm256_loadu_ps(lum + i);
    const __m256 dx = _mm256_sub_ps(l, _mm256_loadu_ps(lum + i - 1));
    const __m256 dy = _mm256_sub_ps(l, _mm256_loadu_ps(below + i));
    _mm256_storeu_ps(gx + i, dx);
    _mm256_storeu_ps(gy + i, dy);
    if (stash) _mm256_storeu_ps(stash + i, l);
    const __m256 s = _mm256_add_ps(_mm256_mul_ps(dy, dy), _mm256_mul_ps(dx, dx));
    // Ordered compare: a magnitude that is not a number is no edge, as with >.
    const __m256i edge = _mm256_castps_si256(_mm256_cmp_ps(_mm256_sqrt_ps(s), t, _CMP_GT_OQ));
    const __m128i words =
        _mm_packs_epi32(_mm256_castsi256_si128(edge), _mm256_extracti128_si256(edge, 1));
    const __m128i bytes = _mm_and_si128(_mm_packs_epi16(words, words), one);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(mask + i), bytes);
  }
  gradients_portable(lum + i, below + i, n - i, threshold, gx + i, gy + i, mask + i,
                     stash ? stash + i : nullptr);
}

#endif  // DAUB_EDGE_MAP_AVX2

void run_rows(const unsigned char* rgb, int width, int height, float threshold, float* grad_x,
              float* grad_y, unsigned char* edge_mask, LuminanceKernel luminance_kernel,
              GradientKernel gradient_kernel) {
  if (width <= 0 || height <= 0) return;
  const std::size_t w = static_cast<std::size_t>(width);
  const std::size_t cells = w * static_cast<std::size_t>(height);
  float lum[kChunk + 1];  // lum[0] is the left neighbour of the chunk
  for (int y = 0; y < height; ++y) {
    const std::size_t row = w * static_cast<std::size_t>(y);
    float* gy_row = grad_y + row;
    float* next_row = y + 1 < height ? grad_y + row + w : nullptr;
    float left = 0.0f;
    for (int x0 = 0; x0 < width; x0 += kChunk) {
      const int n = width - x0 < kChunk ? width - x0 : kChunk;
      const std::size_t first = row + static_cast<std::size_t>(x0);
      luminance_kernel(rgb + 3 * first, n, cells - first, lum + 1);
      lum[0] = x0 == 0 ? lum[1] : left;  // column 0: its own value, difference 0
      left = lum[n];
      // Row 0 has no row beneath: differencing with itself gives 0.
      const float* below = y > 0 ? gy_row + x0 : lum + 1;
      gradient_kernel(lum + 1, below, n, threshold, grad_x + first, gy_row + x0, edge_mask + first,
                      next_row ? next_row + x0 : nullptr);
    }
  }
}

}  // namespace

void compute_edge_map_arrays(const unsigned char* rgb, int width, int height, float threshold,
                             float* grad_x, float* grad_y, unsigned char* edge_mask) {
#ifdef DAUB_EDGE_MAP_AVX2
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (avx2) {
    run_rows(rgb, width, height, threshold, grad_x, grad_y, edge_mask, luminance_avx2,
             gradients_avx2);
    return;
  }
#endif
  run_rows(rgb, width, height, threshold, grad_x, grad_y, edge_mask, luminance_portable,
           gradients_portable);
}

namespace edge_map_detail {
void compute_edge_map_arrays_portable(const unsigned char* rgb, int width, int height,
                                      float threshold, float* grad_x, float* grad_y,
                                      unsigned char* edge_mask) {
  run_rows(rgb, width, height, threshold, grad_x, grad_y, edge_mask, luminance_portable,
           gradients_portable);
}
}  // namespace edge_map_detail

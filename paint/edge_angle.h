// The turn of a stroke that follows the edges of the picture: a weighted
// mean of the gradient directions of the edge pixels in a square window
// around the stroke's point. Plain arithmetic over the capture's arrays, no
// OpenGL; the caller turns its frame by the result.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "paint/spare_thread.h"

// How fast an edge's pull falls off with its distance d from the stroke:
// Reciprocal weighs it 1 / d^2, Exponential exp(-d). The values of the
// Vector Field Falloff radio group.
enum FalloffType {
  FALLOFF_RECIPROCAL = 0,
  FALLOFF_EXPONENTIAL = 1,
};

// Half-width h of the sampling window on a canvas `canvas_width` pixels
// wide: 0.3 * width in double, truncated (3 -> 0, 10 -> 3, 600 -> 180).
// 0 for a width of 0 or less.
int edge_window_half_width(int canvas_width);

// What one capture's gradients and edge mask give the angle: the direction
// of every edge pixel, grouped by row and by column parity. Built once per
// capture by reset(); the arrays are not kept and may go afterwards.
class EdgeAngleField {
 public:
  // grad_x, grad_y, edge_mask: width * height cells, row 0 at the bottom,
  // cell (x, y) at x + y * width; a non-zero mask cell is an edge pixel.
  // Null arrays or a size of 0 give a field without edges.
  void reset(const float* grad_x, const float* grad_y, const unsigned char* edge_mask, int width,
             int height);

  // The mean edge angle in degrees around canvas point (x, y) (y up) on a
  // canvas `canvas_width` wide, which sets the window; falloff_type is a
  // FalloffType (any other value counts as Reciprocal).
  // Samples outside this field's own width and height are skipped. 0 when
  // no edge pixel takes part; never NaN or infinite. Under Reciprocal, when
  // the point itself is sampled (h even) and is an edge pixel, its weight
  // would be 1 / 0: that pixel's own angle in degrees is the result.
  float angle_degrees(int canvas_width, int x, int y, int falloff_type) const;

  // The angles of n strokes at once (a burst): out[k] is
  // angle_degrees(canvas_width, x[k], y[k], falloff_type), bit for bit.
  // Each stroke's sums still take its samples one by one in grid order;
  // what is shared is the waiting: several strokes' sums advance side by
  // side, so the rounding of one sum after each sample no longer sets the
  // pace. A burst with work enough to pay for it is split: a spare thread
  // (started on the first such burst, kept until the field goes) takes the
  // last strokes while the caller works out the first, and the call returns
  // when both are done. Uses this field's scratch space, which grows to its
  // size on the first call and is kept: later calls allocate nothing.
  void angles_degrees(int canvas_width, const int* x, const int* y, int n, int falloff_type,
                      float* out);

  // Whether angles_degrees may hand strokes to the spare thread (it may
  // unless told otherwise). Off, every burst is worked out on the caller's
  // thread alone, with the same results.
  void set_spare_thread(bool allowed) { spare_allowed_ = allowed; }
  // Strokes handed to the spare thread so far, and of those the ones it
  // worked out (the others it had not begun when the caller was done with
  // its own share, which then took them back).
  std::size_t strokes_handed_over() const { return handed_strokes_; }
  std::size_t strokes_on_spare_thread() const { return spare_strokes_; }

  int width() const { return width_; }
  int height() const { return height_; }
  std::size_t edge_pixels() const { return edge_count_; }

 private:
  struct Edge {
    int32_t column;
    float angle;  // atan2(grad_y, grad_x) in radians, -pi ... pi
  };
  struct Walk;
  struct Lane;
  struct Share;
  // Sets up the walk over the grid rows of the window around (x, y); false
  // when nothing can take part. *own_angle is set (and false returned)
  // when the point's own pixel decides alone.
  bool start_walk(int canvas_width, int x, int y, int falloff_type, Walk* walk,
                  float* own_angle) const;
  // The next grid row with edges in the window: [*begin, *end) and the
  // row's dy. False when the window is done.
  bool next_row(Walk* walk, const Edge** begin, const Edge** end) const;
  // The angles of one share of a burst, with its own scratch space.
  void share_degrees(const Share& share) const;
  // How many of a burst's n strokes to hand to the spare thread: 0 when
  // the burst is too small for the handover to pay.
  int strokes_to_hand_over(int canvas_width, int n, int falloff_type) const;
  // Up to `room` of the lane's next samples (Reciprocal): their weights and
  // the terms they add to the angle sum.
  int fill(Lane* lane, int room) const;
  // First edge of row r, column parity p at starts_[2r + p]; the list ends
  // where the next begins. Each list is sorted by column.
  const Edge* list_begin(long long row, int parity) const;
  const Edge* list_end(long long row, int parity) const;
  // The first edge of that list whose column is `column` or more.
  const Edge* first_at_or_after(long long row, int parity, long long column) const;

  int width_ = 0;
  int height_ = 0;
  // The edges, then kEdgePad more (any values), so that four can be read
  // from any edge at once.
  static constexpr std::size_t kEdgePad = 4;
  std::vector<Edge> edges_;
  std::size_t edge_count_ = 0;
  std::vector<std::size_t> starts_;  // 2 * height_ + 1 entries
  // Where each list reaches each block of kBlockColumns columns: the first
  // edge of list (r, p) at column kBlockColumns * b or beyond is at
  // blocks_[(2r + p) * blocks_per_list_ + b], so a search is a short scan.
  static constexpr int kBlockShift = 6;  // blocks of 64 columns
  std::vector<uint32_t> blocks_;
  std::size_t blocks_per_list_ = 0;
  // Two shares' slices of samples: the caller's, then the spare thread's.
  std::vector<float> scratch_weight_;
  std::vector<double> scratch_term_;
  SpareThread spare_;
  bool spare_allowed_ = true;
  std::size_t handed_strokes_ = 0;
  std::size_t spare_strokes_ = 0;
};

namespace edge_angle_detail {
// (float)atan2((double)grad_y, (double)grad_x) with the C library's atan2,
// bit for bit, mostly without calling it. Exposed for its tests.
float gradient_angle(float grad_x, float grad_y);
// The same for n cells at once, four at a time with AVX2 where the
// processor has it.
void gradient_angles(const float* grad_x, const float* grad_y, int n, float* angle);
// The Reciprocal samples of one grid row, as a burst forms them: for the
// n edges (column, angle in radians) at edges[2i], edges[2i + 1] (the
// angle's bits), weight[i] = 1 / (dx^2 + dy2) with dx = column - px in
// float, and term[i] = angle * weight[i] * 180 / 3.14159 in double,
// bit for bit. Reads and writes up to 3 entries past n. Exposed for its
// tests.
void reciprocal_row(const int32_t* edges, int n, int32_t px, float dy2, float* weight,
                    double* term);
}  // namespace edge_angle_detail

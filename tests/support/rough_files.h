// Files a user may hand the program by mistake, and small probes of the
// canvas, for the e2e tests of bad input and rough handling.
//
//   two_colour_png   a valid PNG of any size, left half one colour and right
//                    half another, written without a compression library
//                    (1-bit palette, stored deflate blocks: an 8000 x 8000
//                    picture is an 8 MB file made in well under a second)
//   cut              the first bytes of a file, as a broken download leaves it
//   Block probing    one Blocks stroke painted where the test says, and the
//                    colour inside its black outline: the stroke colour
#pragma once

#include <cstddef>
#include <string>

#include "tests/support/daubwork_e2e.h"

// The bytes of a PNG file width x height, pixels with x < width / 2 in
// `left`, the others in `right`.
std::string two_colour_png(int width, int height, Rgb left, Rgb right);

// The first `keep` bytes of `bytes` (all of them when shorter).
std::string cut(const std::string& bytes, std::size_t keep);

// Built with AddressSanitizer: a picture decoder that crashes in its child
// process is then reported on standard error by the sanitizer.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSanitizerBuild = true;
#else
inline constexpr bool kSanitizerBuild = false;
#endif

// --- the canvas ---------------------------------------------------------------

// Sets the panel so that every motion event paints exactly one Blocks
// stroke of size 20 (a rectangle 10 x 40 pixels with a 2-pixel black
// outline) within a pixel of the cursor, and commits the values with a
// middle click in the canvas. A middle click runs a pending capture, so
// call it before loading the picture the test is about.
testing::AssertionResult single_block_strokes(Daubwork& d);

// Paints one such stroke at window point `at`, waits until its outline
// shows, and gives the colour at its middle (the stroke colour). Waits
// first until no black shows around `at`, so that an outline from before
// (say, of a painting a load has blanked but not yet shown blank) is not
// taken for the new one.
testing::AssertionResult paint_block(Daubwork& d, e2e::Point at, Rgb* inside);

// Waits until the whole canvas shows white.
testing::AssertionResult wait_for_white_canvas(Daubwork& d);

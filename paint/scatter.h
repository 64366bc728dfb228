// Scattering a burst of strokes in a disc around the cursor, and the
// random source it draws from.
#pragma once

// The random numbers the scatter uses: non-negative ints far beyond 200.
// The program uses the C library's rand(), never seeded, so the same drag
// after start-up paints the same strokes in every run; tests may swap in a
// source of their own (null restores rand()).
using RandomSource = int (*)();
void set_random_source(RandomSource source);
int next_random();

// One burst: draws offsets (dx first, then dy, each in -radius ...
// radius-1) until `count` of them lie in the disc of `radius` (a distance
// equal to the radius counts as inside) and hands each accepted point
// (x + dx, y + dy) to `paint`. Points are window pixels, y down; whether
// they fall on the canvas is for `paint` to judge. A radius below 1 counts
// as 1.
void scatter_burst(int x, int y, int count, int radius, void (*paint)(int x, int y));

// A small TGA reader for tests: reads back what the TGA writer produces
// (uncompressed true-colour, 24 or 32 bits) and checks the file's size.
#pragma once

#include <string>
#include <vector>

#include "tests/support/rgb_image.h"

struct TgaFile {
  // Header fields as stored.
  int id_length = 0;
  int colour_map_type = 0;
  int image_type = 0;
  int colour_map_first = 0;
  int colour_map_length = 0;
  int colour_map_entry_size = 0;
  int x_origin = 0;
  int y_origin = 0;
  int width = 0;
  int height = 0;
  int depth = 0;
  int descriptor = 0;
  // The pixels upright, whatever corner the descriptor says the file's
  // rows start from (the writer's files start at the bottom-left).
  RgbImage pixels;
  // Each pixel's alpha byte, in the same order; 255 in a 24-bit file.
  std::vector<unsigned char> alpha;
};

// Parses bytes as a TGA file. Returns false with a reason in *error when it
// is not an uncompressed true-colour file of 24 or 32 bits, or when its size
// is not exactly header + identification field + pixel data.
bool read_tga(const std::string& bytes, TgaFile* out, std::string* error);

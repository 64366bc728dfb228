// The program's side of picture decoding: the spawner, a small process
// the decoding children come from, and the reading of a child's pipe.
//
// Forking the program for every picture would share all of its memory with
// the child, the last picture's texture included, and every page the
// upload then writes would be copied first, as the child still holds it:
// on a 64-megapixel picture that costs more than the decoding. So the
// decoding children come from a small process, forked from the program
// once, as it starts (start_picture_decoding) or at its first picture at
// the latest: the spawner. Started before the window exists, it shares
// next to nothing with the program; started later, it would keep the
// pages the program has since changed.
// It takes requests on a socket (the path, the longest side and, passed
// along, the pipe the child is to write into), forks a child for each, and
// answers with one byte when the child has ended: 0 when it ended cleanly.
// It ends when the program closes the socket, also when the program dies;
// a program that exits ends and waits for it, so that nothing is left
// behind.
#pragma once

// Starts the spawner, best before the program has grown (see above);
// without it the first load starts it.
void start_picture_spawner();

// A picture file being decoded by a child of the spawner, read as the
// texture wants it: width x height RGBA pixels, rows back to back, the
// bottom row first, no side longer than max_side.
class PictureDecoder {
 public:
  PictureDecoder() = default;
  PictureDecoder(const PictureDecoder&) = delete;
  PictureDecoder& operator=(const PictureDecoder&) = delete;
  ~PictureDecoder();  // finishes

  // Starts decoding; returns once the child has read the size the file
  // states, long before the picture is decoded. False, with the child
  // ended, when the file is not a regular file. One decoder at a time: the
  // spawner answers the requests in turn.
  bool start(const char* path, int max_side);
  // The size the file states (PNG and JPEG; 0 x 0 when unknown), as it will
  // come when no side is longer than max_side: a guess, the decoded
  // picture decides.
  int stated_width() const { return stated_width_; }
  int stated_height() const { return stated_height_; }
  // Waits until the picture is decoded; false, with the child ended, when
  // it is unreadable as above.
  bool wait_for_size();
  int width() const { return width_; }
  int height() const { return height_; }
  // The next `rows` rows into `out` (rows * width * 4 bytes); false when
  // the child fails before they are all there or there are fewer left.
  bool read_rows(int rows, unsigned char* out);
  // Waits for the child to end: true when every row was read and it ended
  // cleanly. A child with rows left to send ends at its next write.
  bool finish();

 private:
  int fd_ = -1;            // the pipe the rows come through
  bool decoding_ = false;  // a child was started and its end not yet heard of
  int max_side_ = 0;
  int stated_width_ = 0, stated_height_ = 0;
  int width_ = 0, height_ = 0, rows_read_ = 0;
};

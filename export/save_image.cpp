// Glue: Save Image. Reads the program's state (app/state.h: the canvas
// rectangle, the Image Filename field) and the canvas as shown, and hands
// the pixels to the TGA writer (export/tga.h).
#include "export/save_image.h"

#include <GL/freeglut.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "app/canvas_buffers.h"
#include "app/state.h"
#include "base/file_problem.h"
#include "base/messages.h"
#include "export/tga.h"

namespace {

// The whole path of a file written under `path`, so that a user sees
// where it went: absolute, its folders' links resolved.
std::string whole_path(const char* path) {
  char* resolved = ::realpath(path, nullptr);
  if (!resolved) return path;
  std::string whole(resolved);
  std::free(resolved);
  return whole;
}

}  // namespace

bool save_image() {
  refresh_canvas_rect();
  const int channels = glutGet(GLUT_WINDOW_RGBA) ? 4 : 3;
  const size_t bytes = static_cast<size_t>(vp_w) * static_cast<size_t>(vp_h) * channels;
  const char* path = image_filename_text->get_text();
  const std::unique_ptr<unsigned char[]> pixels(new (std::nothrow) unsigned char[bytes]);
  if (!pixels) {
    print_message_line(stderr, "[ERROR] could not save file \"%s\": not enough memory\n", path);
    std::fflush(stderr);
    return false;
  }
  canvas_read_pixels(CANVAS_FRONT, vp_w, vp_h, channels, pixels.get());  // what the user sees
  errno = 0;
  std::string kept;
  const bool saved = write_tga_keeping(path, vp_w, vp_h, channels, pixels.get(), &kept);
  // Also after a failed save: a file written into may then be short, and
  // the copy is all that is left of it.
  if (!kept.empty()) print_message_line(stdout, "Kept the earlier %s as %s.\n", path, kept.c_str());
  if (saved) {
    show_message_line(MessageLevel::info, "Saved the canvas as " + whole_path(path) + ".");
  } else {
    // The writer printed its line on the console; the window says why.
    const int failure = errno;
    std::string why = write_problem(path);
    if (why.empty()) why = failure != 0 ? std::strerror(failure) : "the file could not be written";
    show_message_line(MessageLevel::error,
                      std::string("[ERROR] could not save file \"") + path + "\"");
    explain_last_message_line(why);
  }
  return saved;
}

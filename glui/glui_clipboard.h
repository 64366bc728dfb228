// The CLIPBOARD and PRIMARY selections shared with other X programs, over
// the toolkit's connection (glui_x11.h): the text the program offers, and
// pastes from whichever program holds a selection.
//
// A paste asks the holder for UTF8_STRING, and for STRING only when the
// holder refused that; all its requests share one deadline of half a
// second, and a holder that has not answered is not asked again. Each
// request carries the server's time at the paste (programs built on Xt
// refuse requests timed before they took the selection), and only the
// answer to it is taken. A holder that sends its text in pieces (INCR) is
// read up to the bound the caller gives, and the rest of its pieces are
// taken and dropped as they come, so that it is free for other programs.
#pragma once

#include <X11/Xlib.h>

#include <chrono>
#include <functional>
#include <string>

#include "glui/glui_x11.h"

namespace glui_x11 {

class Clipboard {
 public:
  using Clock = std::chrono::steady_clock;
  // Reads and handles the connection's events until one arrives or the
  // deadline passes; never past the deadline.
  using Pump = std::function<void(Clock::time_point deadline)>;

  // `owner` is the toolkit's unmapped window, with PropertyChangeMask.
  Clipboard(Display* display, Window owner, Pump pump);

  // An event for the selections (requests, answers, pieces): handled, true.
  bool handle(const XEvent& event);

  // Offers UTF-8 text as the selection until another program takes it.
  void offer(Selection which, const std::string& utf8);
  // The text the program offers as the selection, or null when it does not
  // hold it.
  const std::string* offered(Selection which) const;
  // The holder's text, at most max_bytes + 1 bytes of it (more tells the
  // caller the text was longer); empty when nobody answers in time.
  std::string paste(Selection which, size_t max_bytes);
  // How long pastes have waited, all told.
  Clock::duration waited() const { return waited_; }

 private:
  struct Held {
    bool held = false;
    Time since = CurrentTime;
    std::string text;
  };
  // The request a paste waits for the answer to.
  struct Awaited {
    enum State { none, waiting, refused, got, incr } state = none;
    Atom selection = None, target = None, property = None;
    Time time = CurrentTime;
    size_t max_bytes = 0;
  };
  // A transfer in pieces, from its start to the holder's empty last piece.
  struct Pieces {
    bool active = false;
    Atom property = None;
    Atom type = None;
    size_t max_bytes = 0;
    std::string text;
  };

  Time server_time();
  void answer(const XSelectionRequestEvent& request);
  void take_answer(const XSelectionEvent& answer);
  void take_piece(const XPropertyEvent& event);
  int index_of(Atom selection) const;
  Atom atom_of(Selection which) const;
  std::string read_text(Atom property, size_t max_bytes, Atom* type);

  Display* display_;
  Window owner_;
  Pump pump_;
  Atom clipboard_, utf8_, targets_, text_, plain_utf8_, timestamp_, incr_, stamp_;
  Atom properties_[2];  // where answers go: one may still take pieces
  Held held_[2];        // CLIPBOARD, PRIMARY while the program holds them
  Awaited awaited_;
  Pieces pieces_;
  Clock::duration waited_{};
};

// Latin-1 (STRING) as UTF-8.
std::string latin1_to_utf8(const std::string& latin1);

}  // namespace glui_x11

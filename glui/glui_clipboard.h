// The CLIPBOARD and PRIMARY selections shared with other X programs, over
// the toolkit's connection (glui_x11.h): the text the program offers, and
// pastes from whichever program holds a selection. Without an X server the
// selections stay inside the program.
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

#include <chrono>
#include <cstddef>
#include <string>

namespace glui_x11 {

enum class Selection { clipboard, primary };

// Offers UTF-8 text as the selection to other programs, until one of them
// takes the selection or the program ends.
void set_selection_text(Selection which, const char* utf8);

// The selection's text as UTF-8, from whichever program holds it, at most
// max_bytes + 1 bytes of it (more tells the caller the text was longer);
// empty when none holds it or the holder does not answer in time.
std::string selection_text(Selection which, size_t max_bytes);

// How long pastes have waited for other programs, all told: time in which
// no key was held as far as the panels are concerned.
std::chrono::steady_clock::duration paste_waits();

// Latin-1 (STRING) as UTF-8.
std::string latin1_to_utf8(const std::string& latin1);

}  // namespace glui_x11

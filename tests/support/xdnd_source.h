// A drag source of the test's own, as a file manager is one: drags data
// over a window by the XDND protocol (version 5) and drops it there,
// answering the target's requests for the data, and reports what the
// target answered.
#pragma once

#include <string>

struct _XDisplay;

namespace e2e {

struct DropResult {
  bool answered = false;   // an XdndStatus came for the position
  bool accepting = false;  // ... and it would take the drop
  bool finished = false;   // an XdndFinished came for the drop
  bool taken = false;      // ... and it took it
};

// Drags `data` of the type `type` ("text/uri-list", "UTF8_STRING") over
// the window `target` (a top-level window) to the point (x, y) of its
// inside, and drops it there; waits at most a few seconds for each answer.
DropResult xdnd_drop(_XDisplay* display, unsigned long target, int x, int y,
                     const std::string& type, const std::string& data);

}  // namespace e2e

// One thread beside the caller's, kept for the life of its owner, that runs
// one task at a time while the caller does its own share of the same work:
// the GLUT thread hands it part of a burst's strokes. Handing over costs a
// wake-up (tens of microseconds when the thread sleeps), so it pays only
// for work of a hundred microseconds or so; and when the other core is
// busy (the renderer, the X server) the thread may not run for a while, so
// the caller takes back a task that has not begun by the time it is
// waited for.
#pragma once

#include <memory>

class SpareThread {
 public:
  SpareThread();
  // Ends the thread, if it was started. No task may be under way (every
  // start() has had its finish()).
  ~SpareThread();
  SpareThread(SpareThread&&) noexcept;
  SpareThread& operator=(SpareThread&&) noexcept;

  // Offers task(context) to the thread, started on the first call, and
  // returns at once. False, with nothing offered, when there is no such
  // thread: a machine with one core, or the thread could not be made (then
  // never tried again). Every true must be followed by finish() before the
  // next start(), and context must stay valid until then. The task must
  // not throw.
  bool start(void (*task)(void*), void* context);
  // Returns once the task start() offered has been run: by the thread, or,
  // if the thread has not begun it yet, right here on the caller's; true
  // for the thread. Either way everything the task wrote is then the
  // caller's to read. Waiting for the thread, it polls for a few tens of
  // microseconds, then sleeps until woken.
  bool finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
  bool unavailable_ = false;  // one core, or the thread could not be made
};

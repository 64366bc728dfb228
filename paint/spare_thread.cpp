#include "paint/spare_thread.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <system_error>
#include <thread>

#ifdef __linux__
#include <pthread.h>
#include <sched.h>
#endif

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace {

// How long each side polls before it sleeps. Waking from sleep takes some
// 20 to 50 microseconds on an idle core of a VM. The caller, waiting for
// the thread to finish, polls for about that long; the thread, after a
// task, only briefly (the next burst comes a motion event later, about a
// millisecond at 1,000 Hz), so that the renderer and the X server, which
// need that core, lose little.
constexpr std::chrono::microseconds kCallerSpin(50);
constexpr std::chrono::microseconds kThreadSpin(20);

inline void relax() {
#if defined(__x86_64__) || defined(__i386__)
  _mm_pause();
#endif
}

// Polls ready() for up to `spin`; whether it came true.
template <typename Ready>
bool spin_until(std::chrono::microseconds spin, Ready ready) {
  if (ready()) return true;
  const auto until = std::chrono::steady_clock::now() + spin;
  do {
    for (int k = 0; k < 32; ++k) {
      if (ready()) return true;
      relax();
    }
  } while (std::chrono::steady_clock::now() < until);
  return ready();
}

}  // namespace

// Tasks are numbered from 1. The number of the last one offered is
// `posted`; `open` holds it until the thread or the caller claims the task
// (compare-and-swap to 0), so exactly one of them runs it; the thread
// stores its number in `finished` when it has run it.
struct SpareThread::State {
  std::mutex mutex;
  std::condition_variable posted_cv;  // a task offered, or stop
  std::condition_variable done_cv;    // the thread finished a task
  // Stored under the mutex (so that a sleeper cannot miss a change),
  // loaded without it while polling.
  std::atomic<uint64_t> posted{0};
  std::atomic<uint64_t> open{0};
  std::atomic<uint64_t> finished{0};
  bool stop = false;  // under the mutex
  // The offered task: written before `open` names it, read by whoever
  // claims it.
  void (*task)(void*) = nullptr;
  void* context = nullptr;
  std::thread thread;
  int kept_off = -1;  // the caller's processor when last seen, or -1; the thread avoids it

  // Keeps the thread off the processor the caller runs on. Under KVM a
  // sleeping thread woken by the caller was found woken on the caller's
  // own processor nearly every time (the idle one counts as taken while
  // its virtual processor is halted), where it waits for the caller's time
  // slice: on a 2-core VM 60 to 110 microseconds to begin, against some
  // 25 on the other processor. Done again only when the caller has moved.
  void keep_off_caller_processor() {
#ifdef __linux__
    const int cpu = sched_getcpu();
    if (cpu < 0 || cpu == kept_off) return;
    kept_off = cpu;
    cpu_set_t allowed;
    if (sched_getaffinity(0, sizeof allowed, &allowed) != 0 || !CPU_ISSET(cpu, &allowed)) return;
    CPU_CLR(cpu, &allowed);
    if (CPU_COUNT(&allowed) == 0) return;  // nowhere else to go
    pthread_setaffinity_np(thread.native_handle(), sizeof allowed, &allowed);
#endif
  }

  ~State() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stop = true;
    }
    posted_cv.notify_one();
    if (thread.joinable()) thread.join();
  }

  bool claim(uint64_t number) {
    return open.compare_exchange_strong(number, 0, std::memory_order_acquire,
                                        std::memory_order_relaxed);
  }

  void run() {
    uint64_t seen = 0;
    for (;;) {
      if (!spin_until(kThreadSpin,
                      [&] { return posted.load(std::memory_order_acquire) != seen; })) {
        std::unique_lock<std::mutex> lock(mutex);
        posted_cv.wait(lock,
                       [&] { return stop || posted.load(std::memory_order_relaxed) != seen; });
        if (posted.load(std::memory_order_relaxed) == seen) return;  // stop, nothing offered
      }
      seen = posted.load(std::memory_order_acquire);
      if (!claim(seen)) continue;  // the caller took it back
      task(context);
      {
        std::lock_guard<std::mutex> lock(mutex);
        finished.store(seen, std::memory_order_release);
      }
      done_cv.notify_one();
    }
  }
};

SpareThread::SpareThread() = default;
SpareThread::~SpareThread() = default;
SpareThread::SpareThread(SpareThread&&) noexcept = default;
SpareThread& SpareThread::operator=(SpareThread&&) noexcept = default;

bool SpareThread::start(void (*task)(void*), void* context) {
  if (unavailable_) return false;
  if (!state_) {
    // One core: the thread would only take turns with the caller.
    if (std::thread::hardware_concurrency() < 2) {
      unavailable_ = true;
      return false;
    }
    // The State's destructor joins the thread, so it is kept once the
    // thread runs.
    State* s = new State;
    try {
      s->thread = std::thread([s] { s->run(); });
    } catch (const std::system_error&) {
      unavailable_ = true;
      delete s;
      return false;
    }
    state_.reset(s);
  }
  State& s = *state_;
  s.keep_off_caller_processor();
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    const uint64_t number = s.posted.load(std::memory_order_relaxed) + 1;
    s.task = task;
    s.context = context;
    s.open.store(number, std::memory_order_release);
    s.posted.store(number, std::memory_order_release);
  }
  s.posted_cv.notify_one();
  return true;
}

bool SpareThread::finish() {
  if (!state_) return false;
  State& s = *state_;
  const uint64_t number = s.posted.load(std::memory_order_relaxed);
  if (s.claim(number)) {
    s.task(s.context);  // not begun over there: quicker done here
    return false;
  }
  const auto done = [&] { return s.finished.load(std::memory_order_acquire) == number; };
  if (!spin_until(kCallerSpin, done)) {
    std::unique_lock<std::mutex> lock(s.mutex);
    s.done_cv.wait(lock, [&] { return s.finished.load(std::memory_order_relaxed) == number; });
  }
  return true;
}

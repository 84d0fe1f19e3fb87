// The lock a transfer statement holds on its unit from its beginning to its end.
// Internal to units/: no other module includes this header.
//
// Statements run on the program thread one after another, so the lock is nearly always
// free when taken: taking it is one compare-and-exchange and giving it back one
// exchange, with no call into the thread library. Only a thread that finds it held
// (the console-event thread's stop, which waits for the statement in progress to end)
// sleeps on it, and only then does giving it back wake anyone.
#pragma once

#include <atomic>
#include <cstdint>

#include "recio/threads/change_signal.h"

namespace recio {

class StatementLock {
 public:
  void lock() {
    std::uint32_t expected = kFree;
    if (!state_.compare_exchange_strong(expected, kHeld, std::memory_order_acquire, std::memory_order_relaxed)) {
      lockContended();
    }
  }

  // Whether another thread waits for the lock: its holder gives it up at the next point
  // where it may.
  bool isAwaited() const { return state_.load(std::memory_order_relaxed) == kHeldWithWaiters; }

  void unlock() {
    if (state_.exchange(kFree, std::memory_order_release) == kHeldWithWaiters) released_.notifyAll();
  }

 private:
  static constexpr std::uint32_t kFree = 0;
  static constexpr std::uint32_t kHeld = 1;
  static constexpr std::uint32_t kHeldWithWaiters = 2;

  // Marks the lock as waited for and sleeps until it is given back. A thread that takes
  // it here leaves the mark, since it cannot know whether others still wait: the only
  // cost is one wake-up too many.
  void lockContended() {
    while (state_.exchange(kHeldWithWaiters, std::memory_order_acquire) != kFree) {
      released_.waitUntil([this] { return state_.load(std::memory_order_relaxed) != kHeldWithWaiters; });
    }
  }

  std::atomic<std::uint32_t> state_{kFree};
  ChangeSignal released_;
};

}  // namespace recio

// Sleeping until another thread has changed something: a mutex and a condition variable
// around a condition that the waiter tests. std::atomic's own wait is not used for
// this: where the platform has no futex, the standard library builds it from a shared
// table of waiters, and there (mingw-w64 under wine) hand-overs through it were seen to
// leave both of their threads asleep.
#pragma once

#include <condition_variable>
#include <mutex>

namespace recio {

class ChangeSignal {
 public:
  // Returns once `ready()` holds. `ready` reads only values that the other thread
  // changes before it calls notifyAll.
  template <class Ready>
  void waitUntil(Ready ready) {
    if (ready()) return;
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, ready);
  }

  // Wakes every waiter; called after the change they wait for. Taking the mutex first
  // orders the change before any waiter's next test: a waiter that tested too early is
  // then already asleep on the condition variable, and is woken.
  void notifyAll() {
    { std::lock_guard<std::mutex> lock(mutex_); }
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
};

}  // namespace recio

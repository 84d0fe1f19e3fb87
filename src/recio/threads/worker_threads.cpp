// How many workers a run may start, and the starts a test makes fail.
#include "recio/threads/worker_threads.h"

#include <algorithm>
#include <atomic>

#include "recio/platform/platform.h"
#include "recio/threads/worker_test_override.h"

namespace recio {
namespace {

struct WorkerOverride {
  std::atomic<unsigned> workers{0};
  std::atomic<unsigned> successesBeforeFailure{0};
  std::atomic<ThreadStartFailure> failure{ThreadStartFailure::None};
};

WorkerOverride& workerOverride() {
  static WorkerOverride state;
  return state;
}

}  // namespace

unsigned workersToSpare(unsigned most) {
  if (const unsigned requested = workerOverride().workers.load(std::memory_order_relaxed); requested != 0) {
    return std::min(requested, most);
  }
  // The processors this process may use, not the machine's: under one allowed
  // processor a worker would only take turns with the calling thread.
  const unsigned processors = platform::usableProcessors();
  return processors < 2 ? 0 : std::min(processors - 1, most);
}

void requestWorkersForTests(unsigned workers) { workerOverride().workers.store(workers, std::memory_order_relaxed); }

void failThreadStartsForTests(unsigned successes, ThreadStartFailure failure) {
  workerOverride().successesBeforeFailure.store(successes, std::memory_order_relaxed);
  workerOverride().failure.store(failure, std::memory_order_relaxed);
}

void detail::throwIfStartIsToFail() {
  WorkerOverride& state = workerOverride();
  const ThreadStartFailure failure = state.failure.load(std::memory_order_relaxed);
  if (failure == ThreadStartFailure::None) return;
  unsigned successes = state.successesBeforeFailure.load(std::memory_order_relaxed);
  while (successes > 0) {
    if (state.successesBeforeFailure.compare_exchange_weak(successes, successes - 1, std::memory_order_relaxed)) {
      return;
    }
  }
  if (failure == ThreadStartFailure::NoMemory) throw std::bad_alloc();
  throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
}

}  // namespace recio

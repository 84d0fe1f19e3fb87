// How many workers a run may start, and the failures tests can ask of their starts.
#include "recio/worker_threads.h"

#include <algorithm>
#include <cerrno>

#include "recio/fast_path_testing.h"
#include "recio/platform/platform.h"

namespace recio {
namespace {

// Set only by test programs; read when a fast path decides, once per run.
struct TestRequests {
  std::atomic<unsigned> workers{0};
  std::atomic<unsigned> successesBeforeFailure{0};
  std::atomic<ThreadStartFailure> failure{ThreadStartFailure::None};
};

TestRequests& testRequests() {
  static TestRequests requests;
  return requests;
}

}  // namespace

unsigned workersToSpare(unsigned most) {
  if (const unsigned requested = testRequests().workers.load(std::memory_order_relaxed); requested != 0) {
    return std::min(requested, most);
  }
  // The processors this process may use, not the machine's: under one allowed
  // processor a worker would only take turns with the calling thread.
  const unsigned processors = platform::usableProcessors();
  return processors < 2 ? 0 : std::min(processors - 1, most);
}

namespace detail {

void throwIfStartFails() {
  TestRequests& requests = testRequests();
  const ThreadStartFailure failure = requests.failure.load(std::memory_order_relaxed);
  if (failure == ThreadStartFailure::None) return;
  unsigned successes = requests.successesBeforeFailure.load(std::memory_order_relaxed);
  while (successes > 0) {
    if (requests.successesBeforeFailure.compare_exchange_weak(successes, successes - 1, std::memory_order_relaxed)) {
      return;
    }
  }
  if (failure == ThreadStartFailure::NoMemory) throw std::bad_alloc();
  throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
}

}  // namespace detail

FastPathCounts& fastPathCounts() {
  static FastPathCounts counts;
  return counts;
}

void resetFastPathCounts() {
  FastPathCounts& counts = fastPathCounts();
  counts.editingWorkersStarted = 0;
  counts.chunksEditedByWorkers = 0;
  counts.ringSlotsReused = 0;
  counts.readAheadWorkersStarted = 0;
  counts.cellsAdopted = 0;
  counts.readAheadBytesRead = 0;
  counts.plainRecordsRead = 0;
}

void requestWorkersForTesting(unsigned workers) { testRequests().workers.store(workers, std::memory_order_relaxed); }

void failThreadStartsForTesting(unsigned successes, ThreadStartFailure failure) {
  TestRequests& requests = testRequests();
  requests.successesBeforeFailure.store(successes, std::memory_order_relaxed);
  requests.failure.store(failure, std::memory_order_relaxed);
}

}  // namespace recio

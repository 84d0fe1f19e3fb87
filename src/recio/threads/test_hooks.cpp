// The test hooks' state: process-wide, set only by test programs.
#include "recio/threads/test_hooks.h"

#include <new>
#include <system_error>

namespace recio::test_hooks {
namespace {

constexpr std::size_t kDefaultInputCapacity = 128 * 1024;
constexpr InputBufferLimits kDefaultInputLimits{kDefaultInputCapacity, static_cast<std::size_t>(-1)};

struct Hooks {
  FastPathCounts counts;
  std::atomic<unsigned> workers{0};
  std::atomic<unsigned> successesBeforeFailure{0};
  std::atomic<ThreadStartFailure> failure{ThreadStartFailure::None};
  ReadAhead readAhead;
  DirectWrites directWrites;
  InputBufferLimits inputLimits = kDefaultInputLimits;
};

Hooks& hooks() {
  static Hooks state;
  return state;
}

}  // namespace

FastPathCounts& fastPathCounts() { return hooks().counts; }

void resetFastPathCounts() {
  FastPathCounts& counts = hooks().counts;
  counts.editingWorkersStarted = 0;
  counts.chunksEditedByWorkers = 0;
  counts.ringSlotsReused = 0;
  counts.readAheadWorkersStarted = 0;
  counts.cellsAdopted = 0;
  counts.readAheadBytesRead = 0;
  counts.plainRecordsRead = 0;
  counts.directBlocksWritten = 0;
}

void requestWorkers(unsigned workers) { hooks().workers.store(workers, std::memory_order_relaxed); }
unsigned requestedWorkers() { return hooks().workers.load(std::memory_order_relaxed); }

void failThreadStarts(unsigned successes, ThreadStartFailure failure) {
  hooks().successesBeforeFailure.store(successes, std::memory_order_relaxed);
  hooks().failure.store(failure, std::memory_order_relaxed);
}

void throwIfThreadStartFails() {
  Hooks& state = hooks();
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

void setReadAhead(const ReadAhead& readAhead) { hooks().readAhead = readAhead; }
const ReadAhead& readAhead() { return hooks().readAhead; }

void setDirectWrites(const DirectWrites& directWrites) { hooks().directWrites = directWrites; }
const DirectWrites& directWrites() { return hooks().directWrites; }

void setInputBufferLimits(std::size_t initialCapacity, std::size_t maximumCapacity) {
  hooks().inputLimits = {initialCapacity != 0 ? initialCapacity : kDefaultInputLimits.initialCapacity,
                         maximumCapacity != 0 ? maximumCapacity : kDefaultInputLimits.maximumCapacity};
}
const InputBufferLimits& inputBufferLimits() { return hooks().inputLimits; }

}  // namespace recio::test_hooks

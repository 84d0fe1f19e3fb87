// What tests can see of the fast paths, and what they can ask of them. Only test
// programs call these: nothing here is reachable from the command line or the
// environment, so a user's run always makes the machine's own choices.
#pragma once

#include <atomic>
#include <cstdint>

namespace recio {

// What the fast paths did since the last reset. Counted per chunk or per run, never
// per record.
struct FastPathCounts {
  std::atomic<std::uint64_t> editingWorkersStarted{0};
  std::atomic<std::uint64_t> chunksEditedByWorkers{0};
  // Chunks edited into a ring slot that an earlier chunk had used.
  std::atomic<std::uint64_t> ringSlotsReused{0};
  std::atomic<std::uint64_t> readAheadWorkersStarted{0};
  // Cells of a model's second half that the statements took from the read-ahead.
  std::atomic<std::uint64_t> cellsAdopted{0};
  // Bytes of the model that the read-ahead's worker read, counting and converting.
  std::atomic<std::uint64_t> readAheadBytesRead{0};
  // Records that runs of read statements took as plain records, without the general rules.
  std::atomic<std::uint64_t> plainRecordsRead{0};
};

FastPathCounts& fastPathCounts();
void resetFastPathCounts();

// The workers every fast path asks for, whatever the processor count; 0 gives the
// choice back to the machine.
void requestWorkersForTesting(unsigned workers);

// Thread starts after the next `successes` fail as the system (NoThread) or the memory
// (NoMemory) would make them fail, until asked again with None.
enum class ThreadStartFailure { None, NoThread, NoMemory };
void failThreadStartsForTesting(unsigned successes, ThreadStartFailure failure);

}  // namespace recio

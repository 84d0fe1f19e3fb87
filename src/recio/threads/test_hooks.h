// The one seam between the runtime and its tests: what tests can see of the fast paths,
// and what they can ask of them and of the units. Only test programs, fuzz targets and
// benchmarks call the setters: nothing here is reachable from the command line or the
// environment, so a user's run always makes the machine's own choices. Each value is
// read once per run or per connection, never per record.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace recio::test_hooks {

// --- What the fast paths did since the last reset. Counted per chunk or per run.
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
  // Blocks of buffered output written past the page cache.
  std::atomic<std::uint64_t> directBlocksWritten{0};
};

FastPathCounts& fastPathCounts();
void resetFastPathCounts();

// --- Worker threads.

// The workers every fast path asks for, whatever the processor count; 0 gives the
// choice back to the machine.
void requestWorkers(unsigned workers);
unsigned requestedWorkers();

// Thread starts after the next `successes` fail as the system (NoThread) or the memory
// (NoMemory) would make them fail, until asked again with None.
enum class ThreadStartFailure { None, NoThread, NoMemory };
void failThreadStarts(unsigned successes, ThreadStartFailure failure);
// Throws as the thread library would when the next start is to fail.
void throwIfThreadStartFails();

// --- The read-ahead of a model's second half (read_statements.h). The defaults are
// the machine's own choice.
struct ReadAhead {
  bool allowed = true;
  // The smallest file whose second half is read ahead.
  std::uint64_t minimumBytes = 1 << 20;
  // The statements wait for the worker to count the first half's lines, so that it
  // takes part however fast they would have finished a small file alone.
  bool awaitLineCount = false;
  // The first statement before which the statements ask for the worker's count, as they
  // would on a machine where the count comes late; past the first half's lines, they
  // have left the split behind.
  std::uint64_t firstCountRequest = 0;
};
// Set between runs, on the thread that runs them; ReadAhead{} restores the defaults.
void setReadAhead(const ReadAhead& readAhead);
const ReadAhead& readAhead();

// --- Buffered output past the page cache (units/unit_records.cpp). The defaults are the
// machine's own choice.
struct DirectWrites {
  bool allowed = true;
  // The bytes a table has taken through the page cache before its writes go past it: a
  // table that the page cache holds whole is written there, and the run need not wait
  // for the disk.
  std::uint64_t minimumBytes = std::uint64_t{1} << 30;
};
// Set between runs, on the thread that runs them; DirectWrites{} restores the defaults.
// Read at a unit's block write-outs until the unit has begun direct writes or found
// that its file takes none.
void setDirectWrites(const DirectWrites& directWrites);
const DirectWrites& directWrites();

// --- Units' input buffers: the first capacity and the largest one may grow to before a
// doubling counts as failed (error 98). 0 restores each default. Read at every growth.
struct InputBufferLimits {
  std::size_t initialCapacity;
  std::size_t maximumCapacity;
};
void setInputBufferLimits(std::size_t initialCapacity, std::size_t maximumCapacity);
const InputBufferLimits& inputBufferLimits();

}  // namespace recio::test_hooks

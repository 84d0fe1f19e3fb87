// When a run of one-value read statements reads its file's second half ahead on a
// worker (read_statements.h), and the one override that tests steer it with.
#pragma once

#include <cstdint>

namespace recio {

struct ReadAheadPolicy {
  bool allowed = true;
  // The smallest file whose second half is read ahead: below a megabyte the worker's
  // start and the hand-over cost about what the statements save.
  std::uint64_t minimumBytes = std::uint64_t{1} << 20;
  // For tests: the statements wait for the worker to count the first half's lines, so
  // that it takes part however fast they would have finished a small file alone.
  bool awaitLineCount = false;
  // For tests: the first statement before which the statements ask for the worker's
  // count, as they would on a machine where the count comes late; past the first half's
  // lines, they have left the split behind.
  std::uint64_t firstCountRequest = 0;
};

// For tests, between runs, on the thread that runs them: ReadAheadPolicy{} gives the
// choice back to the machine.
void overrideReadAheadPolicyForTests(const ReadAheadPolicy& policy);

}  // namespace recio

namespace recio::reader {

// Read once at the start of each run of read statements.
const ReadAheadPolicy& readAheadPolicy();

}  // namespace recio::reader

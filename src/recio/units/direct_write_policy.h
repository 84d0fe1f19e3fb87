// When a buffered unit's blocks go past the page cache (block_output.cpp), and the one
// override that tests steer it with.
#pragma once

#include <cstdint>

namespace recio {

struct DirectWritePolicy {
  bool allowed = true;
  // The bytes a table has taken through the page cache before its writes go past it: a
  // table that the page cache holds whole is written there, and the run need not wait
  // for the disk.
  std::uint64_t minimumBytes = std::uint64_t{1} << 30;
};

// Read at a unit's block write-outs until the unit has begun direct writes or found
// that its file takes none: once per block, never per record.
const DirectWritePolicy& directWritePolicy();

// For tests, between runs, on the thread that runs them: DirectWritePolicy{} gives the
// choice back to the machine.
void overrideDirectWritePolicyForTests(const DirectWritePolicy& policy);

}  // namespace recio

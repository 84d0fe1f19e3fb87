// How large a unit's input buffer starts and how far it may grow, and the one override
// that tests steer them with.
#pragma once

#include <cstddef>

namespace recio {

struct InputBufferLimits {
  // A line that fits with its terminator is read without the buffer ever growing.
  std::size_t initialCapacity = 128 * 1024;
  // The largest capacity a doubling may reach before it counts as failed (error 98);
  // for a run, only the memory bounds it.
  std::size_t maximumCapacity = static_cast<std::size_t>(-1);
};

// Read when a buffer is first allocated and at each doubling, never per record.
const InputBufferLimits& inputBufferLimits();

// For tests, between runs: InputBufferLimits{} gives the choice back to the machine.
void overrideInputBufferLimitsForTests(const InputBufferLimits& limits);

}  // namespace recio

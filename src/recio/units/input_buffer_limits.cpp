// The input buffers' limits: the machine's defaults unless a test overrides them.
#include "recio/units/input_buffer_limits.h"

namespace recio {
namespace {

InputBufferLimits& limits() {
  static InputBufferLimits value;
  return value;
}

}  // namespace

const InputBufferLimits& inputBufferLimits() { return limits(); }

void overrideInputBufferLimitsForTests(std::size_t initialCapacity, std::size_t maximumCapacity) {
  constexpr InputBufferLimits kDefaults;
  limits() = {initialCapacity != 0 ? initialCapacity : kDefaults.initialCapacity,
              maximumCapacity != 0 ? maximumCapacity : kDefaults.maximumCapacity};
}

}  // namespace recio

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

void overrideInputBufferLimitsForTests(const InputBufferLimits& replacement) { limits() = replacement; }

}  // namespace recio

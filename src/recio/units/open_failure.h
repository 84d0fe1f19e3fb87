// The message an open failure reports. The platform says what kind of failure it was, in
// the same terms on every system, and the numbers are chosen here once for all of them.
// Internal to units/: no other module includes this header.
#pragma once

#include <cstdint>

#include "recio/platform/platform.h"

namespace recio {

// 0 for Failure::None.
std::int32_t messageForOpenFailure(platform::Failure failure);

}  // namespace recio

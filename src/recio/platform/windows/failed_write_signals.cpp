// The platform layer on Windows, the signals of failed writes: Windows sends none, so there
// is nothing to turn off.
#include "recio/platform/platform.h"

namespace recio::platform {

// Windows has no signal for either: a write past a limit or into a closed pipe fails.
void failWritesPastFileSizeLimit() {}
void failWritesToClosedPipes() {}

}  // namespace recio::platform

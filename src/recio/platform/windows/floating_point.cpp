// The platform layer on Windows, floating-point control: flush-to-zero.
#include "recio/platform/platform.h"

#include <xmmintrin.h>

namespace recio::platform {

void enableFlushToZero() { _mm_setcsr(_mm_getcsr() | _MM_FLUSH_ZERO_ON); }

}  // namespace recio::platform

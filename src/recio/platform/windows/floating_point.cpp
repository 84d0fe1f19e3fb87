// The platform layer on Windows, floating-point control: flush-to-zero on x86-64, where
// the control register's mode is exactly the rule that the mesh's arithmetic follows by
// itself (processor/flush_to_zero.h), so that setting it changes no result.
// Any other processor is left as it is.
#include "recio/platform/platform.h"

#if defined(__x86_64__) || defined(_M_X64)
#include <xmmintrin.h>
#endif

namespace recio::platform {

void enableFlushToZero() {
#if defined(__x86_64__) || defined(_M_X64)
  _mm_setcsr(_mm_getcsr() | _MM_FLUSH_ZERO_ON);
#endif
}

}  // namespace recio::platform

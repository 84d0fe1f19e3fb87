// The platform layer on POSIX, floating-point control: flush-to-zero.
#include "recio/platform/platform.h"

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif

namespace recio::platform {

void enableFlushToZero() {
#if defined(__x86_64__) || defined(__i386__)
  _mm_setcsr(_mm_getcsr() | _MM_FLUSH_ZERO_ON);
#endif
}

}  // namespace recio::platform

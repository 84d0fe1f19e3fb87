// The platform layer on POSIX, floating-point control: flush-to-zero on x86, where the
// control register's mode is exactly the rule that the mesh's arithmetic follows by
// itself (processor/flush_to_zero.h), so that setting it changes no result. Other
// processors are left as they are: AArch64's FZ bit would also take subnormal operands
// as zero, which the rule does not, and most processors have no such mode.
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

// The platform layer on Windows, floating-point control: flush-to-zero.
#include "recio/platform/platform.h"

#if !defined(__x86_64__) && !defined(_M_X64)
#error "flush-to-zero is set only for x86-64 here: the table's digits depend on it"
#endif

#include <xmmintrin.h>

namespace recio::platform {

void enableFlushToZero() { _mm_setcsr(_mm_getcsr() | _MM_FLUSH_ZERO_ON); }

}  // namespace recio::platform

// The platform layer on POSIX, floating-point control: flush-to-zero, set on every
// processor the program is built for, so that a result too small for a normal number is
// zero on each of them and the output is the same. Any other processor is refused here.
#include "recio/platform/platform.h"

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#elif defined(__aarch64__)
#include <cstdint>
#else
#error "recio: enableFlushToZero knows flush-to-zero on x86-64 and AArch64 only; without it this processor's results that are too small for a normal number would differ from theirs, and so would the output"
#endif

namespace recio::platform {

void enableFlushToZero() {
#if defined(__x86_64__) || defined(__i386__)
  _mm_setcsr(_mm_getcsr() | _MM_FLUSH_ZERO_ON);
#elif defined(__aarch64__)
  // FPCR bit 24, FZ. Inline assembly rather than GCC's __builtin_aarch64_get_fpcr and
  // __builtin_aarch64_set_fpcr, so that clang builds it too.
  constexpr std::uint64_t kFlushToZero = std::uint64_t{1} << 24;
  std::uint64_t control = 0;
  __asm__ __volatile__("mrs %0, fpcr" : "=r"(control));
  __asm__ __volatile__("msr fpcr, %0" : : "r"(control | kFlushToZero));
#endif
}

}  // namespace recio::platform

// What the POSIX files of the platform layer share for a system call that a signal may
// interrupt: the call made again until it ends for another reason.
#pragma once

#include <errno.h>

namespace recio::platform {

// Makes `call` (a system call that gives -1 and sets errno when it fails) and makes it
// again for as long as it fails with EINTR: a signal that came in before the call had
// done anything, which is no failure of the call's own. Returns the last call's result,
// errno still the one that call set.
template <typename Call>
auto retryInterrupted(Call call) -> decltype(call()) {
  for (;;) {
    const auto result = call();
    if (result >= 0 || errno != EINTR) return result;
  }
}

}  // namespace recio::platform

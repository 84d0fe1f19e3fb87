// The platform layer on POSIX, the signals of failed writes: a write past the file-size
// limit (SIGXFSZ) or into a pipe whose reader has gone (SIGPIPE) fails with its error
// instead of ending the process by the signal.
#include "recio/platform/platform.h"

#include <signal.h>

namespace recio::platform {

namespace {

void ignoreSignal(int number) {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(number, &ignore, nullptr);
}

}  // namespace

void failWritesPastFileSizeLimit() { ignoreSignal(SIGXFSZ); }

void failWritesToClosedPipes() { ignoreSignal(SIGPIPE); }

}  // namespace recio::platform

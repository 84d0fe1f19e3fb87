// The platform layer on POSIX, the process: the arguments main received, a thread that
// waits for the end, the debugger's presence and its trap, and the processors the
// process may run on.
#include "recio/platform/platform.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace recio::platform {
namespace {

int savedArgc = 0;
char** savedArgv = nullptr;

}  // namespace

void setArguments(int argc, char** argv) {
  savedArgc = argc;
  savedArgv = argv;
}

std::string commandLine(ArgumentJoiner join) { return join(savedArgc, savedArgv); }

void suspendThread() {
  for (;;) ::pause();
}

bool isDebuggerPresent() {
  int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char text[4096];
  ssize_t length = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  if (length <= 0) return false;
  text[length] = '\0';
  const char* field = std::strstr(text, "TracerPid:");
  return field != nullptr && std::atoi(field + 10) != 0;
}

void breakpointTrap() { ::raise(SIGTRAP); }

unsigned usableProcessors() {
#if defined(__linux__)
  // The affinity mask is what taskset, cgroups' cpusets and batch systems restrict. A
  // machine with more processors than a cpu_set_t holds fails the call, and is counted
  // below instead.
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  if (::sched_getaffinity(0, sizeof allowed, &allowed) == 0) {
    const int count = CPU_COUNT(&allowed);
    return count > 0 ? static_cast<unsigned>(count) : 1;
  }
#endif
  const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<unsigned>(online) : 1;
}

}  // namespace recio::platform

// The platform layer on Windows, the process: the command line as the process got it, a
// thread that waits for the end, the debugger's presence and its trap, and the
// processors the process may run on.
#include "recio/platform/platform.h"

#include <string>

#include "recio/platform/windows/win32.h"

namespace recio::platform {

// The command line is the process's own string: nothing to keep.
void setArguments(int, char**) {}

// The process got one string: the program's own joiner has nothing to join.
std::string commandLine(ArgumentJoiner) {
  const char* line = GetCommandLineA();
  return line != nullptr ? std::string(line) : std::string();
}

void suspendThread() {
  for (;;) Sleep(INFINITE);
}

bool isDebuggerPresent() { return IsDebuggerPresent() != FALSE; }

void breakpointTrap() { DebugBreak(); }

unsigned usableProcessors() {
  // The process's affinity within its processor group: what a job object or
  // `start /affinity` restricts.
  DWORD_PTR processMask = 0;
  DWORD_PTR systemMask = 0;
  if (GetProcessAffinityMask(GetCurrentProcess(), &processMask, &systemMask) == 0 || processMask == 0) {
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    return system.dwNumberOfProcessors > 0 ? system.dwNumberOfProcessors : 1;
  }
  unsigned count = 0;
  for (; processMask != 0; processMask &= processMask - 1) ++count;
  return count;
}

}  // namespace recio::platform

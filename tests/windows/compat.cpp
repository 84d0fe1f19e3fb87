#include "windows/compat.h"

#include <direct.h>
#include <errno.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" char* mkdtemp(char* pattern) {
  const std::size_t length = std::strlen(pattern);
  if (length < 6 || std::strcmp(pattern + length - 6, "XXXXXX") != 0) {
    errno = EINVAL;
    return nullptr;
  }
  static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  unsigned long long seed = GetTickCount64() ^ (static_cast<unsigned long long>(GetCurrentProcessId()) << 20);
  for (int attempt = 0; attempt < 100; ++attempt) {
    unsigned long long value = seed + attempt * 7919ULL;
    for (std::size_t index = length - 6; index < length; ++index) {
      pattern[index] = kDigits[value % 36];
      value /= 36;
    }
    if (_mkdir(pattern) == 0) return pattern;
    if (errno != EEXIST) return nullptr;
  }
  return nullptr;
}

extern "C" int setenv(const char* name, const char* value, int overwrite) {
  if (!overwrite && std::getenv(name) != nullptr) return 0;
  return _putenv_s(name, value) == 0 ? 0 : -1;
}

extern "C" int unsetenv(const char* name) { return _putenv_s(name, "") == 0 ? 0 : -1; }

extern "C" int kill(int pid, int signal) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (process == nullptr) {
    errno = GetLastError() == ERROR_INVALID_PARAMETER ? ESRCH : EPERM;
    return -1;
  }
  // A process that has ended but whose handle someone still holds is gone as well.
  const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  if (!running) {
    errno = ESRCH;
    return -1;
  }
  if (signal != 0) {
    errno = EINVAL;
    return -1;
  }
  return 0;
}

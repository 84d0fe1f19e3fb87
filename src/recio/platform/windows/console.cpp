// The platform layer on Windows, the standard streams: the standard handles, read-only
// stand-ins for the ones missing when the program starts, and standard error moved onto
// a file.
#include "recio/platform/platform.h"

#include "recio/platform/windows/win32.h"

namespace recio::platform {

void reserveStandardStreams() {
  static constexpr DWORD kStreams[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
  for (DWORD stream : kStreams) {
    HANDLE current = GetStdHandle(stream);
    if (current != nullptr && current != INVALID_HANDLE_VALUE) continue;
    // Read-only: every write fails, as on a closed stream, and nothing is ever read.
    HANDLE none = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (none != INVALID_HANDLE_VALUE) SetStdHandle(stream, none);
  }
}

FileHandle standardOutput() { return fromHandle(GetStdHandle(STD_OUTPUT_HANDLE)); }
FileHandle standardError() { return fromHandle(GetStdHandle(STD_ERROR_HANDLE)); }

// The console's own names (CON, CONOUT$) are the open's (files.cpp).
FileHandle standardOutputNamed(std::string_view) { return kNoFile; }

// The handle itself becomes standard error: nothing is left to close.
bool replaceStandardError(FileHandle file) {
  if (SetStdHandle(STD_ERROR_HANDLE, toHandle(file))) return true;
  CloseHandle(toHandle(file));
  return false;
}

}  // namespace recio::platform

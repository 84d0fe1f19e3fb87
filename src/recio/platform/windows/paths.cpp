// The platform layer on Windows, paths: a name's full path as the system tidies it, and
// the characters that separate a path's parts.
#include "recio/platform/platform.h"

#include <string>

#include "recio/platform/windows/win32.h"

namespace recio::platform {

std::string fullPath(std::string_view name, std::size_t maximumLength) {
  // A name with a NUL inside cannot be resolved; the caller rejects it as written.
  if (name.empty() || name.find('\0') != std::string_view::npos) return std::string(name);
  std::string written(name);
  std::string full(MAX_PATH, '\0');
  for (;;) {
    DWORD length = GetFullPathNameA(written.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) return written;
    if (length < full.size()) {
      full.resize(length);
      break;
    }
    full.resize(length);  // the size asked for, terminator included
  }
  if (full.size() > maximumLength) return written;
  return full;
}

// The drive's colon too: "C:x" names x in drive C's current folder.
bool isPathSeparator(char c) { return c == '\\' || c == '/' || c == ':'; }

}  // namespace recio::platform

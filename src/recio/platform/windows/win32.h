// What the Windows files of the platform layer share: <windows.h> (lean), and the
// conversions between a FileHandle and the HANDLE it holds.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "recio/platform/platform.h"

namespace recio::platform {

inline HANDLE toHandle(FileHandle handle) { return reinterpret_cast<HANDLE>(handle); }
inline FileHandle fromHandle(HANDLE handle) { return reinterpret_cast<FileHandle>(handle); }

}  // namespace recio::platform

// The platform layer on POSIX, direct writes: whether a file's system writes past the
// page cache, and the O_DIRECT flag that turns it on and off.
#include "recio/platform/platform.h"

#include <fcntl.h>
#include <sys/stat.h>

namespace recio::platform {

#if defined(__linux__) && defined(O_DIRECT) && defined(STATX_DIOALIGN)

// statx reports the alignments only for a file system that really writes past its cache;
// kernels before 6.1 report none, and keep writing through the page cache.
std::size_t directWriteAlignment(FileHandle handle) {
  struct statx info;
  if (::statx(static_cast<int>(handle), "", AT_EMPTY_PATH, STATX_DIOALIGN, &info) != 0) return 0;
  if ((info.stx_mask & STATX_DIOALIGN) == 0 || info.stx_dio_offset_align == 0) return 0;
  const std::size_t alignment =
      info.stx_dio_offset_align > info.stx_dio_mem_align ? info.stx_dio_offset_align : info.stx_dio_mem_align;
  return (alignment & (alignment - 1)) == 0 ? alignment : 0;
}

bool setDirectWrites(FileHandle handle, bool on) {
  const int flags = ::fcntl(static_cast<int>(handle), F_GETFL);
  if (flags < 0) return false;
  return ::fcntl(static_cast<int>(handle), F_SETFL, on ? flags | O_DIRECT : flags & ~O_DIRECT) == 0;
}

#else

std::size_t directWriteAlignment(FileHandle) { return 0; }
bool setDirectWrites(FileHandle, bool on) { return !on; }

#endif

}  // namespace recio::platform

// The platform layer on Windows, direct writes: none are made. Windows has unbuffered
// writes (FILE_FLAG_NO_BUFFERING, for an open file through a second handle from
// ReOpenFile), but they are chosen per handle rather than per write, so a table's
// unaligned tail would need that second handle's own position kept in step; files keep
// the system cache's path until that is built and measured on Windows itself.
#include "recio/platform/platform.h"

namespace recio::platform {

std::size_t directWriteAlignment(FileHandle) { return 0; }

bool setDirectWrites(FileHandle, bool on) { return !on; }

}  // namespace recio::platform

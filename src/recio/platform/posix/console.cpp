// The platform layer on POSIX, the standard streams: their descriptors, sealed stand-ins
// for the ones closed when the program starts, standard output named as a file, and
// standard error moved onto a file.
#include "recio/platform/platform.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace recio::platform {

FileHandle standardOutput() { return STDOUT_FILENO; }
FileHandle standardError() { return STDERR_FILENO; }

namespace {

// An empty file sealed against every change: a read finds its end at once, and a write
// fails (EPERM) through this descriptor and through any opened anew on the same file,
// as /dev/stdout or /proc/self/fd/N opens it. /dev/null would take such a write and
// lose it. -1 where the system has no sealed memory files.
int sealedEmptyFile() {
#if defined(__linux__) && defined(MFD_ALLOW_SEALING)
  const int fd = ::memfd_create("closed-stream", MFD_ALLOW_SEALING);
  if (fd < 0) return -1;
  if (::fcntl(fd, F_ADD_SEALS, F_SEAL_WRITE | F_SEAL_GROW | F_SEAL_SHRINK | F_SEAL_SEAL) == 0) return fd;
  ::close(fd);
#endif
  return -1;
}

}  // namespace

void reserveStandardStreams() {
  for (int stream = STDIN_FILENO; stream <= STDERR_FILENO; ++stream) {
    if (::fcntl(stream, F_GETFD) != -1 || errno != EBADF) continue;
    // Each call returns the lowest free descriptor: this one. Without sealed files, the
    // devices come closest: /dev/null reads nothing, and /dev/full, opened anew for
    // writing, fails every write (ENOSPC); both are opened read-only, so that a write
    // through this descriptor fails too.
    int fd = sealedEmptyFile();
    if (fd < 0) fd = ::open(stream == STDIN_FILENO ? "/dev/null" : "/dev/full", O_RDONLY);
    if (fd >= 0 && fd != stream) ::close(fd);
  }
}

FileHandle standardOutputNamed(std::string_view fullPath) {
  for (std::string_view name : {"/dev/stdout", "/dev/fd/1", "/proc/self/fd/1"}) {
    if (fullPath == name) return STDOUT_FILENO;
  }
  return kNoFile;
}

bool replaceStandardError(FileHandle file) {
  bool moved = ::dup2(static_cast<int>(file), STDERR_FILENO) >= 0;
  ::close(static_cast<int>(file));
  return moved;
}

}  // namespace recio::platform

// The platform layer on POSIX, files: opening (and why an open failed), identities,
// reading, writing, positions, sizes and closing, on descriptors.
#include "recio/platform/platform.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cstdio>

#include "recio/platform/posix/retry_interrupted.h"
#include "recio/platform/posix/sanitized_build.h"

// Linux's raw system call, outside the sanitizers: they check the bytes a write hands
// over, and model its descriptor, only through the C library's write(), which they
// intercept. syscall() is Linux's own (deprecated on macOS, missing on some BSDs), so
// every other system has write().
#if defined(__linux__) && !defined(RECIO_SANITIZED_BUILD)
#define RECIO_RAW_WRITE 1
#include <sys/syscall.h>
#endif

namespace recio::platform {
namespace {

// A record that already carries its terminator is one piece: plain write() costs the
// kernel less than gathering a one-element vector, and default mode makes one call a
// record. On Linux it is made through syscall(), which is not a cancellation point: the
// C library's write() of a process with threads (the console-event thread is always
// there) turns asynchronous cancellation on and off around every call, and this program
// cancels no thread.
ssize_t writeOnePiece(FileHandle handle, const void* bytes, std::size_t count) {
#if defined(RECIO_RAW_WRITE)
  return ::syscall(SYS_write, static_cast<int>(handle), bytes, count);
#else
  return ::write(static_cast<int>(handle), bytes, count);
#endif
}

Failure failureOf(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return Failure::NotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return Failure::Denied;
    case ENAMETOOLONG:
    case EINVAL:
    case EILSEQ:
      return Failure::BadName;
    case ENXIO:
    case ENODEV:
      return Failure::NoDevice;
    default:
      return Failure::Other;
  }
}

OpenResult failure(int error) {
  OpenResult result;
  result.failure = failureOf(error);
  result.osError = error;
  return result;
}

}  // namespace

OpenResult openFile(const std::string& name, OpenMode mode) {
  OpenResult result;
  if (mode == OpenMode::Read) {
    int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return failure(errno);
    struct stat info;
    if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
      // Linux opens a directory for reading without complaint; as a file it cannot be read.
      ::close(fd);
      return failure(EISDIR);
    }
    // Others may read while we read. When a writer holds the file the read goes on
    // without the shared lock: reading a file that is still being written is allowed.
    if (::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno != EWOULDBLOCK) {
      int error = errno;
      ::close(fd);
      return failure(error);
    }
    result.handle = fd;
    return result;
  }
  int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return failure(errno);
  struct stat info;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    // Someone else has the file open through a lock of their own: no writing beside them.
    int error = errno == EWOULDBLOCK ? EBUSY : errno;
    ::close(fd);
    return failure(error);
  }
  result.handle = fd;
  return result;
}

OpenResult openConsoleFile(const std::string& name) {
  OpenResult result;
  int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return failure(errno);
  result.handle = fd;
  return result;
}

FileHandle openForAppending(const char* path) {
  int fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  return fd < 0 ? kNoFile : fd;
}

bool fileIdentity(FileHandle handle, FileIdentity& identity) {
  struct stat info;
  if (::fstat(static_cast<int>(handle), &info) != 0) return false;
  identity.volume = static_cast<std::uint64_t>(info.st_dev);
  identity.file = static_cast<std::uint64_t>(info.st_ino);
  return true;
}

bool writePosition(FileHandle handle, std::uint64_t& offset, bool& appending) {
  const int flags = ::fcntl(static_cast<int>(handle), F_GETFL);
  if (flags < 0) return false;
  appending = (flags & O_APPEND) != 0;
  struct stat info;
  const off_t position = appending ? (::fstat(static_cast<int>(handle), &info) == 0 ? info.st_size : -1)
                                   : ::lseek(static_cast<int>(handle), 0, SEEK_CUR);
  if (position < 0) return false;
  offset = static_cast<std::uint64_t>(position);
  return true;
}

bool isDiskFile(FileHandle handle) {
  struct stat info;
  return ::fstat(handle, &info) == 0 && S_ISREG(info.st_mode);
}

long readFile(FileHandle handle, char* buffer, std::size_t capacity, int& osError) {
  const ssize_t count = retryInterrupted([&] { return ::read(handle, buffer, capacity); });
  if (count < 0) osError = errno;
  return count < 0 ? -1 : static_cast<long>(count);
}

bool diskFileSize(FileHandle handle, std::uint64_t& size) {
  struct stat info;
  if (::fstat(handle, &info) != 0 || !S_ISREG(info.st_mode)) return false;
  size = static_cast<std::uint64_t>(info.st_size);
  return true;
}

// pread neither uses nor moves the position, so a duplicate descriptor would serve; but
// a duplicate shares the open file and with it the kernel's read-ahead, which two readers
// far apart in one file keep resetting for each other: from a cold cache the model's two
// halves were read markedly slower so. On Linux the file is opened anew through
// /proc/self/fd, which gives the reader a read-ahead of its own; where that cannot be
// had, the duplicate.
FileHandle openSecondReader(FileHandle handle) {
#if defined(__linux__)
  // Opened anew, the reader has a read-ahead of its own. The name is only as good as
  // the /proc mounted there: in a sandbox with a /proc of its own it may name another
  // file, so what opens is kept only when it is the same file.
  char name[32];
  std::snprintf(name, sizeof name, "/proc/self/fd/%d", static_cast<int>(handle));
  const int own = ::open(name, O_RDONLY | O_CLOEXEC);
  if (own >= 0) {
    struct stat first;
    struct stat second;
    if (::fstat(static_cast<int>(handle), &first) == 0 && ::fstat(own, &second) == 0 && first.st_dev == second.st_dev &&
        first.st_ino == second.st_ino) {
      return own;
    }
    ::close(own);
  }
#endif
  const int copy = ::fcntl(static_cast<int>(handle), F_DUPFD_CLOEXEC, 0);
  return copy < 0 ? kNoFile : copy;
}

long readFileAt(FileHandle handle, std::uint64_t offset, char* buffer, std::size_t capacity, int& osError) {
  const ssize_t count =
      retryInterrupted([&] { return ::pread(static_cast<int>(handle), buffer, capacity, static_cast<off_t>(offset)); });
  if (count < 0) osError = errno;
  return count < 0 ? -1 : static_cast<long>(count);
}

bool seekFile(FileHandle handle, std::uint64_t offset, int& osError) {
  if (::lseek(static_cast<int>(handle), static_cast<off_t>(offset), SEEK_SET) < 0) {
    osError = errno;
    return false;
  }
  return true;
}

bool isEndOfInputError(int osError) { return osError == EPIPE; }

bool isClosedPipeError(int osError) { return osError == EPIPE; }

bool writeFile(FileHandle handle, const char* bytes, std::size_t count, const char* tail, std::size_t tailCount,
               int& osError) {
  struct iovec pieces[2] = {{const_cast<char*>(bytes), count}, {const_cast<char*>(tail), tailCount}};
  int first = 0;
  while (first < 2) {
    if (pieces[first].iov_len == 0) {
      ++first;
      continue;
    }
    const bool onePieceLeft = first == 1 || pieces[1].iov_len == 0;
    const ssize_t written = retryInterrupted([&] {
      return onePieceLeft ? writeOnePiece(handle, pieces[first].iov_base, pieces[first].iov_len)
                          : ::writev(handle, pieces + first, 2 - first);
    });
    if (written < 0) {
      osError = errno;
      return false;
    }
    if (written == 0) {
      osError = EIO;
      return false;
    }
    // A partial write (a full pipe, a signal) goes on with what is left.
    std::size_t done = static_cast<std::size_t>(written);
    while (first < 2 && done >= pieces[first].iov_len) {
      done -= pieces[first].iov_len;
      pieces[first].iov_len = 0;
      ++first;
    }
    if (first < 2) {
      pieces[first].iov_base = static_cast<char*>(pieces[first].iov_base) + done;
      pieces[first].iov_len -= done;
    }
  }
  return true;
}

long writeOnce(FileHandle handle, const char* bytes, std::size_t count, int& osError) {
  const ssize_t written = retryInterrupted([&] { return writeOnePiece(handle, bytes, count); });
  if (written < 0) osError = errno;
  return written < 0 ? -1 : static_cast<long>(written);
}

bool truncateHere(FileHandle handle, int& osError) {
  off_t position = ::lseek(handle, 0, SEEK_CUR);
  if (position < 0 || ::ftruncate(handle, position) != 0) {
    osError = errno;
    return false;
  }
  return true;
}

bool truncateAt(FileHandle handle, std::uint64_t size, int& osError) {
  if (retryInterrupted([&] { return ::ftruncate(handle, static_cast<off_t>(size)); }) == 0) return true;
  osError = errno;
  return false;
}

bool closeFile(FileHandle handle, int& osError) {
  if (::close(handle) != 0 && errno != EINTR) {
    osError = errno;
    return false;
  }
  return true;
}

}  // namespace recio::platform

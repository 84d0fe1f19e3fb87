// The platform layer on Windows, files: opening (and why an open failed, in the kinds the
// POSIX layer gives), identities, reading, writing, positions, sizes and closing, on
// handles, through the ANSI entry points, as the program's file names are bytes.
#include "recio/platform/platform.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "recio/platform/windows/win32.h"

namespace recio::platform {
namespace {

// The largest count one ReadFile or WriteFile call is given. Their counts are 32-bit
// (DWORD) and the bytes a read got come back as a long, 32-bit on Windows too, while a
// buffer's size is a size_t: a longer transfer goes a piece at a time (a write goes on
// with what is left, a read returns what it got), 1 GiB at most.
constexpr DWORD kLargestTransfer = 0x40000000u;

// The same kinds as the POSIX layer gives for the corresponding errno values.
struct ErrorKind {
  DWORD error;
  Failure failure;
};
// One error to a line.
// clang-format off
constexpr ErrorKind kOpenErrors[] = {
    {ERROR_FILE_NOT_FOUND, Failure::NotFound},
    {ERROR_PATH_NOT_FOUND, Failure::NotFound},
    {ERROR_ACCESS_DENIED, Failure::Denied},
    {ERROR_WRITE_PROTECT, Failure::Denied},
    {ERROR_INVALID_NAME, Failure::BadName},
    {ERROR_BAD_PATHNAME, Failure::BadName},
    {ERROR_FILENAME_EXCED_RANGE, Failure::BadName},
    {ERROR_DIRECTORY, Failure::BadName},
    {ERROR_INVALID_DRIVE, Failure::NoDevice},
    {ERROR_BAD_UNIT, Failure::NoDevice},
    {ERROR_NOT_READY, Failure::NoDevice},
    {ERROR_BAD_NETPATH, Failure::NoDevice},
    {ERROR_BAD_NET_NAME, Failure::NoDevice},
    // A sharing violation that remains, too many open files and everything else: Other.
};
// clang-format on

Failure failureOf(DWORD error) {
  for (const ErrorKind& entry : kOpenErrors) {
    if (entry.error == error) return entry.failure;
  }
  return Failure::Other;
}

OpenResult failure(DWORD error) {
  OpenResult result;
  result.failure = failureOf(error);
  result.osError = static_cast<int>(error);
  return result;
}

OpenResult opened(HANDLE handle) {
  if (handle == INVALID_HANDLE_VALUE) return failure(GetLastError());
  OpenResult result;
  result.handle = fromHandle(handle);
  return result;
}

// A Win32 call's success; on failure its GetLastError code goes to osError.
bool succeeded(BOOL result, int& osError) {
  if (!result) osError = static_cast<int>(GetLastError());
  return result != FALSE;
}

bool writeAll(HANDLE handle, const char* bytes, std::size_t count, int& osError) {
  while (count > 0) {
    DWORD piece = count > kLargestTransfer ? kLargestTransfer : static_cast<DWORD>(count);
    DWORD written = 0;
    if (!succeeded(WriteFile(handle, bytes, piece, &written, nullptr), osError)) return false;
    if (written == 0) {
      osError = ERROR_WRITE_FAULT;
      return false;
    }
    bytes += written;
    count -= written;
  }
  return true;
}

// GetFullPathNameA turns the console's device names into \\.\CON and \\.\CONOUT$.
bool isConsoleOutputName(const std::string& path) {
  return lstrcmpiA(path.c_str(), "\\\\.\\CON") == 0 || lstrcmpiA(path.c_str(), "\\\\.\\CONOUT$") == 0;
}

// The console's screen buffer; a process without a console (started with pipes, or
// under wine without a terminal) writes to its standard output instead, as the Linux
// build does with /dev/stdout. A copy of the handle, so that the unit's close leaves
// the process's own standard output open.
OpenResult openConsoleOutput() {
  HANDLE console = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (console != INVALID_HANDLE_VALUE) return opened(console);
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  HANDLE copy = INVALID_HANDLE_VALUE;
  if (output == nullptr || output == INVALID_HANDLE_VALUE ||
      !DuplicateHandle(GetCurrentProcess(), output, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    return failure(ERROR_INVALID_HANDLE);
  }
  return opened(copy);
}

}  // namespace

// The system tidies a name as written by the same rules that GetFullPathNameA follows
// (fullPath), so the name is opened as written.
OpenResult openFile(const std::string& name, OpenMode mode) {
  if (mode == OpenMode::Read) {
    HANDLE handle = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    // A file that another program holds for writing is still read: once more, letting
    // the writer go on writing.
    if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION) {
      handle = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    return opened(handle);
  }
  if (isConsoleOutputName(fullPath(name, MAX_PATH))) return openConsoleOutput();
  // Never truncated here: the cut comes after the first record written.
  return opened(
      CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

OpenResult openConsoleFile(const std::string& name) {
  return opened(CreateFileA(name.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                            nullptr));
}

FileHandle openForAppending(const char* path) {
  return fromHandle(CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
}

bool fileIdentity(FileHandle handle, FileIdentity& identity) {
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(toHandle(handle), &information)) return false;
  identity.volume = information.dwVolumeSerialNumber;
  identity.file = (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow;
  return true;
}

// Windows' handles of this program never append: the position is where writes go.
bool writePosition(FileHandle handle, std::uint64_t& offset, bool& appending) {
  LARGE_INTEGER zero{};
  LARGE_INTEGER position{};
  if (!SetFilePointerEx(toHandle(handle), zero, &position, FILE_CURRENT)) return false;
  offset = static_cast<std::uint64_t>(position.QuadPart);
  appending = false;
  return true;
}

bool isDiskFile(FileHandle handle) { return GetFileType(toHandle(handle)) == FILE_TYPE_DISK; }

long readFile(FileHandle handle, char* buffer, std::size_t capacity, int& osError) {
  DWORD piece = capacity > kLargestTransfer ? kLargestTransfer : static_cast<DWORD>(capacity);
  DWORD count = 0;
  if (ReadFile(toHandle(handle), buffer, piece, &count, nullptr)) return static_cast<long>(count);
  DWORD error = GetLastError();
  // The writer of a pipe has closed its end: that is the end of the input.
  if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) return 0;
  osError = static_cast<int>(error);
  return -1;
}

bool isEndOfInputError(int osError) { return osError == ERROR_BROKEN_PIPE; }

// A write to a pipe whose reader has closed it fails with ERROR_NO_DATA; to one whose
// reader has gone altogether, with ERROR_BROKEN_PIPE.
bool isClosedPipeError(int osError) { return osError == ERROR_NO_DATA || osError == ERROR_BROKEN_PIPE; }

bool writeFile(FileHandle handle, const char* bytes, std::size_t count, const char* tail, std::size_t tailCount,
               int& osError) {
  if (tailCount == 0) return writeAll(toHandle(handle), bytes, count, osError);
  // WriteFile has no gather: the record and its terminator are joined first, so that
  // they still reach the file in one call.
  char local[4096];
  char* joined = count + tailCount <= sizeof local ? local : static_cast<char*>(std::malloc(count + tailCount));
  if (joined == nullptr) {
    return writeAll(toHandle(handle), bytes, count, osError) && writeAll(toHandle(handle), tail, tailCount, osError);
  }
  std::memcpy(joined, bytes, count);
  std::memcpy(joined + count, tail, tailCount);
  bool written = writeAll(toHandle(handle), joined, count + tailCount, osError);
  if (joined != local) std::free(joined);
  return written;
}

long writeOnce(FileHandle handle, const char* bytes, std::size_t count, int& osError) {
  DWORD piece = count > kLargestTransfer ? kLargestTransfer : static_cast<DWORD>(count);
  DWORD written = 0;
  if (!succeeded(WriteFile(toHandle(handle), bytes, piece, &written, nullptr), osError)) return -1;
  return static_cast<long>(written);
}

bool truncateHere(FileHandle handle, int& osError) { return succeeded(SetEndOfFile(toHandle(handle)), osError); }

bool truncateAt(FileHandle handle, std::uint64_t size, int& osError) {
  // As ftruncate: the file position stays where it was.
  HANDLE file = toHandle(handle);
  LARGE_INTEGER zero{};
  LARGE_INTEGER position{};
  if (!succeeded(SetFilePointerEx(file, zero, &position, FILE_CURRENT), osError)) return false;
  LARGE_INTEGER end{};
  end.QuadPart = static_cast<LONGLONG>(size);
  bool cut =
      succeeded(SetFilePointerEx(file, end, nullptr, FILE_BEGIN), osError) && succeeded(SetEndOfFile(file), osError);
  SetFilePointerEx(file, position, nullptr, FILE_BEGIN);
  return cut;
}

bool diskFileSize(FileHandle handle, std::uint64_t& size) {
  LARGE_INTEGER bytes;
  if (GetFileType(toHandle(handle)) != FILE_TYPE_DISK || !GetFileSizeEx(toHandle(handle), &bytes)) return false;
  size = static_cast<std::uint64_t>(bytes.QuadPart);
  return true;
}

// A read at an offset through a synchronous handle still moves that handle's position,
// so the second reader is a handle of its own on the same file object.
FileHandle openSecondReader(FileHandle handle) {
  HANDLE second = ReOpenFile(toHandle(handle), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0);
  return second == INVALID_HANDLE_VALUE ? kNoFile : fromHandle(second);
}

long readFileAt(FileHandle handle, std::uint64_t offset, char* buffer, std::size_t capacity, int& osError) {
  DWORD piece = capacity > kLargestTransfer ? kLargestTransfer : static_cast<DWORD>(capacity);
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD count = 0;
  if (ReadFile(toHandle(handle), buffer, piece, &count, &at)) return static_cast<long>(count);
  DWORD error = GetLastError();
  if (error == ERROR_HANDLE_EOF) return 0;
  osError = static_cast<int>(error);
  return -1;
}

bool seekFile(FileHandle handle, std::uint64_t offset, int& osError) {
  LARGE_INTEGER distance;
  distance.QuadPart = static_cast<LONGLONG>(offset);
  return succeeded(SetFilePointerEx(toHandle(handle), distance, nullptr, FILE_BEGIN), osError);
}

bool closeFile(FileHandle handle, int& osError) { return succeeded(CloseHandle(toHandle(handle)), osError); }

}  // namespace recio::platform

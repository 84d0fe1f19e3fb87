// The platform layer on Windows: Win32 with the ANSI entry points, as the program's file
// names are bytes; the console control handler; the x64 unwind tables and the image's
// own symbol table for tracebacks.
#include "recio/platform/platform.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <xmmintrin.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

namespace recio::platform {
namespace {

HANDLE toHandle(FileHandle handle) { return reinterpret_cast<HANDLE>(handle); }
FileHandle fromHandle(HANDLE handle) { return reinterpret_cast<FileHandle>(handle); }

// The same kinds as the POSIX layer gives for the corresponding errno values.
struct ErrorKind {
  DWORD error;
  Failure failure;
};
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
    // WriteFile takes 32-bit counts.
    DWORD piece = count > 0x40000000u ? 0x40000000u : static_cast<DWORD>(count);
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

// --- Process -----------------------------------------------------------------

// The command line is the process's own string: nothing to keep.
void setArguments(int, char**) {}

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

void enableFlushToZero() { _mm_setcsr(_mm_getcsr() | _MM_FLUSH_ZERO_ON); }

// --- Files -------------------------------------------------------------------

OpenResult openFile(const std::string& path, OpenMode mode) {
  if (mode == OpenMode::Read) {
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    // A file that another program holds for writing is still read: once more, letting
    // the writer go on writing.
    if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION) {
      handle = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    return opened(handle);
  }
  if (isConsoleOutputName(path)) return openConsoleOutput();
  // Never truncated here: the cut comes after the first record written.
  return opened(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
}

OpenResult openConsoleFile(const std::string& path) {
  return opened(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
}

FileHandle openForAppending(const char* path) {
  return fromHandle(CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
}

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

bool isDiskFile(FileHandle handle) { return GetFileType(toHandle(handle)) == FILE_TYPE_DISK; }

long readFile(FileHandle handle, char* buffer, std::size_t capacity, int& osError) {
  DWORD piece = capacity > 0x40000000u ? 0x40000000u : static_cast<DWORD>(capacity);
  DWORD count = 0;
  if (ReadFile(toHandle(handle), buffer, piece, &count, nullptr)) return static_cast<long>(count);
  DWORD error = GetLastError();
  // The writer of a pipe has closed its end: that is the end of the input.
  if (error == ERROR_BROKEN_PIPE || error == ERROR_HANDLE_EOF) return 0;
  osError = static_cast<int>(error);
  return -1;
}

bool isEndOfInputError(int osError) { return osError == ERROR_BROKEN_PIPE; }

bool writeFile(FileHandle handle, const char* bytes, std::size_t count, const char* tail,
               std::size_t tailCount, int& osError) {
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

bool truncateHere(FileHandle handle, int& osError) { return succeeded(SetEndOfFile(toHandle(handle)), osError); }

bool truncateAt(FileHandle handle, std::uint64_t size) {
  // As ftruncate: the file position stays where it was.
  HANDLE file = toHandle(handle);
  LARGE_INTEGER zero{};
  LARGE_INTEGER position{};
  if (!SetFilePointerEx(file, zero, &position, FILE_CURRENT)) return false;
  LARGE_INTEGER end{};
  end.QuadPart = static_cast<LONGLONG>(size);
  bool cut = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
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
  DWORD piece = capacity > 0x40000000u ? 0x40000000u : static_cast<DWORD>(capacity);
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

FileHandle standardOutput() { return fromHandle(GetStdHandle(STD_OUTPUT_HANDLE)); }
FileHandle standardError() { return fromHandle(GetStdHandle(STD_ERROR_HANDLE)); }

// The handle itself becomes standard error: nothing is left to close.
bool replaceStandardError(FileHandle file) {
  if (SetStdHandle(STD_ERROR_HANDLE, toHandle(file))) return true;
  CloseHandle(toHandle(file));
  return false;
}

// --- Console events ------------------------------------------------------------

namespace {

// The C signal that stands for the event, 0 when none does (window close).
int signalNumberOf(ConsoleEvent event) {
  switch (event) {
    case ConsoleEvent::Interrupt: return SIGINT;
    case ConsoleEvent::Break: return SIGBREAK;
    case ConsoleEvent::Close: return 0;
  }
  return SIGINT;
}

// A handler function of the program's own installed for the event's signal, or nullptr.
using SignalFunction = void (*)(int);
SignalFunction installedSignalHandler(ConsoleEvent event) {
  int number = signalNumberOf(event);
  if (number == 0) return nullptr;
  // The C runtime can only tell its disposition by replacing it: put it straight back.
  SignalFunction current = std::signal(number, SIG_DFL);
  if (current == SIG_ERR) return nullptr;
  if (current == SIG_DFL) return nullptr;
  std::signal(number, current);
  if (current == SIG_IGN) return nullptr;
  return current;
}

ConsoleEventHandler consoleHandler = nullptr;

// Runs on a thread that the console creates for the event.
BOOL WINAPI onConsoleControl(DWORD type) {
  ConsoleEvent event;
  switch (type) {
    case CTRL_C_EVENT: event = ConsoleEvent::Interrupt; break;
    case CTRL_BREAK_EVENT: event = ConsoleEvent::Break; break;
    case CTRL_CLOSE_EVENT: event = ConsoleEvent::Close; break;
    default: return FALSE;  // log-off and shut-down go on to the next handler
  }
  // A handler function of the program's own takes the event instead: the C runtime's
  // console handler, next in line, calls it.
  if (event != ConsoleEvent::Close && installedSignalHandler(event) != nullptr) return FALSE;
  consoleHandler(event);
  return TRUE;
}

}  // namespace

void startConsoleEvents(ConsoleEventHandler handler) {
  consoleHandler = handler;
  SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

// --- Stack walking and symbol lookup -----------------------------------------------

// Walks the calling thread's stack through the unwind tables (.pdata) that every x64
// image carries.
int captureStack(int skip, std::uintptr_t* addresses, int capacity, bool& whole) {
  ++skip;  // this routine itself
  int count = 0;
  whole = false;
  CONTEXT context;
  RtlCaptureContext(&context);
  for (;;) {
    DWORD64 pc = context.Rip;
    if (pc == 0) {  // past the outermost frame
      whole = true;
      return count;
    }
    if (skip > 0) {
      --skip;
    } else if (count == capacity) {
      return count;
    } else {
      addresses[count++] = pc;
    }
    const DWORD64 stack = context.Rsp;
    DWORD64 imageBase = 0;
    PRUNTIME_FUNCTION function = RtlLookupFunctionEntry(pc, &imageBase, nullptr);
    if (function == nullptr) {
      // A leaf routine has no unwind entry: its return address is on top of the stack.
      if (stack == 0) return count;
      context.Rip = *reinterpret_cast<const DWORD64*>(stack);
      context.Rsp = stack + 8;
    } else {
      void* handlerData = nullptr;
      DWORD64 establisherFrame = 0;
      RtlVirtualUnwind(UNW_FLAG_NHANDLER, imageBase, pc, function, &context, &handlerData, &establisherFrame,
                       nullptr);
    }
    // The stack only ever unwinds upwards; anything else is a broken walk.
    if (context.Rip != 0 && context.Rsp <= stack) return count;
  }
}

namespace {

// The COFF symbol table that mingw's linker leaves in the program's own image (unless it
// is stripped): routine names without debug information. Line and source would need a
// DWARF reader, which a mingw build does not have; they show as Unknown.
class ImageSymbols {
 public:
  ImageSymbols(HMODULE image, const char* path);
  ~ImageSymbols() { std::free(data_); }
  ImageSymbols(const ImageSymbols&) = delete;
  ImageSymbols& operator=(const ImageSymbols&) = delete;

  // The function symbol with the largest address at or below `rva`, as recorded;
  // nullptr if none. Valid until the next call.
  const char* routineAt(DWORD rva);

 private:
  static constexpr std::size_t kRecordSize = 18;  // IMAGE_SIZEOF_SYMBOL
  static constexpr std::size_t kMaxSections = 96;

  char* data_ = nullptr;  // the symbol records, then the string table
  DWORD count_ = 0;
  DWORD stringBytes_ = 0;
  DWORD sectionAddress_[kMaxSections] = {};
  WORD sections_ = 0;
  char shortName_[9] = {};  // a short name, terminated
};

bool readAt(HANDLE file, DWORD offset, void* buffer, DWORD size) {
  OVERLAPPED at{};
  at.Offset = offset;
  DWORD got = 0;
  return ReadFile(file, buffer, size, &got, &at) && got == size;
}

ImageSymbols::ImageSymbols(HMODULE image, const char* path) {
  // The headers as loaded say where the table lies in the file.
  const auto* base = reinterpret_cast<const unsigned char*>(image);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const DWORD table = nt->FileHeader.PointerToSymbolTable;
  const DWORD count = nt->FileHeader.NumberOfSymbols;
  if (table == 0 || count == 0 || count > 0x1000000 || nt->FileHeader.NumberOfSections > kMaxSections) return;
  sections_ = nt->FileHeader.NumberOfSections;
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  for (WORD index = 0; index < sections_; ++index) sectionAddress_[index] = section[index].VirtualAddress;

  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const DWORD recordBytes = count * kRecordSize;
  DWORD stringBytes = 0;  // the string table's size counts its own 4 bytes
  if (readAt(file, table + recordBytes, &stringBytes, 4) && stringBytes >= 4 && stringBytes < 0x10000000) {
    data_ = static_cast<char*>(std::malloc(recordBytes + stringBytes + 1));
    if (data_ != nullptr && readAt(file, table, data_, recordBytes + stringBytes)) {
      data_[recordBytes + stringBytes] = '\0';
      count_ = count;
      stringBytes_ = stringBytes;
    }
  }
  CloseHandle(file);
}

const char* ImageSymbols::routineAt(DWORD rva) {
  const char* best = nullptr;
  DWORD bestAddress = 0;
  for (DWORD index = 0; index < count_; ++index) {
    const char* record = data_ + index * kRecordSize;
    DWORD value;
    SHORT section;
    WORD type;
    std::memcpy(&value, record + 8, 4);
    std::memcpy(&section, record + 12, 2);
    std::memcpy(&type, record + 14, 2);
    const BYTE storage = static_cast<BYTE>(record[16]);
    const bool function = (type & 0x30) == 0x20 && section > 0 && section <= sections_ &&
                          (storage == IMAGE_SYM_CLASS_EXTERNAL || storage == IMAGE_SYM_CLASS_STATIC);
    index += static_cast<BYTE>(record[17]);  // auxiliary records
    if (!function) continue;
    const DWORD address = sectionAddress_[section - 1] + value;
    if (address <= rva && address >= bestAddress) {
      best = record;
      bestAddress = address;
    }
  }
  if (best == nullptr) return nullptr;
  // A short name sits in the record (8 bytes, not always terminated); a long one in the
  // string table, at the offset that follows four zero bytes.
  DWORD zeros;
  std::memcpy(&zeros, best, 4);
  if (zeros == 0) {
    DWORD offset;
    std::memcpy(&offset, best + 4, 4);
    if (offset < 4 || offset >= stringBytes_) return nullptr;
    return data_ + count_ * kRecordSize + offset;
  }
  std::memcpy(shortName_, best, 8);
  shortName_[8] = '\0';
  return shortName_;
}

// Read at the first lookup that needs it and kept: a report may walk the stack again.
ImageSymbols* programSymbols() {
  static ImageSymbols* symbols = [] {
    HMODULE program = GetModuleHandleA(nullptr);
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(program, path, sizeof path);
    if (length == 0 || length >= sizeof path) path[0] = '\0';
    return new (std::nothrow) ImageSymbols(program, path);
  }();
  return symbols;
}

}  // namespace

bool prepareSymbolLookup() { return true; }

bool lookUpModule(std::uintptr_t address, ModuleAddress& found) {
  HMODULE image = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCSTR>(address), &image)) {
    return false;
  }
  static char module[MAX_PATH];
  DWORD length = GetModuleFileNameA(image, module, sizeof module);
  found.module = length > 0 && length < sizeof module ? module : nullptr;
  found.offset = address - reinterpret_cast<std::uintptr_t>(image);
  found.symbol = nullptr;
  // Other images' symbol tables are not read: system libraries ship without one.
  if (image == GetModuleHandleA(nullptr)) {
    if (ImageSymbols* symbols = programSymbols()) found.symbol = symbols->routineAt(static_cast<DWORD>(found.offset));
  }
  return true;
}

// Lines and sources are in the DWARF debug information, for which a mingw build has no
// reader (GCC's libbacktrace is not shipped for mingw-w64).
void lookUpSourceLines(std::uintptr_t, SourceLineVisitor, void*) {}

}  // namespace recio::platform

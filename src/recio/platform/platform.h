// The one place where the program meets the operating system: command line,
// environment, files, standard streams, console events, floating-point control,
// stack walking and process exit. One implementation per operating system, in
// platform/ (posix.cpp, windows.cpp); nothing else includes a system header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace recio::platform {

// A descriptor on POSIX, a HANDLE on Windows: both fit a pointer-sized integer, and -1
// is "no file" on both (INVALID_HANDLE_VALUE is the pointer -1).
using FileHandle = std::intptr_t;
constexpr FileHandle kNoFile = -1;

// --- Process -----------------------------------------------------------------
// The arguments as main received them (the command line of a platform that has none
// as one string is rebuilt from them).
void setArguments(int argc, char** argv);
// Gives a closed standard input, output or error a descriptor that fails every write
// (and reads nothing), so that no file the program opens can take its place.
void reserveStandardStreams();
// The whole command line as one string, program name included: on Windows as the
// process got it; on POSIX quoted so that the command-line splitter gives back exactly
// the arguments the process received.
std::string commandLine();
// nullptr when the variable is not set.
const char* environment(const char* name);
[[noreturn]] void exitProcess(int status);
// Blocks the calling thread until the process ends.
[[noreturn]] void suspendThread();
bool isDebuggerPresent();
void breakpointTrap();
void enableFlushToZero();
bool flushToZeroEnabled();

// --- Files -------------------------------------------------------------------
enum class OpenMode : std::uint8_t { Read, Write };
struct OpenResult {
  FileHandle handle = kNoFile;
  std::int32_t message = 0;  // 0, or the message number of the failure
  int osError = 0;
};
// Read: the file must exist; others may read. Write: created if missing, never
// truncated here; others may read but not write.
OpenResult openFile(const std::string& path, OpenMode mode);
// Opens a file for console output (XIO_PRINT): created or replaced.
OpenResult openConsoleFile(const std::string& path);
// Absolute, lexically normalised name; over `maximumLength` characters the name as written.
std::string fullPath(std::string_view name, std::size_t maximumLength);
bool isDiskFile(FileHandle handle);
// Bytes read (0 at end of file), or -1 with osError set.
long readFile(FileHandle handle, char* buffer, std::size_t capacity, int& osError);
// A disk file's size in bytes; false for anything else (pipes, terminals, devices).
bool diskFileSize(FileHandle handle, std::uint64_t& size);
// A second handle for reading the same open file at given offsets (readFileAt), with a
// position of its own: its reads never move the first handle's. kNoFile when it cannot
// be had. Closed with closeFile.
FileHandle openSecondReader(FileHandle handle);
// Reads at `offset` without using or moving a position. Bytes read (0 at end of file),
// or -1 with osError set.
long readFileAt(FileHandle handle, std::uint64_t offset, char* buffer, std::size_t capacity, int& osError);
// Moves a disk file's position to `offset` from its start; false with osError set.
bool seekFile(FileHandle handle, std::uint64_t offset, int& osError);
// True when the read error means end of input (a broken pipe on a console).
bool isEndOfInputError(int osError);
// Writes both pieces in one call (retrying only what a partial write left); false with
// osError set on failure.
bool writeFile(FileHandle handle, const char* bytes, std::size_t count, const char* tail,
               std::size_t tailCount, int& osError);
bool truncateHere(FileHandle handle, int& osError);
// Cuts a file to `size` bytes.
bool truncateAt(FileHandle handle, std::uint64_t size);
bool closeFile(FileHandle handle, int& osError);
FileHandle standardOutput();
FileHandle standardError();
// Reopens standard error, appending, onto a file.
bool redirectStandardError(const char* path);
// Appends bytes to a named file (opened, written, closed).
bool appendToFile(const char* path, const char* bytes, std::size_t count);

// --- Console events ------------------------------------------------------------
enum class ConsoleEvent : std::uint8_t { Interrupt, Break, Close };
using ConsoleEventHandler = void (*)(ConsoleEvent event);
// Takes the interrupt, break and close events on a thread of their own and calls the
// handler there, as ordinary code. Call before any other thread exists.
void startConsoleEvents(ConsoleEventHandler handler);
// A handler function of the program's own installed for the event's signal, or nullptr.
using SignalFunction = void (*)(int);
SignalFunction installedSignalHandler(ConsoleEvent event);
// The C signal that stands for the event, 0 when none does (window close on Windows).
int signalNumberOf(ConsoleEvent event);

// --- Stack walking -------------------------------------------------------------
struct Frame {
  const char* module;   // nullptr when unknown
  std::uint64_t pc;     // address relative to the module's load base
  bool pcKnown;
  const char* routine;  // nullptr when unknown
  int line;             // 0 when unknown
  const char* source;   // nullptr when unknown
};
// Prepares the debug-information reader; false when it cannot be had.
bool createTraceback();
// Calls `visit` for each frame of the calling thread, innermost first, skipping
// `skip` frames of the caller's own. Returns false when the walk failed part way.
// `visit` returns false to stop the walk.
using FrameVisitor = bool (*)(const Frame& frame, void* context);
bool walkStack(int skip, FrameVisitor visit, void* context);

}  // namespace recio::platform

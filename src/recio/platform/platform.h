// The one place where the program meets the operating system: the command line, the
// standard streams and console events, files and direct writes, aligned memory,
// floating-point control, and the stack and its addresses. One implementation per
// operating system, a folder each in platform/ (posix/, windows/) with a file per job;
// nothing else includes an operating system's header (the demangler's <cxxabi.h>, which
// stop/routine_name uses, is the compiler's). What both systems would do alike (reading
// the environment, ending the process, a traceback's policy) is built above.
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
// The arguments as main received them, for a platform that hands the command line over
// as a vector.
void setArguments(int argc, char** argv);
// Joins an argument vector into one command line. The program that splits the line
// supplies it, so that both directions of its quoting rule stay in one place.
using ArgumentJoiner = std::string (*)(int count, const char* const* arguments);
// The whole command line as one string, program name included: on Windows as the
// process got it; on POSIX the arguments main received, joined by `join`.
std::string commandLine(ArgumentJoiner join);
// Blocks the calling thread until the process ends.
[[noreturn]] void suspendThread();
bool isDebuggerPresent();
void breakpointTrap();
// The processors this process may run on: its affinity (a container's or a batch slot's
// share), not the machine's count. At least 1.
unsigned usableProcessors();

// --- Floating-point control ------------------------------------------------------
// For the calling thread: results too small for a normal number become zeros, operands
// are used as they are (x86's flush-to-zero without denormals-are-zero). Nothing on a
// processor without exactly that mode. The mesh's arithmetic, the only arithmetic the
// rule concerns, follows it by itself (processor/flush_to_zero.h); where the mode is
// set, it agrees.
void enableFlushToZero();

// --- Console -----------------------------------------------------------------
FileHandle standardOutput();
FileHandle standardError();
// Gives a closed standard input, output or error a stand-in that reads nothing and fails
// every write, also through a handle opened anew on it (/dev/stdout, /proc/self/fd/1),
// so that no file the program opens can take its place and no output sent there is
// lost in silence.
void reserveStandardStreams();
// Makes `file` the process's standard error. The file is taken over either way.
bool replaceStandardError(FileHandle file);
// The process's standard output when `fullPath` is one of the system's names for it
// (/dev/stdout, /dev/fd/1, /proc/self/fd/1), else kNoFile. A file named so is written
// through the descriptor itself, where and as the shell opened it (after what was
// written there before, appending to a log), never opened anew at offset 0. Always
// kNoFile on Windows, where the open takes the console's names (CON) itself.
FileHandle standardOutputNamed(std::string_view fullPath);

// Interrupt, break and close are the console's own events. Terminate is a request from
// outside to end the process: on POSIX any signal whose default action would end it
// that is not the console's (SIGTERM from kill, timeout or a container's stop; SIGXCPU
// from a CPU-time limit; SIGUSR1, SIGALRM and the like from schedulers); Windows sends
// none.
enum class ConsoleEvent : std::uint8_t { Interrupt, Break, Close, Terminate };
using ConsoleEventHandler = void (*)(ConsoleEvent event);
// Takes the events on a thread of their own and calls the handler there, as ordinary
// code. A C signal handler of the program's own for the interrupt or break takes that
// event instead, and an event whose signal is ignored when this is called stays
// ignored (nohup, trap ''). Call before any other thread exists.
void startConsoleEvents(ConsoleEventHandler handler);
// Ends the process as the Terminate event's default action would have ended it: on
// POSIX killed by the signal that asked, so that a shell still reports 128 plus its
// number (143 for SIGTERM) and a scheduler sees the signal.
[[noreturn]] void endAsTerminated();

// --- Signals of failed writes ----------------------------------------------------
// A write past the process's file-size limit fails (EFBIG) instead of ending the
// process mid-record (SIGXFSZ), so that the limit is a failed write like a full disk.
// Called once at start-up; nothing on Windows, which has no such signal.
void failWritesPastFileSizeLimit();
// From now on a write to a pipe whose reader has gone fails (EPIPE) instead of ending
// the process (SIGPIPE). A run being aborted calls it, so that its stop ends with its
// own status; until then a closed pipe ends the run quietly, as pipes' users expect.
void failWritesToClosedPipes();
// Whether a write failed because the pipe's reader has gone.
bool isClosedPipeError(int osError);

// --- Files -------------------------------------------------------------------
// Why an open failed, sorted from each system's own error codes into what the run-time
// messages tell apart.
enum class Failure : std::uint8_t { None, NotFound, Denied, BadName, NoDevice, Other };
enum class OpenMode : std::uint8_t { Read, Write };
struct OpenResult {
  FileHandle handle = kNoFile;
  Failure failure = Failure::None;
  int osError = 0;
};
// Opens the file a name denotes as the system resolves it, through the links on the way:
// `name` as written, not tidied first (a folder's ".." is its real parent, and a name the
// system refuses stays refused). Read: the file must exist; others may read. Write:
// created if missing, never truncated here; others may read but not write.
OpenResult openFile(const std::string& name, OpenMode mode);
// Opens a file for console output (XIO_PRINT), `name` as written: created or replaced.
OpenResult openConsoleFile(const std::string& name);
// Opens a file to add to its end: created if missing; others may read and write. kNoFile
// when it cannot be opened.
FileHandle openForAppending(const char* path);
// Absolute, lexically normalised name, for messages; over `maximumLength` characters
// the name as written.
std::string fullPath(std::string_view name, std::size_t maximumLength);
// What tells two names of one file from names of two files: the device and inode on
// POSIX, the volume's serial number and the file's index on Windows.
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t file = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};
// False when the system cannot tell.
bool fileIdentity(FileHandle handle, FileIdentity& identity);
// Where the next write to a disk file lands, as `offset` from its start; `appending`
// when every write goes to the file's end, which `offset` then is. False when unknown.
bool writePosition(FileHandle handle, std::uint64_t& offset, bool& appending);
// Whether `c` ends a folder's name within a path.
bool isPathSeparator(char c);
bool isDiskFile(FileHandle handle);
// Bytes read (0 at end of file), or -1 with osError set.
long readFile(FileHandle handle, char* buffer, std::size_t capacity, int& osError);
// A disk file's size in bytes; false for anything else (pipes, terminals, devices).
bool diskFileSize(FileHandle handle, std::uint64_t& size);
// A second handle for reading the same open file at given offsets (readFileAt), with a
// position of its own: its reads never move the first handle's. It is the same file or
// none: kNoFile when it cannot be had. Closed with closeFile.
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
bool writeFile(FileHandle handle, const char* bytes, std::size_t count, const char* tail, std::size_t tailCount,
               int& osError);
// One write call (retried only when a signal interrupts it before it writes): the bytes
// written, fewer than `count` at a full disk or a file-size limit, or -1 with osError set.
long writeOnce(FileHandle handle, const char* bytes, std::size_t count, int& osError);
bool truncateHere(FileHandle handle, int& osError);
// Cuts a file to `size` bytes; false with osError set.
bool truncateAt(FileHandle handle, std::uint64_t size, int& osError);
bool closeFile(FileHandle handle, int& osError);

// --- Direct writes ---------------------------------------------------------------
// A disk file's writes past the page cache, from the caller's memory straight to the
// device: each write's memory, file offset and byte count a multiple of the file's
// alignment. That alignment (a power of two), or 0 when the file's system does not write
// past its cache (tmpfs takes the flag and copies through its pages all the same) or the
// system offers no such writes.
std::size_t directWriteAlignment(FileHandle handle);
// Turns direct writes on or off for the open file; false when the system refuses.
bool setDirectWrites(FileHandle handle, bool on);

// --- Memory ------------------------------------------------------------------------
// Memory aligned to `alignment` (a power of two), as direct writes need it; nullptr when
// it cannot be had. Freed with freeAligned.
void* allocateAligned(std::size_t alignment, std::size_t size);
void freeAligned(void* memory);

// --- Stack walking and symbol lookup -----------------------------------------------
// Prepares the debug-information reader; false when it cannot be had.
bool prepareSymbolLookup();
// The return addresses of the calling thread's frames, innermost first, after `skip`
// frames of the caller's own: at most `capacity`, their count returned. `whole` tells
// whether the walk reached the outermost frame, neither breaking off nor running out of
// room.
int captureStack(int skip, std::uintptr_t* addresses, int capacity, bool& whole);

// Names stay valid until the next lookup.
struct ModuleAddress {
  const char* module = nullptr;  // the module's path; nullptr when unknown
  std::uint64_t offset = 0;      // from the module's load base
  const char* symbol = nullptr;  // the symbol table's routine as recorded; nullptr when unknown
};
// False when no loaded module holds `address`.
bool lookUpModule(std::uintptr_t address, ModuleAddress& found);

// What debug information says about an address, once per routine there: the innermost
// inlined routine first, then each that it was inlined into.
struct SourceLine {
  const char* symbol;  // nullptr when unknown
  const char* source;  // the source file's path; nullptr when unknown
  int line;            // 0 when unknown
};
// `visit` returns false to stop.
using SourceLineVisitor = bool (*)(const SourceLine& line, void* context);
void lookUpSourceLines(std::uintptr_t address, SourceLineVisitor visit, void* context);

}  // namespace recio::platform

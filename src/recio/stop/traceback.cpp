// The traceback of a fatal report: which frames it shows and how. The platform captures
// the stack's return addresses and looks each one up; what is shown of them is decided
// here, the same for every system.
#include "recio/stop/traceback.h"

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "recio/platform/platform.h"
#include "recio/stop/routine_name.h"

namespace recio {
namespace {

bool symbolLookupReady = false;

std::mutex& tracebackLock() {
  static std::mutex* lock = new std::mutex;
  return *lock;
}

constexpr char kOverflowText[] = "\nStack trace buffer overflow; further frames not shown.\n";
constexpr char kAbnormalText[] = "\nStack trace terminated abnormally.\n";

// More frames than a report buffer can show (a frame line takes at least 60 bytes of the
// 16384), so that a deep stack ends in the buffer-overflow note rather than looking like
// a walk that failed.
constexpr int kMaxFrames = 512;

// One line of the traceback.
struct Frame {
  const char* module = nullptr;  // nullptr when unknown
  std::uint64_t pc = 0;          // address relative to the module's load base
  bool pcKnown = false;
  const char* routine = nullptr;  // nullptr when unknown
  int line = 0;                   // 0 when unknown
  const char* source = nullptr;   // nullptr when unknown
};

struct TraceWriter {
  char* buffer;
  std::size_t capacity;  // room for frames, kept back so the closing text always fits
  std::size_t length;
  bool overflowed;
};

const char* baseName(const char* path) {
  const char* name = path;
  for (const char* c = path; *c != '\0'; ++c) {
    if (platform::isPathSeparator(*c)) name = c + 1;
  }
  return name;
}

// False when the buffer is full.
bool appendFrame(TraceWriter* writer, const Frame& frame) {
  char pcText[16];
  if (frame.pcKnown) {
    std::snprintf(pcText, sizeof pcText, "%8.8" PRIX32, static_cast<std::uint32_t>(frame.pc));
  } else {
    std::snprintf(pcText, sizeof pcText, "%s", "Unknown");
  }
  char lineText[16];
  if (frame.line > 0) {
    std::snprintf(lineText, sizeof lineText, "%d", frame.line);
  } else {
    std::snprintf(lineText, sizeof lineText, "%s", "Unknown");
  }
  char line[512];
  int count = std::snprintf(line, sizeof line, "%-17.17s  %8.8s  %-17.17s  %10.10s  %s\n",
                            frame.module != nullptr ? frame.module : "Unknown", pcText,
                            frame.routine != nullptr ? frame.routine : "Unknown", lineText,
                            frame.source != nullptr ? frame.source : "Unknown");
  std::size_t size = count < 0 ? 0 : static_cast<std::size_t>(count);
  if (size >= sizeof line) size = sizeof line - 1;
  if (writer->length + size > writer->capacity) {
    writer->overflowed = true;
    return false;
  }
  std::memcpy(writer->buffer + writer->length, line, size);
  writer->length += size;
  return true;
}

// The frames of one address: one per routine that debug information places there, or, when
// it places none, the one that the module and its symbol table give.
struct AddressFrames {
  TraceWriter* writer;
  Frame frame;  // from the module and its symbol table
  bool stopped = false;
  bool sawLine = false;
  // The symbol table's routine, then the latest one from debug information: a line
  // without a routine of its own shows whichever was named last.
  char routine[256] = {};
  char previousRoutine[256] = {};
};

bool appendSourceLine(const platform::SourceLine& found, void* context) {
  auto* frames = static_cast<AddressFrames*>(context);
  if (found.symbol == nullptr && found.source == nullptr) return true;
  frames->sawLine = true;
  Frame frame = frames->frame;
  if (found.symbol != nullptr) {
    shortRoutineName(found.symbol, frames->routine, sizeof frames->routine);
    // A routine inlined into itself at one address (a helper's own inlined pieces)
    // shows once: its innermost line is the one that says where it was.
    if (std::strcmp(frames->routine, frames->previousRoutine) == 0) return true;
    std::memcpy(frames->previousRoutine, frames->routine, sizeof frames->routine);
    frame.routine = frames->routine;
  }
  frame.source = found.source != nullptr ? baseName(found.source) : nullptr;
  frame.line = found.line;
  if (!appendFrame(frames->writer, frame)) {
    frames->stopped = true;
    return false;
  }
  return true;
}

// False when the buffer is full.
bool appendFrames(TraceWriter* writer, std::uintptr_t address) {
  AddressFrames frames{writer, Frame{}};
  platform::ModuleAddress found;
  if (platform::lookUpModule(address, found)) {
    if (found.module != nullptr && found.module[0] != '\0') frames.frame.module = baseName(found.module);
    frames.frame.pc = found.offset;
    frames.frame.pcKnown = true;
    if (found.symbol != nullptr) {
      shortRoutineName(found.symbol, frames.routine, sizeof frames.routine);
      frames.frame.routine = frames.routine;
    }
  }
  platform::lookUpSourceLines(address, appendSourceLine, &frames);
  if (frames.stopped) return false;
  return frames.sawLine || appendFrame(writer, frames.frame);
}

}  // namespace

void prepareTraceback() { symbolLookupReady = platform::prepareSymbolLookup(); }

bool tracebackAvailable() { return symbolLookupReady; }

std::size_t appendTraceback(char* buffer, std::size_t capacity, std::size_t length) {
  std::lock_guard<std::mutex> guard(tracebackLock());
  constexpr std::size_t kReserve = sizeof kOverflowText;
  if (length + kReserve >= capacity) return length;
  TraceWriter writer{buffer, capacity - kReserve, length, false};

  char header[128];
  int count = std::snprintf(header, sizeof header, "%-19.19s%-10.10s%-19.19s%-12.12s%-19.19s\n", "Image", "PC",
                            "Routine", "Line", "Source");
  if (writer.length + static_cast<std::size_t>(count) > writer.capacity) return length;
  std::memcpy(buffer + writer.length, header, static_cast<std::size_t>(count));
  writer.length += static_cast<std::size_t>(count);

  std::uintptr_t addresses[kMaxFrames];
  bool complete = false;
  const int frames = platform::captureStack(1, addresses, kMaxFrames, complete);
  for (int index = 0; index < frames; ++index) {
    // A return address points after the call; look up the call itself.
    if (!appendFrames(&writer, addresses[index] - (index > 0 ? 1 : 0))) break;
  }
  const char* ending = writer.overflowed ? kOverflowText : (complete ? nullptr : kAbnormalText);
  if (ending != nullptr) {
    std::size_t size = std::strlen(ending);
    std::memcpy(buffer + writer.length, ending, size);
    writer.length += size;
  }
  return writer.length;
}

}  // namespace recio

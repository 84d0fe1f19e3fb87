#include "recio/stop/traceback.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "recio/platform/platform.h"

namespace recio {
namespace {

bool recordCreated = false;

std::mutex& tracebackLock() {
  static std::mutex* lock = new std::mutex;
  return *lock;
}

constexpr char kOverflowText[] = "\nStack trace buffer overflow; further frames not shown.\n";
constexpr char kAbnormalText[] = "\nStack trace terminated abnormally.\n";

struct TraceWriter {
  char* buffer;
  std::size_t capacity;  // room for frames, kept back so the closing text always fits
  std::size_t length;
  bool overflowed;
};

bool appendFrame(const platform::Frame& frame, void* context) {
  auto* writer = static_cast<TraceWriter*>(context);
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

}  // namespace

void createTracebackRecord() { recordCreated = platform::createTraceback(); }

bool tracebackAvailable() { return recordCreated; }

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

  bool complete = platform::walkStack(1, appendFrame, &writer);
  const char* ending = writer.overflowed ? kOverflowText : (complete ? nullptr : kAbnormalText);
  if (ending != nullptr) {
    std::size_t size = std::strlen(ending);
    std::memcpy(buffer + writer.length, ending, size);
    writer.length += size;
  }
  return writer.length;
}

}  // namespace recio

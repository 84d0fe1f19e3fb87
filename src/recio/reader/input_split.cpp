// Cutting a unit's file in two, reading its second half without the unit, and moving
// the unit's input past the lines read so.
#include "recio/reader/input_split.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "recio/stop/stop.h"
#include "recio/threads/fast_path_counts.h"
#include "recio/units/second_reader.h"

namespace recio {
namespace {

// A terminator is sought this far after the middle; a file without one there is read
// by its statements alone.
constexpr std::size_t kSplitSearchBytes = 64 * 1024;

// The offset just after the first terminator at or after `from`, or 0 when none is
// found within the search distance.
std::uint64_t boundaryAfter(platform::FileHandle reader, std::uint64_t from, char terminator) {
  char bytes[4096];
  for (std::uint64_t at = from; at - from < kSplitSearchBytes;) {
    int osError = 0;
    const long count = platform::readFileAt(reader, at, bytes, sizeof bytes, osError);
    if (count <= 0) return 0;
    const void* found = std::memchr(bytes, terminator, static_cast<std::size_t>(count));
    if (found != nullptr) return at + static_cast<std::uint64_t>(static_cast<const char*>(found) - bytes) + 1;
    at += static_cast<std::uint64_t>(count);
  }
  return 0;
}

}  // namespace

InputSplit::~InputSplit() {
  int ignored = 0;
  if (reader_ != platform::kNoFile) platform::closeFile(reader_, ignored);
}

bool InputSplit::cut(std::int32_t unitNumber, std::uint64_t minimumBytes) {
  SecondReader second;
  if (!openSecondReader(unitNumber, minimumBytes < 2 ? 2 : minimumBytes, second)) return false;
  reader_ = second.file;
  terminator_ = second.terminator;
  unitNumber_ = unitNumber;
  offset_ = boundaryAfter(reader_, second.fileSize / 2, terminator_);
  longestLine_ = std::min(second.longestUnitLine, kBufferBytes / 2);
  return offset_ != 0 && offset_ < second.fileSize;
}

bool InputSplit::countFirstHalfLines(std::uint64_t& count) {
  // Had here rather than at the cut, so that the statements' thread never waits for it.
  buffer_.reset(new (std::nothrow) char[kBufferBytes]);
  if (buffer_ == nullptr) return false;
  count = 0;
  for (std::uint64_t at = 0; at < offset_;) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(kBufferBytes, offset_ - at));
    const long got = readAt(at, buffer_.get(), want);
    if (got <= 0) return false;
    count += countTerminators(buffer_.get(), buffer_.get() + got, terminator_);
    at += static_cast<std::uint64_t>(got);
  }
  return true;
}

long InputSplit::readAt(std::uint64_t offset, char* into, std::size_t count) {
  // Looked at once a buffer, so that a failed or stopped run never waits for the rest of
  // a half, however large, before it reports: a buffer is read in well under a
  // millisecond from the page cache, and in a few from a slow disk.
  if (isCancelled() || stopBegunElsewhere()) return -1;
  int osError = 0;
  const long got = platform::readFileAt(reader_, offset, into, count, osError);
  if (got > 0) {
    fastPathCounts().readAheadBytesRead.fetch_add(static_cast<std::uint64_t>(got), std::memory_order_relaxed);
  }
  return got;
}

bool InputSplit::unitAtSplit() const { return unitInputBeginsAt(unitNumber_, offset_); }

bool InputSplit::moveUnitInputTo(std::uint64_t offset) const { return recio::moveUnitInputTo(unitNumber_, offset); }

}  // namespace recio

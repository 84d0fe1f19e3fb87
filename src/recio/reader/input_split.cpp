// Cutting a unit's file in two, and reading its second half without the unit.
#include "recio/reader/input_split.h"

#include <algorithm>
#include <new>

#include "recio/units/unit.h"
#include "recio/units/terminator_search.h"
#include "recio/units/unit_table.h"

namespace recio {
namespace {

constexpr std::size_t kScanBufferBytes = 256 * 1024;
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

bool splitInput(std::int32_t unitNumber, std::uint64_t minimumBytes, InputSplit& split) {
  Unit* unit = acquireUnit(unitNumber);
  if (unit == nullptr) return false;
  std::uint64_t size = 0;
  bool usable = platform::diskFileSize(unit->fileHandle(), size) && size >= minimumBytes && size >= 2;
  if (usable) {
    split.terminator = unit->inputTerminator();
    split.reader = platform::openSecondReader(unit->fileHandle());
    usable = split.reader != platform::kNoFile;
  }
  releaseUnit(*unit);
  if (!usable) return false;
  split.offset = boundaryAfter(split.reader, size / 2, split.terminator);
  split.longestLine = std::min(initialInputCapacity(), kScanBufferBytes / 2);
  if (split.offset == 0 || split.offset >= size) {
    int ignored = 0;
    platform::closeFile(split.reader, ignored);
    split.reader = platform::kNoFile;
    return false;
  }
  return true;
}

SecondHalfScan::SecondHalfScan(const InputSplit& split)
    : split_(split), buffer_(new (std::nothrow) char[kScanBufferBytes]), capacity_(kScanBufferBytes) {}

SecondHalfScan::~SecondHalfScan() {
  int ignored = 0;
  if (split_.reader != platform::kNoFile) platform::closeFile(split_.reader, ignored);
}

bool SecondHalfScan::countFirstHalfLines(std::uint64_t& count) {
  if (buffer_ == nullptr) return false;
  count = 0;
  for (std::uint64_t at = 0; at < split_.offset;) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(capacity_, split_.offset - at));
    int osError = 0;
    const long got = platform::readFileAt(split_.reader, at, buffer_.get(), want, osError);
    if (got <= 0) return false;
    count += countTerminators(buffer_.get(), buffer_.get() + got, split_.terminator);
    at += static_cast<std::uint64_t>(got);
  }
  return true;
}

bool SecondHalfScan::refill(std::uint64_t lineOffset) {
  // The unfinished line is shorter than the longest converted, at most half the buffer.
  const std::size_t kept = filled_ - static_cast<std::size_t>(lineOffset - bufferOffset_);
  std::memmove(buffer_.get(), buffer_.get() + (filled_ - kept), kept);
  bufferOffset_ = lineOffset;
  filled_ = kept;
  int osError = 0;
  const long got = platform::readFileAt(split_.reader, bufferOffset_ + kept, buffer_.get() + kept, capacity_ - kept, osError);
  if (got < 0) return false;
  if (got == 0) atEndOfFile_ = true;
  filled_ += static_cast<std::size_t>(got);
  return true;
}

}  // namespace recio

// A unit's file cut in two at a line boundary: while statements read the first half
// through the unit, another thread reads the second half through a reader of its own
// and converts its lines as long as they are plain (plain_line.h). The reader uses no
// unit, so no stop ever waits for it, and it never moves the unit's position.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "recio/reader/plain_line.h"
#include "recio/platform/platform.h"
#include "recio/units/terminator_search.h"

namespace recio {

struct InputSplit {
  platform::FileHandle reader = platform::kNoFile;
  char terminator = '\n';
  std::uint64_t offset = 0;  // where the second half begins: just after a terminator
  // The longest line, terminator included, that is converted: no longer than what the
  // unit reads without growing its buffer, so that the unit, reading the same line,
  // could not have failed on it either.
  std::size_t longestLine = 0;
};

// Cuts the file of a connected unit that no statement holds: when it is a disk file
// of at least `minimumBytes` with a terminator at or after its middle and bytes after
// that terminator. False, with nothing opened, otherwise.
bool splitInput(std::int32_t unitNumber, std::uint64_t minimumBytes, InputSplit& split);

// The second half's reader. Owns the split's reader handle and closes it.
class SecondHalfScan {
 public:
  explicit SecondHalfScan(const InputSplit& split);
  ~SecondHalfScan();
  SecondHalfScan(const SecondHalfScan&) = delete;
  SecondHalfScan& operator=(const SecondHalfScan&) = delete;

  // The lines of the first half: the terminators before the split. False when the
  // buffer cannot be had or a read fails.
  bool countFirstHalfLines(std::uint64_t& count);

  // Converts the second half's lines in order and hands each value to `take`, until
  // `take` returns false, a line is not plain or too long, the file ends or a read
  // fails. Returns the file offset of the first line whose value was not taken.
  template <class Take>
  std::uint64_t takePlainLines(Take&& take);

 private:
  // Keeps the bytes from `lineOffset` on at the buffer's start and reads behind them;
  // false when a read fails.
  bool refill(std::uint64_t lineOffset);

  InputSplit split_;
  std::unique_ptr<char[]> buffer_;
  std::size_t capacity_ = 0;
  std::uint64_t bufferOffset_ = 0;  // the file offset of buffer_[0]
  std::size_t filled_ = 0;
  bool atEndOfFile_ = false;
};

template <class Take>
std::uint64_t SecondHalfScan::takePlainLines(Take&& take) {
  std::uint64_t lineOffset = split_.offset;
  bufferOffset_ = lineOffset;
  filled_ = 0;
  atEndOfFile_ = false;
  if (buffer_ == nullptr) return lineOffset;
  const char terminator = split_.terminator;
  const std::size_t longest = split_.longestLine;
  for (;;) {
    const char* at = buffer_.get() + (lineOffset - bufferOffset_);
    const char* const end = buffer_.get() + filled_;
    for (;;) {
      const char* const lineEnd = findTerminator(at, end, terminator);
      if (lineEnd == nullptr) break;
      const std::size_t length = static_cast<std::size_t>(lineEnd - at) + 1;
      double value;
      if (length > longest || !plainLineValue(at, lineEnd, terminator, value) || !take(value)) return lineOffset;
      lineOffset += length;
      at = lineEnd + 1;
    }
    // The bytes after the last terminator form the last line, as they do for the unit.
    const std::size_t partLength = static_cast<std::size_t>(end - at);
    if (partLength + 1 > longest) return lineOffset;
    if (atEndOfFile_) {
      double value;
      if (partLength == 0 || !plainLineValue(at, end, terminator, value) || !take(value)) return lineOffset;
      return lineOffset + partLength;
    }
    if (!refill(lineOffset)) return lineOffset;
  }
}

}  // namespace recio

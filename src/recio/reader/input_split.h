// A unit's file cut in two at a line boundary: while statements read the first half
// through the unit, another thread reads the second half through a reader of its own
// and converts its lines as long as they are plain (plain_line.h), cutting them as the
// unit cuts its records (cutLine). The reader uses no unit, so no stop ever waits for
// it, and the unit's input moves past the lines it has read only when the statements
// ask for it, standing at the split.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "recio/platform/platform.h"
#include "recio/reader/plain_line.h"
#include "recio/reader/quick_lines.h"
#include "recio/threads/fast_path_counts.h"
#include "recio/units/terminator_search.h"

namespace recio {

class InputSplit {
 public:
  InputSplit() = default;
  // Closes the second half's reader: the one place where it is closed.
  ~InputSplit();
  InputSplit(const InputSplit&) = delete;
  InputSplit& operator=(const InputSplit&) = delete;

  // Cuts the file of the connected unit `unitNumber`, which no statement holds: true
  // when it is a disk file of at least `minimumBytes` with a terminator at or after
  // its middle and bytes after that terminator. Called once.
  bool cut(std::int32_t unitNumber, std::uint64_t minimumBytes);

  // --- The second half's thread.

  // The lines of the first half: the terminators before the split. False when the
  // buffer cannot be had or a read fails.
  bool countFirstHalfLines(std::uint64_t& count);

  // Converts the second half's lines in order and hands each value to `take`, until
  // `take` returns false, a line is not plain or too long, the file ends or a read
  // fails. Returns the file offset of the first line whose value was not taken.
  template <class Take>
  std::uint64_t takePlainLines(Take&& take);

  // --- Either thread.

  // From now on every read of the second half's thread fails, so that it stops within
  // one buffer: the run it works for has failed or ended. A stop begun by another thread
  // has the same effect without a call.
  void cancel() { cancelled_.store(true, std::memory_order_relaxed); }
  bool isCancelled() const { return cancelled_.load(std::memory_order_relaxed); }

  // --- The statements' thread, while no statement holds the unit.

  // Whether the unit's next record begins exactly at the split.
  bool unitAtSplit() const;
  // Makes the unit's next record begin at `offset`, after the lines the second half's
  // thread has taken. False, with the unit unchanged, when it cannot.
  bool moveUnitInputTo(std::uint64_t offset) const;

 private:
  static constexpr std::size_t kBufferBytes = 256 * 1024;

  // Every read of the second half's thread: up to `count` bytes at `offset`, or -1 once
  // the run is cancelled or stopping.
  long readAt(std::uint64_t offset, char* into, std::size_t count);

  platform::FileHandle reader_ = platform::kNoFile;
  std::int32_t unitNumber_ = 0;
  char terminator_ = '\n';
  std::uint64_t offset_ = 0;  // where the second half begins: just after a terminator
  // The longest line, terminator included, that is converted: no longer than what the
  // unit reads without growing its buffer, so that the unit, reading the same line,
  // could not have failed on it either; at most half the buffer, so that a line kept
  // unfinished always leaves room to read behind it.
  std::size_t longestLine_ = 0;
  std::unique_ptr<char[]> buffer_;
  std::atomic<bool> cancelled_{false};
};

template <class Take>
std::uint64_t InputSplit::takePlainLines(Take&& take) {
  if (buffer_ == nullptr) return offset_;
  // Locals rather than members, so that no call made for a line has to be assumed to
  // change them.
  const char terminator = terminator_;
  const std::size_t longest = longestLine_;
  InputBytes bytes;
  bytes.data = buffer_.get();
  bytes.capacity = kBufferBytes;
  bytes.dataOffset = offset_;
  const auto readMore = [this, longest](InputBytes& more) -> long {
    // The unfinished line is too long to be converted already, before its terminator.
    if (more.end + 1 > longest) return -1;
    return readAt(more.dataOffset + more.end, more.data + more.end, more.capacity - more.end);
  };
  // A quick line, terminator included, is never longer than its reach.
  const bool quick = longest >= static_cast<std::size_t>(reader::kQuickLineReach);
  for (;;) {
    if (quick) {
      // The quick lines among the bytes read first: whole, and needing no terminator search.
      bool refused = false;
      std::uint64_t taken = 0;
      const char* const quickEnd = reader::quickLines(bytes.data + bytes.next, bytes.data + bytes.end, terminator,
                                                      reader::kUnlimitedLines, [&take, &refused, &taken](double value) {
                                                        refused = !take(value);
                                                        taken += refused ? 0 : 1;
                                                        return !refused;
                                                      });
      if (taken != 0) fastPathCounts().quickLinesReadAhead.fetch_add(taken, std::memory_order_relaxed);
      bytes.next = static_cast<std::size_t>(quickEnd - bytes.data);
      if (refused) return bytes.dataOffset + bytes.next;
    }
    LineBounds line;
    // Without a line, the next one (if any) begins where the bytes not cut begin: moving
    // the unfinished line to the buffer's start keeps that offset.
    if (cutLine(bytes, terminator, line, readMore) != LineCut::Line) return bytes.dataOffset + bytes.next;
    double value;
    if (line.end - line.begin + 1 > longest ||
        !reader::plainLineValue(bytes.data + line.begin, bytes.data + line.end, terminator, value) || !take(value)) {
      return bytes.dataOffset + line.begin;
    }
  }
}

}  // namespace recio

// Where input records end, and the one way they are cut from the bytes read from a
// file: the terminator found and counted eight bytes at a time in a word, the last
// record without a terminator, the unfinished record kept when more bytes are read,
// and where a record's text ends before its terminator. The unit's records and a file's
// second half read ahead without the unit (reader/input_split.h) both cut here, so that
// the two can never disagree about where a line ends.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "recio/processor/little_endian.h"

namespace recio {

// Bytes read from a file, that records are cut from: [next, end) is not cut yet, and
// data[0] lies at file offset dataOffset.
struct InputBytes {
  char* data = nullptr;
  std::size_t capacity = 0;
  std::size_t next = 0;
  std::size_t end = 0;
  std::uint64_t dataOffset = 0;
  bool reachedEndOfFile = false;  // the file has delivered its last byte
};

// The first terminator byte in [from, to), or nullptr. Model lines are short, so the
// first bytes are searched eight at a time in a word (a byte equal to the terminator
// becomes zero after the exclusive or, and the lowest zero byte is the first match;
// borrows only ever mark bytes above it), and only a long line falls back to memchr.
inline const char* findTerminator(const char* from, const char* to, char terminator) {
  constexpr std::uint64_t kLowBits = 0x0101010101010101u;
  constexpr std::uint64_t kHighBits = 0x8080808080808080u;
  const std::uint64_t pattern = kLowBits * static_cast<unsigned char>(terminator);
  const char* wordEnd = to - from > 32 ? from + 32 : to;
  for (; wordEnd - from >= 8; from += 8) {
    const std::uint64_t word = loadLittleEndian64(from) ^ pattern;
    const std::uint64_t zeroBytes = (word - kLowBits) & ~word & kHighBits;
    if (zeroBytes != 0) return from + (std::countr_zero(zeroBytes) >> 3);
  }
  for (; from < wordEnd; ++from) {
    if (*from == terminator) return from;
  }
  if (from == to) return nullptr;
  return static_cast<const char*>(std::memchr(from, terminator, static_cast<std::size_t>(to - from)));
}

// The end of the text of the record [begin, end) that its terminator ended: the CRs
// before the terminator are not part of the record, unless CR itself ends records.
inline const char* recordTextEnd(const char* begin, const char* end, char terminator) {
  if (terminator != '\r') {
    while (end > begin && end[-1] == '\r') --end;
  }
  return end;
}

// Whether the record text [begin, end) is the end-of-file mark, Ctrl-Z alone, which ends
// the file's records however many bytes follow it.
inline bool isEndOfFileMark(const char* begin, const char* end) { return end - begin == 1 && *begin == '\x1a'; }

// The number of terminator bytes in [from, to). Every zero byte is marked exactly: a
// byte's low seven bits plus 0x7F stay within the byte (at most 0xFE) and set its top
// bit unless they were all zero, and the byte's own top bit is or-ed in. The marks,
// 0 or 1 per byte, add up in the bytes of one word for up to 255 words before they
// are summed.
inline std::size_t countTerminators(const char* from, const char* to, char terminator) {
  constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Fu;
  constexpr std::uint64_t kEvenBytes = 0x00FF00FF00FF00FFu;
  constexpr std::ptrdiff_t kBlockBytes = 255 * 8;
  const std::uint64_t pattern = 0x0101010101010101u * static_cast<unsigned char>(terminator);
  std::size_t count = 0;
  while (to - from >= 8) {
    const char* const blockEnd = from + std::min((to - from) & ~std::ptrdiff_t{7}, kBlockBytes);
    std::uint64_t sums = 0;
    for (; from < blockEnd; from += 8) {
      std::uint64_t word;
      std::memcpy(&word, from, sizeof word);
      word ^= pattern;
      sums += (~(((word & kLow7) + kLow7) | word) & ~kLow7) >> 7;
    }
    // Eight byte sums of at most 255 into four of at most 510, then into the top 16 bits.
    sums = (sums & kEvenBytes) + ((sums >> 8) & kEvenBytes);
    count += static_cast<std::size_t>((sums * 0x0001000100010001u) >> 48);
  }
  for (; from < to; ++from) count += *from == terminator ? 1 : 0;
  return count;
}

// Whole lines that a run took from the bytes read at once: how many, and where they
// end, just past the last one's terminator.
struct LinesTaken {
  std::size_t count = 0;
  const char* end = nullptr;
};

// Where the line that ends with the terminator at `lastTerminator` begins: after the
// terminator before it, or at `begin`, the first line's first byte.
inline const char* lastLineBegin(const char* begin, const char* lastTerminator, char terminator) {
  const char* at = lastTerminator;
  while (at > begin && at[-1] != terminator) --at;
  return at;
}

// A line cut by cutLine: [begin, end) in InputBytes::data, ending at its terminator or,
// for the last line of a file that ends without one, at the file's end.
struct LineBounds {
  std::size_t begin;
  std::size_t end;
};

enum class LineCut : std::uint8_t { Line, NoneLeft, ReadMoreFailed };

// Cuts the next line from `bytes` into `line` and steps past it. When no terminator is
// left in the bytes read, the unfinished line is moved to the buffer's start and
// `readMore(bytes)` reads behind it: it makes room after bytes.end if it can (the
// capacity may grow), reads into [end, capacity) and returns the count, or a negative
// number when no bytes can be had (it keeps the reason itself). NoneLeft once the file
// has ended and every byte is cut; ReadMoreFailed when readMore has refused.
template <class ReadMore>
inline LineCut cutLine(InputBytes& bytes, char terminator, LineBounds& line, ReadMore&& readMore) {
  std::size_t searched = bytes.next;
  for (;;) {
    if (searched < bytes.end) {
      const char* found = findTerminator(bytes.data + searched, bytes.data + bytes.end, terminator);
      if (found != nullptr) {
        const auto at = static_cast<std::size_t>(found - bytes.data);
        line = {bytes.next, at};
        bytes.next = at + 1;
        return LineCut::Line;
      }
    }
    if (bytes.reachedEndOfFile) {
      if (bytes.next == bytes.end) return LineCut::NoneLeft;
      // Bytes after the last terminator form the last line, as if a terminator followed.
      line = {bytes.next, bytes.end};
      bytes.next = bytes.end;
      return LineCut::Line;
    }
    const std::size_t kept = bytes.end - bytes.next;
    if (bytes.next > 0 && kept > 0) std::memmove(bytes.data, bytes.data + bytes.next, kept);
    bytes.dataOffset += bytes.next;
    bytes.next = 0;
    bytes.end = kept;
    searched = kept;  // the kept bytes were searched: they hold no terminator
    const long count = readMore(bytes);
    if (count < 0) return LineCut::ReadMoreFailed;
    // A short read is not taken as the end: pipes and terminals deliver a line at a
    // time. Only a read that delivers nothing ends the file.
    if (count == 0) bytes.reachedEndOfFile = true;
    bytes.end += static_cast<std::size_t>(count);
  }
}

}  // namespace recio

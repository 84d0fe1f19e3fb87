// Finding and counting the byte that ends input records, eight bytes at a time in a
// word (a byte equal to the terminator becomes zero after the exclusive or with a word
// of terminators), and where a record's text ends before it.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace recio {

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
    std::uint64_t word;
    std::memcpy(&word, from, sizeof word);
    word ^= pattern;
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

}  // namespace recio

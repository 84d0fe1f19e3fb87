// Eight bytes of text loaded as one word, the first byte in the lowest eight bits, on a
// processor of either byte order. The word-at-a-time scans (the terminator search, a
// run of digits) need that order: the lowest marked byte is the first one in the text,
// and the lowest digit lane holds the first digit. A big-endian processor loads the
// first byte into the top bits, so its word is reversed.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

namespace recio {

inline std::uint64_t loadLittleEndian64(const char* bytes) {
  std::uint64_t word;
  std::memcpy(&word, bytes, sizeof word);
  if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
  return word;
}

}  // namespace recio

// Decimal digits as characters, shared by the digit generation and the field editing.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace recio::decimal {

// "00" .. "99": the two characters of every value below 100, at twice the value.
inline constexpr std::array<char, 200> kDigitPairs = [] {
  std::array<char, 200> pairs{};
  for (std::size_t value = 0; value < 100; ++value) {
    pairs[2 * value] = static_cast<char>('0' + value / 10);
    pairs[2 * value + 1] = static_cast<char>('0' + value % 10);
  }
  return pairs;
}();

// Writes `value` < 100 as two digits.
inline void writeDigitPair(char* out, unsigned value) { std::memcpy(out, &kDigitPairs[2 * value], 2); }

// `value` < 10^8 as eight digit characters, all at once in the lanes of one 64-bit word: first
// two lanes of 32 bits (the upper and lower four digits), then four lanes of 16 bits
// (pairs), then eight bytes (digits). A lane is split by a multiplication with a
// rounded-up reciprocal and a shift: for t < 10^4, t * 10486 >> 20 is t / 100 (the
// reciprocal's excess, t * 2.3e-7 < 0.003, never carries past the next integer since
// t / 100 is at least 0.01 below it) and stays under 2^32, inside its lane; for u < 100,
// u * 103 >> 10 is u / 10 (excess below 0.06 against a gap of 0.1), under 2^16.
inline constexpr std::uint64_t eightDigitBytes(std::uint32_t value) {
  const std::uint64_t quads = value / 10000 | static_cast<std::uint64_t>(value % 10000) << 32;
  const std::uint64_t hundreds = (quads * 10486 >> 20) & 0x0000007F0000007F;
  const std::uint64_t pairs = hundreds | (quads - hundreds * 100) << 16;
  const std::uint64_t tens = (pairs * 103 >> 10) & 0x000F000F000F000F;
  return (tens | (pairs - tens * 10) << 8) | 0x3030303030303030;
}

static_assert(eightDigitBytes(12345678) == 0x3837363534333231 && eightDigitBytes(99999999) == 0x3939393939393939 &&
              eightDigitBytes(0) == 0x3030303030303030);

// The bytes of eightDigitBytes in memory order, first digit first.
inline void storeDigitBytes(std::uint64_t bytes, char* out) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(out, &bytes, 8);
  } else {
    for (int i = 0; i < 8; ++i, bytes >>= 8) out[i] = static_cast<char>(bytes & 0xFF);
  }
}

}  // namespace recio::decimal

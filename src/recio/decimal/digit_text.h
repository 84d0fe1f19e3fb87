// Decimal digits as characters, shared by the digit generation and the field editing.
#pragma once

#include <array>
#include <cstddef>
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

}  // namespace recio::decimal

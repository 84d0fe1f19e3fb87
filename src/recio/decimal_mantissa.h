// The significant digits of a real token as the scan collects them, and the binary64
// value they stand for.
#pragma once

#include <array>
#include <cstdint>

#include "recio/decimal.h"
#include "recio/decimal_powers.h"

namespace recio::decimal_detail {

constexpr unsigned digitValue(char c) { return static_cast<unsigned>(static_cast<unsigned char>(c)) - '0'; }
constexpr bool isDigit(char c) { return digitValue(c) < 10; }

// At most 27 significant digits are kept, nine to a 32-bit word.
inline constexpr int kWordDigits = 9;
inline constexpr int kMaxWords = 3;
inline constexpr int kMaxKeptDigits = kWordDigits * kMaxWords;
inline constexpr std::uint32_t kWordScale = 1000000000;

inline constexpr std::array<std::uint32_t, kWordDigits + 1> kWordPowers = [] {
  std::array<std::uint32_t, kWordDigits + 1> powers{};
  std::uint32_t power = 1;
  for (std::uint32_t& entry : powers) {
    entry = power;
    power *= 10;
  }
  return powers;
}();

// The mantissa as the scan leaves it.
struct Mantissa {
  std::uint32_t words[kMaxWords];  // only the first fullWords are set
  int fullWords = 0;
  std::uint32_t partialWord = 0;
  int wordRoom = kWordDigits;          // digits the partial word can still take
  std::int64_t significantDigits = 0;  // N: from the first non-zero digit on, all of them
  std::int64_t digitsAfterPoint = 0;   // A: leading zeros after the point included
  bool sticky = false;                 // a non-zero digit beyond the 27th
  bool digitSeen = false;
  bool pointSeen = false;

  // Takes the run of digits at `cursor` as significant digits; returns how many there
  // were. The first 27 go into the words, later ones only into the sticky flag.
  std::int64_t appendRun(const char*& cursor, const char* end) {
    const char* const start = cursor;
    if (fullWords < kMaxWords) {
      for (; cursor < end; ++cursor) {
        const unsigned digit = digitValue(*cursor);
        if (digit >= 10) break;
        partialWord = partialWord * 10 + digit;
        if (--wordRoom == 0) {
          words[fullWords++] = partialWord;
          partialWord = 0;
          wordRoom = kWordDigits;
          if (fullWords == kMaxWords) {
            ++cursor;
            break;
          }
        }
      }
    }
    for (; cursor < end && isDigit(*cursor); ++cursor) sticky = sticky || *cursor != '0';
    significantDigits += cursor - start;
    return cursor - start;
  }

  int partialDigits() const { return kWordDigits - wordRoom; }

  // The kept digits as one integer, for at most 15 of them (below 10^15 < 2^53).
  std::int64_t integer15() const {
    const std::int64_t partial = partialWord;
    if (fullWords == 0) return partial;
    return std::int64_t{words[0]} * kWordPowers[static_cast<std::size_t>(partialDigits())] + partial;
  }

  // The kept digits as one integer (below 10^27 < 2^90).
  UInt128 integer() const {
    UInt128 value = 0;
    for (int i = 0; i < fullWords; ++i) value = value * kWordScale + words[i];
    return value * kWordPowers[static_cast<std::size_t>(partialDigits())] + partialWord;
  }
};

// The value of a token with at least one significant digit, whose kept digits D stand
// for D * 10^decimalScale (decimalScale = o, within -350 .. 308), to the last bit as the
// fast cases and the 64-bit reductions of the general case define it. Overflow when it
// rounds to 2^1024 or above; a result below the smallest subnormal is zero of its sign.
ParseResult<double> mantissaValue(const Mantissa& mantissa, std::int64_t decimalScale, bool negative) noexcept;

}  // namespace recio::decimal_detail

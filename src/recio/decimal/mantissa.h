// What the two files of parseReal64 share: the mantissa's significant digits collected
// from its two digit runs (the first 27 kept, nine to a 32-bit word, the rest only
// counted), the results they give, and the value of a token beyond the first fast case.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "recio/decimal/decimal.h"
#include "recio/decimal/exact_scaling.h"
#include "recio/decimal/power_table.h"
#include "recio/decimal/powers.h"
#include "recio/decimal/syntax.h"

namespace recio::decimal {

// The bits of +infinity: also the smallest magnitude that is an overflow.
inline constexpr std::uint64_t kInfinityBits = std::uint64_t{0x7FF} << 52;

// The Ok result of a magnitude (sign bit clear) given its sign: setting the sign bit
// negates it, without a branch on signs that come in no predictable order.
constexpr ParseResult<double> withSign(double magnitude, bool negative) {
  return {ConversionStatus::Ok,
          std::bit_cast<double>(std::bit_cast<std::uint64_t>(magnitude) | std::uint64_t{negative} << 63)};
}
inline constexpr ParseResult<double> kOverflowReal{ConversionStatus::Overflow, 0.0};

// At most 27 significant digits are kept, nine to a 32-bit word.
inline constexpr int kWordDigits = 9;
inline constexpr int kMaxWords = 3;
inline constexpr int kMaxKeptDigits = kWordDigits * kMaxWords;
inline constexpr std::uint32_t kWordScale = 1000000000;

inline constexpr std::array<std::uint32_t, kWordDigits + 1> kWordPowers =
    powerTable<std::uint32_t, kWordDigits + 1>(10);

// The mantissa's kept digits and their counts.
struct Mantissa {
  std::uint32_t words[kMaxWords];  // only the first fullWords are set
  int fullWords = 0;
  std::uint32_t partialWord = 0;
  int wordRoom = kWordDigits;          // digits the partial word can still take
  std::int64_t significantDigits = 0;  // N: from the first non-zero digit on, all of them
  std::int64_t digitsAfterPoint = 0;   // A: leading zeros after the point included
  bool sticky = false;                 // a non-zero digit beyond the 27th

  // The digits before and after the point. Zeros before the first non-zero digit are
  // not significant; after the point they still count as places.
  Mantissa(std::string_view integerDigits, std::string_view fractionDigits) {
    digitsAfterPoint = static_cast<std::int64_t>(fractionDigits.size());
    const auto dropLeadingZeros = [](std::string_view& run) {
      std::size_t zeros = 0;
      while (zeros < run.size() && run[zeros] == '0') ++zeros;
      run.remove_prefix(zeros);
    };
    dropLeadingZeros(integerDigits);
    if (!integerDigits.empty()) {
      appendRun(integerDigits);
      appendRun(fractionDigits);
    } else {
      dropLeadingZeros(fractionDigits);
      appendRun(fractionDigits);
    }
  }

  // Takes a run of digits as significant digits. The first 27 go into the words, later
  // ones only into the sticky flag.
  void appendRun(std::string_view run) {
    const char* cursor = run.data();
    const char* const end = cursor + run.size();
    if (fullWords < kMaxWords) {
      for (; cursor < end; ++cursor) {
        partialWord = partialWord * 10 + digitValue(*cursor);
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
    for (; cursor < end; ++cursor) sticky = sticky || *cursor != '0';
    significantDigits += static_cast<std::int64_t>(run.size());
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

// The value of a real token that the first fast case (at most 15 digits written, D not
// zero, |f| <= 22) did not take, given its exponent as parseReal64 read it: the value of
// its first six counted digits with the sign, and whether it had no more.
ParseResult<double> collectedValue(const NumberParts& number, std::int64_t exponent, bool exponentInRange) noexcept;

}  // namespace recio::decimal

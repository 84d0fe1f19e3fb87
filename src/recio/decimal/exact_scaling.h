// The quick case of every real conversion: digits that are an exact binary64 value
// scaled by a power of ten that is one too, so that the one operation between them
// rounds once. parseReal64's cases and the reader's quick lines both take it from here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "recio/decimal/powers.h"

namespace recio::decimal {

// D * 10^scale for D exact in binary64 and |scale| <= 22: both operands are exact, so
// the one operation rounds once.
inline double scaledExactly(double exact, std::int64_t scale) {
  return scale >= 0 ? exact * kBinary64Powers[static_cast<std::size_t>(scale)]
                    : exact / kBinary64Powers[static_cast<std::size_t>(-scale)];
}

inline constexpr std::uint64_t kExactIntegerLimit = std::uint64_t{1} << 53;

// For scale s at index s + 22: the factor 10^s and the divisor 1 when s >= 0, the factor
// 1 and the divisor 10^-s when s < 0. Multiplying and dividing by 1 is exact, so
// D * factor / divisor is scaledExactly(D, s) without a branch on the scale's sign.
struct ExactScales {
  std::array<double, 2 * kMaxExactBinary64Power + 1> factors{};
  std::array<double, 2 * kMaxExactBinary64Power + 1> divisors{};
};
constexpr ExactScales makeExactScales() {
  ExactScales scales;
  for (int scale = -kMaxExactBinary64Power; scale <= kMaxExactBinary64Power; ++scale) {
    const auto index = static_cast<std::size_t>(scale + kMaxExactBinary64Power);
    scales.factors[index] = scale >= 0 ? kBinary64Powers[static_cast<std::size_t>(scale)] : 1.0;
    scales.divisors[index] = scale < 0 ? kBinary64Powers[static_cast<std::size_t>(-scale)] : 1.0;
  }
  return scales;
}
inline constexpr ExactScales kExactScales = makeExactScales();

// The value of a token whose mantissa's digits, at most 19 of them, are the integer
// `digits`, below 2^53 (leading zeros add nothing, and 19 digits cannot wrap), and whose
// value is digits * 10^scale, negated when `negative`. False when the quick case does
// not hold: zero digits (a zero's sign has rules of its own) or a scale past 10^22.
// Where it holds, parseReal64 gives the same bits: its first fast case for 15 digits or
// fewer, and for 16 to 19 digits the same product, as D below 2^53 is a binary64 value
// and the digits as collected are D itself. The sign is the integer's: rounding to
// nearest is symmetric, so -D * factor / divisor is the negated product.
inline bool exactScaledValue(std::uint64_t digits, std::int64_t scale, bool negative, double& value) {
  const auto index = static_cast<std::uint64_t>(scale + kMaxExactBinary64Power);
  if (digits == 0 || index > 2 * kMaxExactBinary64Power) return false;
  const auto magnitude = static_cast<std::int64_t>(digits);
  value = static_cast<double>(negative ? -magnitude : magnitude) * kExactScales.factors[index] /
          kExactScales.divisors[index];
  return true;
}

}  // namespace recio::decimal

// The digits of the common short field as one integer (shortDigits). Its quick path, an
// exact power of ten, is here so that the field editors inline it: as a call it cost
// about a third of its own instructions. The other exponents, and a wrong estimate of
// the decimal exponent, go out of line to binary_to_digits.cpp.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "recio/decimal/power_table.h"
#include "recio/decimal/powers.h"

namespace recio::decimal {

// q with 10^(n-1) <= q < 10^n and X as generateDigits gives them, for a normal finite
// non-zero value and 1 <= n <= kShortMaxDigits. `digits` 0 for any other value (zero,
// subnormals, infinities, NaN), and where the quick rounding cannot decide (a value
// within a few units of 2^-64 of a tie); generateDigits then gives the digits. Eight
// bytes, so that they come back in a register.
inline constexpr int kShortMaxDigits = 8;
struct ShortDigits {
  std::uint32_t digits;
  std::int32_t exponent;
};

// X of 10^(X-1) <= v < 10^X for v = significand * 2^binaryExponent (2^52 <= significand
// < 2^53), estimated from the binary exponent with 16 fraction bits appended (a 16.16
// number L) and log10(2) as the 32-bit fraction 0x4D104D42 / 2^32 = floor(log10(2) *
// 2^32) / 2^32: floor(L * log10(2)) + 1. Reading the fraction bits linearly
// underestimates log2 (by less than 0.09), so the estimate is never too high and at most
// one too low. The callers check it against the digits they produce and correct it
// either way, so the digits never depend on it.
constexpr int estimateDecimalExponent(std::uint64_t significand, int binaryExponent) {
  constexpr std::int64_t kLog10Of2 = 0x4D104D42;
  const std::int64_t fixedLog2 =
      static_cast<std::int64_t>(binaryExponent + 52) * 65536 + static_cast<std::int64_t>((significand >> 36) & 0xFFFF);
  return static_cast<int>((fixedLog2 * kLog10Of2) >> 48) + 1;  // >> floors negative values too
}

// shortDigits for a normal finite value and 1 <= n <= kShortMaxDigits, by the general
// bounds of generateDigits' fast path.
ShortDigits shortDigitsWithinBounds(double value, int digitCount) noexcept;

// 10^0 .. 10^kShortMaxDigits.
inline constexpr auto kShortPowersOfTen = powerTable<std::uint64_t, kShortMaxDigits + 1>(10);

// The common case here: 0 <= k = n - X <= 27 (values from about 10^(n-27) up to 10^n),
// where the power of ten is exact, so that the product is q exactly and the rounding
// needs no bounds; the estimate of X, never too high, is right when q's integer part has
// n digits.
inline ShortDigits shortDigits(double value, int digitCount) noexcept {
  const auto bits = std::bit_cast<std::uint64_t>(value);
  const int biasedExponent = static_cast<int>((bits >> 52) & 0x7FF);
  // Biased exponent 0 (zero, subnormals) and 0x7FF (infinities, NaN) are generateDigits'.
  if (static_cast<unsigned>(biasedExponent - 1) >= 0x7FE ||
      static_cast<unsigned>(digitCount - 1) >= static_cast<unsigned>(kShortMaxDigits)) {
    return {};
  }
  const std::uint64_t significand = (bits & ((std::uint64_t{1} << 52) - 1)) | std::uint64_t{1} << 52;
  const int binaryExponent = biasedExponent - 1075;
  const int decimalExponent = estimateDecimalExponent(significand, binaryExponent);
  const int k = digitCount - decimalExponent;
  if (static_cast<unsigned>(k) > static_cast<unsigned>(kMaxExactPower))
    return shortDigitsWithinBounds(value, digitCount);
  const NormalizedPower& power = kFinePowers[static_cast<std::size_t>(k + kFinePowerLimit)];
  // W = m * P in [2^126, 2^128) is q * 2^(64 + shift); with X estimated right or one too
  // low, 1 <= q < 10^(n+1) <= 10^9 < 2^30, so 33 <= shift <= 63.
  const int shift = 11 - binaryExponent - power.binaryExponent;
  const UInt128 product = static_cast<UInt128>(significand << 11) * power.significand;
  const auto high = static_cast<std::uint64_t>(product >> 64);
  const auto low = static_cast<std::uint64_t>(product);
  const std::uint64_t integer = high >> shift;
  const std::uint64_t lower = kShortPowersOfTen[static_cast<std::size_t>(digitCount - 1)];
  const std::uint64_t upper = kShortPowersOfTen[static_cast<std::size_t>(digitCount)];
  if (integer < lower || integer >= upper) return shortDigitsWithinBounds(value, digitCount);
  const std::uint64_t fraction = high & ((std::uint64_t{1} << shift) - 1);
  const std::uint64_t half = std::uint64_t{1} << (shift - 1);
  const bool roundUp = fraction > half || (fraction == half && (low != 0 || (integer & 1) != 0));
  const std::uint64_t rounded = integer + (roundUp ? 1 : 0);
  // q rounding up to 10^n is 10^(n-1) one decade higher.
  if (rounded == upper) return {static_cast<std::uint32_t>(lower), decimalExponent + 1};
  return {static_cast<std::uint32_t>(rounded), decimalExponent};
}

}  // namespace recio::decimal

// Powers of ten for the decimal conversions, all computed at compile time from their
// definition with exact big-integer arithmetic; no number in these tables is written out.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "recio/decimal/bigint.h"
#include "recio/decimal/power_table.h"

namespace recio::decimal {

using UInt128 = unsigned __int128;

// 10^0 .. 10^22: every one is exactly representable in binary64, and so is each
// product 10^k * 10 on the way, so repeated multiplication is exact.
inline constexpr int kMaxExactBinary64Power = 22;

inline constexpr std::array<double, kMaxExactBinary64Power + 1> kBinary64Powers =
    powerTable<double, kMaxExactBinary64Power + 1>(10.0);

// 10^k ~ significand * 2^(binaryExponent - 64) with 2^63 <= significand < 2^64. The
// general case of parseReal64 holds its digits in the same form.
struct NormalizedPower {
  std::uint64_t significand;
  std::int32_t binaryExponent;
};

// A value whose top 64 bits are `top` (top bit set), cut to 64 bits by adding its 65th
// bit, `nextBit`; the bits below the 65th are dropped. A carry out of the top gives 2^63
// and one more in the exponent.
constexpr NormalizedPower roundTo64Bits(std::uint64_t top, bool nextBit, std::int32_t binaryExponent) {
  if (nextBit && ++top == 0) return {std::uint64_t{1} << 63, binaryExponent + 1};
  return {top, binaryExponent};
}

// The same for a 128-bit value with its top bit set.
constexpr NormalizedPower roundTo64Bits(UInt128 value, std::int32_t binaryExponent) {
  return roundTo64Bits(static_cast<std::uint64_t>(value >> 64), ((value >> 63) & 1) != 0, binaryExponent);
}

// Largest k whose 10^k fits the 64-bit significand exactly: 5^27 < 2^63 < 5^28.
inline constexpr int kMaxExactPower = 27;

// 10^k with its significand rounded to nearest. A tie cannot occur: 5^|k| is odd, so for
// k < 0 twice the remainder of the division is odd and never equals the divisor, and for
// k > 0 the dropped bits of 5^k end in a 1 and are a half only when exactly one bit is
// dropped, i.e. when 5^k has 65 bits, which no k has (5^27 has 63 bits, 5^28 has 66).
constexpr NormalizedPower roundedPowerOfTen(int exponent) {
  using Big = FixedBigInt<32>;  // 5^395 has 918 bits; the division below stays under 2 * 5^395
  const int magnitude = exponent < 0 ? -exponent : exponent;
  Big powerOfFive(1);
  constexpr std::uint32_t kFiveToThe13 = 1220703125;  // the largest power of five below 2^32
  int remaining = magnitude;
  for (; remaining >= 13; remaining -= 13) powerOfFive.multiplySmall(kFiveToThe13);
  for (; remaining > 0; --remaining) powerOfFive.multiplySmall(5);
  const int fiveBits = powerOfFive.bitLength();

  std::uint64_t significand = 0;
  std::int32_t binaryExponent = 0;
  bool roundUp = false;
  if (exponent >= 0) {
    // 10^k = 5^k * 2^k: the top 64 bits of 5^k, rounded by the next bit.
    const int low = fiveBits - 64;
    significand = powerOfFive.bitsFrom(low);
    roundUp = powerOfFive.bit(low - 1);
    binaryExponent = fiveBits + exponent;
  } else {
    // 10^k = 2^k / 5^|k|: the quotient 2^(fiveBits-1) * 2^64 / 5^|k| lies in [2^63, 2^64)
    // because 2^(fiveBits-1) < 5^|k| < 2^fiveBits. Long division, one quotient bit per step,
    // starting from the remainder 2^(fiveBits-1), which is already below the divisor.
    Big remainder = Big::powerOfTwo(fiveBits - 1);
    for (int step = 0; step < 64; ++step) {
      remainder.shiftLeft(1);
      significand <<= 1;
      if (compare(remainder, powerOfFive) >= 0) {
        remainder.subtract(powerOfFive);
        significand |= 1;
      }
    }
    remainder.shiftLeft(1);
    roundUp = compare(remainder, powerOfFive) >= 0;
    binaryExponent = exponent - fiveBits + 1;
  }
  return roundTo64Bits(significand, roundUp, binaryExponent);
}

// Fine powers 10^-47 .. 10^47.
inline constexpr int kFinePowerLimit = 47;

// Each power is its own constant evaluation, which keeps every one of them well inside
// the compilers' step limits for constant expressions.
template <int kExponent>
inline constexpr NormalizedPower kRoundedPowerOfTen = roundedPowerOfTen(kExponent);

template <int kFirst, int... kOffsets>
constexpr std::array<NormalizedPower, sizeof...(kOffsets)> powerRange(std::integer_sequence<int, kOffsets...>) {
  return {kRoundedPowerOfTen<kFirst + kOffsets>...};
}

inline constexpr std::array<NormalizedPower, 2 * kFinePowerLimit + 1> kFinePowers =
    powerRange<-kFinePowerLimit>(std::make_integer_sequence<int, 2 * kFinePowerLimit + 1>{});

// Coarse powers: any exponent from -395 up to 345 + 27 lies at most 27 above one of them,
// so a coarse power times an exact fine power (10^0 .. 10^27) reaches it.
inline constexpr std::array<int, 27> kCoarseExponents = {-395, -367, -342, -314, -289, -261, -233, -210, -184,
                                                         -157, -132, -104, -81,  -53,  27,   55,   77,   105,
                                                         133,  161,  188,  214,  242,  269,  297,  320,  345};

template <std::size_t... kIndices>
constexpr std::array<NormalizedPower, sizeof...(kIndices)> coarsePowers(std::index_sequence<kIndices...>) {
  return {kRoundedPowerOfTen<kCoarseExponents[kIndices]>...};
}

inline constexpr std::array<NormalizedPower, kCoarseExponents.size()> kCoarsePowers =
    coarsePowers(std::make_index_sequence<kCoarseExponents.size()>{});

// Lowest and highest exponent that powerOfTen64 serves.
inline constexpr int kMinPowerOfTen = -395;
inline constexpr int kMaxPowerOfTen = 345 + kMaxExactPower;

// Every exponent in that range outside the fine powers lies 0 .. 27 above its coarse power.
static_assert([] {
  for (int exponent = kMinPowerOfTen; exponent <= kMaxPowerOfTen; ++exponent) {
    if (exponent >= -kFinePowerLimit && exponent <= kFinePowerLimit) continue;
    int coarse = kMinPowerOfTen - 1;
    for (int candidate : kCoarseExponents) {
      if (candidate <= exponent) coarse = candidate;
    }
    if (coarse < kMinPowerOfTen || exponent - coarse > kMaxExactPower) return false;
  }
  return std::is_sorted(kCoarseExponents.begin(), kCoarseExponents.end());
}());

// 10^exponent reduced to a 64-bit significand: the fine power itself when there is one,
// otherwise the exact 128-bit product of the coarse power just below and the exact fine
// power of the remainder, normalised to a set top bit and cut by roundTo64Bits.
inline NormalizedPower powerOfTen64(int exponent) noexcept {
  if (exponent >= -kFinePowerLimit && exponent <= kFinePowerLimit) return kFinePowers[exponent + kFinePowerLimit];
  const auto above = std::upper_bound(kCoarseExponents.begin(), kCoarseExponents.end(), exponent);
  const std::size_t coarseIndex = static_cast<std::size_t>(above - kCoarseExponents.begin()) - 1;
  const NormalizedPower& coarse = kCoarsePowers[coarseIndex];
  const NormalizedPower& fine = kFinePowers[exponent - kCoarseExponents[coarseIndex] + kFinePowerLimit];
  UInt128 product = static_cast<UInt128>(coarse.significand) * fine.significand;  // in [2^126, 2^128)
  std::int32_t binaryExponent = coarse.binaryExponent + fine.binaryExponent;
  if ((product >> 127) == 0) {
    product <<= 1;
    --binaryExponent;
  }
  return roundTo64Bits(product, binaryExponent);
}

}  // namespace recio::decimal

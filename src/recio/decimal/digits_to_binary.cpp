// The binary64 value of a real token's collected digits: the fast cases in binary64
// arithmetic, and the general case with D and the power of ten cut to 64 bits and one
// rounding of their exact product.
#include "recio/decimal/mantissa.h"

#include <algorithm>
#include <bit>

namespace recio::decimal {
namespace {

// Rounds value * 2^scale to binary64, to nearest with ties to even, with `sticky` standing
// for non-zero bits below those of `value`. Precision is 53 bits, or what the subnormal
// format has left below 2^-1022, so the result is rounded exactly once. Returns the bit
// pattern of the magnitude, or kInfinityBits when it rounds to 2^1024 or above.
std::uint64_t roundToBinary64(UInt128 value, int scale, bool sticky) {
  const int length = value >> 64 != 0 ? 128 - std::countl_zero(static_cast<std::uint64_t>(value >> 64))
                                      : 64 - std::countl_zero(static_cast<std::uint64_t>(value));
  const int topExponent = length - 1 + scale;  // value * 2^scale lies in [2^top, 2^(top+1))
  if (topExponent > 1023) return kInfinityBits;
  const bool normal = topExponent >= -1022;
  const int keep = normal ? 53 : topExponent + 1075;  // bits at or above 2^-1074
  if (keep < 0) return 0;                             // below 2^-1075: rounds to zero
  const int drop = length - keep;
  std::uint64_t kept = 0;
  bool roundBit = false;
  if (drop <= 0) {
    kept = static_cast<std::uint64_t>(value) << -drop;
  } else {
    kept = drop >= 128 ? 0 : static_cast<std::uint64_t>(value >> drop);
    roundBit = ((value >> (drop - 1)) & 1) != 0;
    sticky = sticky || (value & ((UInt128{1} << (drop - 1)) - 1)) != 0;
  }
  if (roundBit && (sticky || (kept & 1) != 0)) ++kept;
  // A normal result carries its leading bit at 2^52, so adding it to the biased exponent
  // minus one gives the pattern, and a round-up to 2^53 moves into the next binade by
  // itself. A subnormal pattern is the kept bits alone, and a round-up to 2^52 is exactly
  // the smallest normal number.
  const std::uint64_t bits = normal ? (static_cast<std::uint64_t>(topExponent + 1022) << 52) + kept : kept;
  return std::min(bits, kInfinityBits);
}

// D of at most 64 significant bits times 2^k: whether it is exactly a binary64 value.
bool fitsBinary64(UInt128 integer) {
  const std::uint64_t low = static_cast<std::uint64_t>(integer);
  const int trailingZeros =
      low != 0 ? std::countr_zero(low) : 64 + std::countr_zero(static_cast<std::uint64_t>(integer >> 64));
  return (integer >> trailingZeros) < (UInt128{1} << 53);
}

// The value of a token with at least one significant digit, whose kept digits D stand
// for D * 10^decimalScale (decimalScale = o, within -350 .. 308), to the last bit as the
// fast cases and the 64-bit reductions of the general case define it. Overflow when it
// rounds to 2^1024 or above; a result below the smallest subnormal is zero of its sign.
ParseResult<double> mantissaValue(const Mantissa& mantissa, std::int64_t decimalScale, bool negative) {
  const std::int64_t digits = mantissa.significantDigits;

  // Fast cases: binary64 arithmetic on exact operands with a single rounding.
  if (decimalScale == 0 && digits <= 18) {
    if (digits <= kWordDigits) {
      const std::uint32_t word = mantissa.fullWords != 0 ? mantissa.words[0] : mantissa.partialWord;
      return withSign(static_cast<double>(word), negative);
    }
    // The first word times 10^(N-9) is below 10^18 and a multiple of 2^(N-9), with an odd
    // part below 10^9 * 5^9 < 2^53: exact. Only the addition rounds.
    const std::uint32_t lowWord = mantissa.fullWords == 2 ? mantissa.words[1] : mantissa.partialWord;
    const double high =
        static_cast<double>(mantissa.words[0]) * kBinary64Powers[static_cast<std::size_t>(digits - kWordDigits)];
    return withSign(high + static_cast<double>(lowWord), negative);
  }
  constexpr int kMaxPower = kMaxExactBinary64Power;
  if (digits <= 15) {  // D < 10^15 < 2^53
    const double exact = static_cast<double>(mantissa.integer15());
    if (decimalScale >= -kMaxPower && decimalScale <= kMaxPower) {
      return withSign(scaledExactly(exact, decimalScale), negative);
    }
    if (decimalScale > kMaxPower && digits + decimalScale <= 15 + kMaxPower) {
      // D * 10^(15-N) stays below 10^15, so only the second product rounds.
      const double widened = exact * kBinary64Powers[static_cast<std::size_t>(15 - digits)];
      return withSign(widened * kBinary64Powers[static_cast<std::size_t>(digits + decimalScale - 15)], negative);
    }
  }
  const UInt128 integer = mantissa.integer();
  if (decimalScale >= -kMaxPower && decimalScale <= kMaxPower) {
    // 16 digits are below 2^53 unless the first nine are 900719925 or more; then an even
    // D below 10^16 < 2^54 still fits. Longer digit strings are tested.
    const bool fits =
        (digits == 16 && (mantissa.words[0] < 900719925u || (mantissa.partialWord & 1) == 0)) || fitsBinary64(integer);
    if (fits) return withSign(scaledExactly(static_cast<double>(integer), decimalScale), negative);
  }

  // General case. D is normalised to a set top bit in 128 bits (at most 90 bits are used).
  const int integerBits = 128 - (integer >> 64 != 0 ? std::countl_zero(static_cast<std::uint64_t>(integer >> 64))
                                                    : 64 + std::countl_zero(static_cast<std::uint64_t>(integer)));
  std::uint64_t bits = 0;
  if (decimalScale == 0) {
    bits = roundToBinary64(integer, 0, mantissa.sticky);
  } else {
    // D cut to 64 bits like the powers; the bits below its 65th do not count as sticky.
    const NormalizedPower reduced = roundTo64Bits(integer << (128 - integerBits), integerBits);
    const NormalizedPower power = powerOfTen64(static_cast<int>(decimalScale));
    const UInt128 product = static_cast<UInt128>(reduced.significand) * power.significand;
    bits = roundToBinary64(product, reduced.binaryExponent + power.binaryExponent - 128, mantissa.sticky);
  }
  if (bits == kInfinityBits) return kOverflowReal;
  return withSign(std::bit_cast<double>(bits), negative);
}

}  // namespace

ParseResult<double> collectedValue(const NumberParts& number, std::int64_t exponent, bool exponentInRange) noexcept {
  const Mantissa mantissa(number.integerDigits, number.fractionDigits);
  if (mantissa.significantDigits == 0) {
    // Negative zero needs a digit: a lone sign or point reads as +0.
    return withSign(0.0, number.negative && !(number.integerDigits.empty() && number.fractionDigits.empty()));
  }
  if (!exponentInRange) return number.exponentNegative ? withSign(0.0, number.negative) : kOverflowReal;
  // With the checks on X below, N + f is within -323 .. 309, so o = f + max(N - 27, 0) is
  // within -350 .. 308 whatever the lengths.
  const std::int64_t scale = exponent - mantissa.digitsAfterPoint;          // f
  const std::int64_t decimalExponent = mantissa.significantDigits + scale;  // X
  if (decimalExponent < -323) return withSign(0.0, number.negative);
  if (decimalExponent > 309) return kOverflowReal;
  const std::int64_t decimalScale = scale + std::max<std::int64_t>(mantissa.significantDigits - kMaxKeptDigits, 0);
  return mantissaValue(mantissa, decimalScale, number.negative);
}

}  // namespace recio::decimal

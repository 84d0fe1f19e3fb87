// Binary to decimal: generateDigits, the value rounded to n significant digits, and
// what the quick path of shortDigits (short_digits.h) leaves.
//
// The digits are those of q = v * 10^(n-X) rounded to an integer, to nearest with ties to
// even, where 10^(X-1) <= v < 10^X. Up to 16 digits, q is first formed with a 64-bit
// power of ten (exact for 10^0 .. 10^27) as a 128-bit fixed-point number with a known
// error bound; only when the rounding cannot be decided within that bound, and the
// value is not an exact tie, is q worked out exactly with big integers.
#include "recio/decimal/decimal.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "recio/decimal/bigint.h"
#include "recio/decimal/digit_text.h"
#include "recio/decimal/power_table.h"
#include "recio/decimal/powers.h"
#include "recio/decimal/short_digits.h"

namespace recio::decimal {
namespace {

constexpr int kFastMaxDigits = 16;
static_assert(DecimalDigits::kMaxDigits >= kFastMaxDigits);  // the fast path writes 16 characters

constexpr auto kPowersOfTen = powerTable<std::uint64_t, kFastMaxDigits + 1>(10);
constexpr auto kPowersOfFive = powerTable<std::uint64_t, 23>(5);  // 5^22 < 2^53 <= 5^23

// `value` < 10^count (count <= 16) as exactly `count` digits, in one group of eight
// when it fits, else scaled to 16 digits in two independent groups. `out` must have
// room for 16 characters; those after the `count` digits are left undefined.
void writeDigits(std::uint64_t value, int count, char* out) {
  constexpr int kGroup = 8;
  if (count <= kGroup) {
    value *= kPowersOfTen[static_cast<std::size_t>(kGroup - count)];
    storeDigitBytes(eightDigitBytes(static_cast<std::uint32_t>(value)), out);
    return;
  }
  value *= kPowersOfTen[static_cast<std::size_t>(2 * kGroup - count)];
  constexpr std::uint64_t kGroupScale = kPowersOfTen[kGroup];
  const std::uint64_t upper = eightDigitBytes(static_cast<std::uint32_t>(value / kGroupScale));
  const std::uint64_t lower = eightDigitBytes(static_cast<std::uint32_t>(value % kGroupScale));
  storeDigitBytes(upper, out);
  storeDigitBytes(lower, out + kGroup);
}

void setLeadingOne(int digitCount, std::int32_t exponent, DecimalDigits& result) {
  result.digits[0] = '1';
  std::memset(result.digits + 1, '0', static_cast<std::size_t>(digitCount - 1));
  result.exponent = exponent;
}

// A finite non-zero value as significand * 2^binaryExponent, 2^52 <= significand < 2^53.
struct Binary {
  std::uint64_t significand;
  int binaryExponent;
};

// Whether v * 10^k is exactly an integer plus one half, for a k whose power of ten is not
// exact in 64 bits. With v = m * 2^e, m odd, 2q = m * 5^k * 2^(e+k+1) must be an odd
// integer. For k > 27 that would need 5^k < 2q < 2 * 10^16, which no such k gives; for
// k < 0 the power of two must vanish and 5^-k must divide m, which needs -k <= 22.
bool isExactTie(const Binary& binary, int k) {
  if (k >= 0 || k < -22) return false;
  const int trailingZeros = std::countr_zero(binary.significand);
  const std::uint64_t odd = binary.significand >> trailingZeros;
  return binary.binaryExponent + trailingZeros + k + 1 == 0 && odd % kPowersOfFive[static_cast<std::size_t>(-k)] == 0;
}

// The fast path for n <= 16: q from one 64 x 64-bit multiplication. With the value's
// significand moved up to a set top bit, v = m * 2^e with 2^63 <= m < 2^64, and the power
// 10^k ~ P * 2^(p - 64), the product W = m * P lies in [2^126, 2^128) and q = W * 2^(e+p-64).
// As q < 10^16 < 2^54, the integer part of q is in W's upper word alone: it is
// upper >> t with t = -(e + p), and W >= 2^126 gives t >= 9; the fraction is the upper
// word's low t bits followed by the lower word.
//
// Error bound: P is exact for 0 <= k <= 27, so W is q exactly and the rounding is decided
// exactly. Otherwise P is 10^k rounded once to 64 bits (relative error at most 2^-64), or
// a coarse power so rounded times an exact fine one, rounded again: at most 2^-63 plus
// 2^-128 in all. W < 2^128 is then off by at most 2^65 and a little, two units of the
// upper word; with the lower word left out, the true fraction lies within three units
// below and four above the upper word's fraction bits. Four units either side of one
// half decide the rounding; inside them only an exact tie is still decided here.
// Returns false when it cannot decide; otherwise q in [10^(n-1), 10^n) as `digits` and X
// as `exponent`.
// Inlined into both callers: as a call it cost a fifth of a short field's digits.
[[gnu::always_inline]] inline bool decideDigits(const Binary& binary, int digitCount, int decimalExponent,
                                                std::uint64_t& digits, std::int32_t& exponent) {
  constexpr std::uint64_t kMargin = 4;  // units of the upper word, see above
  const std::uint64_t lower = kPowersOfTen[static_cast<std::size_t>(digitCount - 1)];
  const std::uint64_t upper = kPowersOfTen[static_cast<std::size_t>(digitCount)];
  const std::uint64_t significand = binary.significand << 11;
  // A second attempt corrects an estimate of X that was one off.
  for (int attempt = 0; attempt < 2; ++attempt) {
    const int k = digitCount - decimalExponent;
    const NormalizedPower power = powerOfTen64(k);
    const int shift = 11 - binary.binaryExponent - power.binaryExponent;
    // Below 9 the estimate was far off; 64 and more only for n = 1 and q below 2.
    if (shift < 9 || shift > 63) return false;
    const UInt128 product = static_cast<UInt128>(significand) * power.significand;
    const auto high = static_cast<std::uint64_t>(product >> 64);
    const auto low = static_cast<std::uint64_t>(product);
    std::uint64_t integer = high >> shift;
    if (integer < lower) {
      --decimalExponent;
      continue;
    }
    if (integer >= upper) {
      ++decimalExponent;
      continue;
    }
    const std::uint64_t fraction = high & ((std::uint64_t{1} << shift) - 1);
    const std::uint64_t half = std::uint64_t{1} << (shift - 1);
    const bool odd = (integer & 1) != 0;
    bool roundUp = false;
    if (k >= 0 && k <= kMaxExactPower) {
      roundUp = fraction > half || (fraction == half && (low != 0 || odd));
    } else if (fraction + kMargin <= half) {
      roundUp = false;
    } else if (fraction >= half + kMargin) {
      roundUp = true;
    } else if (isExactTie(binary, k)) {
      roundUp = odd;
    } else {
      return false;
    }
    integer += roundUp ? 1 : 0;
    // q rounding up to 10^n is 10^(n-1) one decade higher. An integer part of 10^(n-1)
    // is taken as is: if the true q lay just under it (X one too high), 10q rounds up
    // to 10^n with X - 1, which gives the same digits and exponent.
    if (integer == upper) {
      digits = lower;
      exponent = decimalExponent + 1;
    } else {
      digits = integer;
      exponent = decimalExponent;
    }
    return true;
  }
  return false;
}

bool fastDigits(const Binary& binary, int digitCount, int decimalExponent, DecimalDigits& result) {
  std::uint64_t digits = 0;
  if (!decideDigits(binary, digitCount, decimalExponent, digits, result.exponent)) return false;
  writeDigits(digits, digitCount, result.digits);
  return true;
}

// A finite non-zero value's significand and binary exponent. Subnormals are normalised
// here, so that every path sees 53 bits.
Binary binaryOf(int biasedExponent, std::uint64_t fraction) {
  if (biasedExponent == 0) {
    const int shift = std::countl_zero(fraction) - 11;
    return {fraction << shift, -1074 - shift};
  }
  return {fraction | (std::uint64_t{1} << 52), biasedExponent - 1075};
}

// Exact generation with big integers: y = v * 10^(1-X) = numerator / denominator is
// brought into [1, 10), then each digit is the integer part of the remainder times ten.
void exactDigits(const Binary& binary, int digitCount, int decimalExponent, DecimalDigits& result) {
  // The largest operand is about 2^53 * 10^325 < 2^1133 (the smallest subnormal scaled
  // up), or a denominator of 2^1126 times ten; 40 limbs hold 1280 bits.
  using Big = FixedBigInt<40>;
  Big numerator(binary.significand);
  Big denominator(1);
  if (binary.binaryExponent >= 0) {
    numerator.shiftLeft(binary.binaryExponent);
  } else {
    denominator.shiftLeft(-binary.binaryExponent);
  }
  if (decimalExponent <= 1) {
    numerator.multiplyPowerOfTen(1 - decimalExponent);
  } else {
    denominator.multiplyPowerOfTen(decimalExponent - 1);
  }
  while (compare(numerator, denominator) < 0) {
    numerator.multiplySmall(10);
    --decimalExponent;
  }
  for (;;) {
    Big tenTimes = denominator;
    tenTimes.multiplySmall(10);
    if (compare(numerator, tenTimes) < 0) break;
    denominator = tenTimes;
    ++decimalExponent;
  }
  for (int i = 0; i < digitCount; ++i) {
    if (i != 0) numerator.multiplySmall(10);
    char digit = '0';
    while (compare(numerator, denominator) >= 0) {
      numerator.subtract(denominator);
      ++digit;
    }
    result.digits[i] = digit;
  }
  numerator.shiftLeft(1);  // twice the remainder against the denominator: r against 1/2
  const int remainderVersusHalf = compare(numerator, denominator);
  const bool lastOdd = ((result.digits[digitCount - 1] - '0') & 1) != 0;
  result.exponent = decimalExponent;
  if (remainderVersusHalf < 0 || (remainderVersusHalf == 0 && !lastOdd)) return;
  int position = digitCount - 1;
  while (position >= 0 && result.digits[position] == '9') result.digits[position--] = '0';
  if (position >= 0) {
    ++result.digits[position];
  } else {
    setLeadingOne(digitCount, decimalExponent + 1, result);
  }
}

}  // namespace

void generateDigits(double value, int digitCount, DecimalDigits& result) noexcept {
  digitCount = std::clamp(digitCount, 1, DecimalDigits::kMaxDigits);
  const auto bits = std::bit_cast<std::uint64_t>(value);
  const bool signBit = (bits >> 63) != 0;
  const int biasedExponent = static_cast<int>((bits >> 52) & 0x7FF);
  const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
  result.exponent = 0;
  result.text = "";
  if (biasedExponent == 0x7FF) {
    result.kind = fraction == 0 ? DigitsKind::Infinite : DigitsKind::NaN;
    result.negative = fraction == 0 && signBit;
    result.count = 0;
    result.text = fraction == 0 ? "Infinity" : "NaN";
    return;
  }
  result.negative = signBit;
  result.count = digitCount;
  if (biasedExponent == 0 && fraction == 0) {
    result.kind = DigitsKind::Zero;
    std::memset(result.digits, '0', static_cast<std::size_t>(digitCount));
    return;
  }
  result.kind = DigitsKind::Finite;
  const Binary binary = binaryOf(biasedExponent, fraction);
  const int estimate = estimateDecimalExponent(binary.significand, binary.binaryExponent);
  if (digitCount <= kFastMaxDigits && fastDigits(binary, digitCount, estimate, result)) return;
  exactDigits(binary, digitCount, estimate, result);
}

// The exponents whose power of ten is not exact, and an estimate of X one too low, by
// decideDigits, which corrects it.
ShortDigits shortDigitsWithinBounds(double value, int digitCount) noexcept {
  const auto bits = std::bit_cast<std::uint64_t>(value);
  const Binary binary = binaryOf(static_cast<int>((bits >> 52) & 0x7FF), bits & ((std::uint64_t{1} << 52) - 1));
  std::uint64_t digits = 0;
  std::int32_t exponent = 0;
  const int estimate = estimateDecimalExponent(binary.significand, binary.binaryExponent);
  if (!decideDigits(binary, digitCount, estimate, digits, exponent)) return {};
  return {static_cast<std::uint32_t>(digits), exponent};  // below 10^8
}

}  // namespace recio::decimal

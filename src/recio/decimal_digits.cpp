// Binary to decimal: generateDigits, the value rounded to n significant digits.
//
// The digits are those of q = v * 10^(n-X) rounded to an integer, to nearest with ties to
// even, where 10^(X-1) <= v < 10^X. Up to 16 digits, q is first formed with a 64-bit
// power of ten (exact for 10^0 .. 10^27) as a 128-bit fixed-point number with a known
// error bound; only when the rounding cannot be decided within that bound, and the
// value is not an exact tie, is q worked out exactly with big integers.
#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "recio/decimal.h"
#include "recio/decimal_bigint.h"
#include "recio/decimal_powers.h"

namespace recio {
namespace {

using decimal_detail::kMaxExactPower;
using decimal_detail::NormalizedPower;
using decimal_detail::UInt128;

constexpr int kFastMaxDigits = 16;

template <std::uint64_t kBase, std::size_t kCount>
constexpr std::array<std::uint64_t, kCount> integerPowers() {
  std::array<std::uint64_t, kCount> powers{};
  std::uint64_t power = 1;
  for (std::uint64_t& entry : powers) {
    entry = power;
    power *= kBase;
  }
  return powers;
}

constexpr auto kPowersOfTen = integerPowers<10, kFastMaxDigits + 1>();
constexpr auto kPowersOfFive = integerPowers<5, 23>();  // 5^22 < 2^53 <= 5^23

constexpr std::array<char, 200> kDigitPairs = [] {
  std::array<char, 200> pairs{};
  for (int i = 0; i < 100; ++i) {
    pairs[static_cast<std::size_t>(2 * i)] = static_cast<char>('0' + i / 10);
    pairs[static_cast<std::size_t>(2 * i + 1)] = static_cast<char>('0' + i % 10);
  }
  return pairs;
}();

// `value` < 10^count written as exactly `count` digits.
void writeDigits(std::uint64_t value, int count, char* out) {
  char* cursor = out + count;
  for (; count >= 2; count -= 2) {
    cursor -= 2;
    std::memcpy(cursor, &kDigitPairs[static_cast<std::size_t>(2 * (value % 100))], 2);
    value /= 100;
  }
  if (count == 1) *--cursor = static_cast<char>('0' + value);
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

// X estimated from the binary exponent with 16 fraction bits appended (a 16.16 number L)
// and log10(2) as the 32-bit fraction 0x4D104D42 / 2^32 = floor(log10(2) * 2^32) / 2^32:
// floor(L * log10(2)) + 1. Reading the fraction bits linearly underestimates log2 (by
// less than 0.09), so the estimate is never too high and at most one too low. The
// callers check it against the digits they produce and correct it either way, so the
// digits never depend on it.
int estimateDecimalExponent(const Binary& binary) {
  constexpr std::int64_t kLog10Of2 = 0x4D104D42;
  const std::int64_t fixedLog2 = static_cast<std::int64_t>(binary.binaryExponent + 52) * 65536 +
                                 static_cast<std::int64_t>((binary.significand >> 36) & 0xFFFF);
  return static_cast<int>((fixedLog2 * kLog10Of2) >> 48) + 1;  // >> floors negative values too
}

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

// The fast path for n <= 16. Returns false when it cannot decide; then nothing in
// `result` but the sign and kind is meaningful yet.
bool fastDigits(const Binary& binary, int digitCount, int decimalExponent, DecimalDigits& result) {
  const UInt128 lower = kPowersOfTen[static_cast<std::size_t>(digitCount - 1)];
  const UInt128 upper = kPowersOfTen[static_cast<std::size_t>(digitCount)];
  for (int attempt = 0; attempt < 3; ++attempt) {
    const int k = digitCount - decimalExponent;
    const NormalizedPower power = decimal_detail::powerOfTen64(k);
    // q = product * 2^-fractionBits, with product below 2^117.
    const UInt128 product = static_cast<UInt128>(binary.significand) * power.significand;
    const int fractionBits = 64 - binary.binaryExponent - power.binaryExponent;
    if (fractionBits < 2 || fractionBits > 126) return false;
    // The power is exact for 0 <= k <= 27. Otherwise its relative error is below 2^-63
    // (a fine power, or a coarse one times an exact fine one cut to 64 bits: two
    // roundings of at most 2^-64 each), so q is within product * 2^-61 with room to spare.
    const bool exact = k >= 0 && k <= kMaxExactPower;
    const UInt128 error = exact ? 0 : (product >> 61) + 1;
    const UInt128 low = product - error;
    const UInt128 high = product + error;
    if ((high >> fractionBits) < lower) {
      --decimalExponent;
      continue;
    }
    if ((low >> fractionBits) >= upper) {
      ++decimalExponent;
      continue;
    }
    // Near 10^(n-1) or 10^n it is not known on which side q lies, but both sides round
    // to the same digits: with the error below 1/40, q just under 10^n rounds up to it,
    // and q just under 10^(n-1) means X is one lower and 10q rounds up to 10^n.
    if ((low >> fractionBits) < lower) {
      setLeadingOne(digitCount, decimalExponent, result);
      return true;
    }
    if ((high >> fractionBits) >= upper) {
      setLeadingOne(digitCount, decimalExponent + 1, result);
      return true;
    }
    std::uint64_t integer = static_cast<std::uint64_t>(product >> fractionBits);
    const UInt128 fraction = product & ((UInt128{1} << fractionBits) - 1);
    const UInt128 half = UInt128{1} << (fractionBits - 1);
    if (fraction > half + error) {
      ++integer;
    } else if (fraction + error >= half) {
      // Within the error of one half: decided only if it is exactly one half.
      if (!exact && !isExactTie(binary, k)) return false;
      integer += integer & 1;
    }
    if (integer == upper) {
      setLeadingOne(digitCount, decimalExponent + 1, result);
      return true;
    }
    writeDigits(integer, digitCount, result.digits);
    result.exponent = decimalExponent;
    return true;
  }
  return false;
}

// Exact generation with big integers: y = v * 10^(1-X) = numerator / denominator is
// brought into [1, 10), then each digit is the integer part of the remainder times ten.
void exactDigits(const Binary& binary, int digitCount, int decimalExponent, DecimalDigits& result) {
  // The largest operand is about 2^53 * 10^325 < 2^1133 (the smallest subnormal scaled
  // up), or a denominator of 2^1126 times ten; 40 limbs hold 1280 bits.
  using Big = decimal_detail::FixedBigInt<40>;
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
  Binary binary{};
  if (biasedExponent == 0) {  // subnormal: normalised here, so every path sees 53 bits
    const int shift = std::countl_zero(fraction) - 11;
    binary = {fraction << shift, -1074 - shift};
  } else {
    binary = {fraction | (std::uint64_t{1} << 52), biasedExponent - 1075};
  }
  const int estimate = estimateDecimalExponent(binary);
  if (digitCount <= kFastMaxDigits && fastDigits(binary, digitCount, estimate, result)) return;
  exactDigits(binary, digitCount, estimate, result);
}

}  // namespace recio

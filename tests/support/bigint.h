// Exact references for the decimal conversion tests: an unsigned big integer with plain
// schoolbook arithmetic, correctly rounded binary64 from an exact ratio, and the exact
// decimal expansion of a double. Written to be obviously right, not fast.
#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

class BigInt {
 public:
  BigInt() = default;
  BigInt(std::uint64_t value);  // NOLINT: implicit on purpose, for arithmetic with literals

  static BigInt fromDecimal(const std::string& digits);
  static BigInt power(std::uint32_t base, int exponent);

  bool isZero() const { return limbs_.empty(); }
  int bitLength() const;
  bool bit(int index) const;
  bool anyBitBelow(int index) const;
  std::uint64_t low64() const;
  std::string toDecimal() const;

  friend BigInt operator+(const BigInt& left, const BigInt& right);
  friend BigInt operator-(const BigInt& left, const BigInt& right);  // requires left >= right
  friend BigInt operator*(const BigInt& left, const BigInt& right);
  friend BigInt operator<<(const BigInt& value, int bits);
  friend BigInt operator>>(const BigInt& value, int bits);
  friend std::strong_ordering operator<=>(const BigInt& left, const BigInt& right);
  friend bool operator==(const BigInt& left, const BigInt& right) = default;

  // Long division, one quotient bit at a time.
  static void divide(const BigInt& dividend, const BigInt& divisor, BigInt& quotient, BigInt& remainder);

 private:
  void trim();
  std::vector<std::uint32_t> limbs_;  // little-endian, no zero limb at the top
};

struct RoundedBinary64 {
  bool overflow;  // rounded to 2^1024 or above
  double value;   // the non-negative result; 0 on overflow
};

// value * 2^scale rounded to nearest, ties to even, with gradual underflow; `sticky` stands
// for a non-zero tail below `value`.
RoundedBinary64 roundScaled(const BigInt& value, int scale, bool sticky = false);

// numerator / denominator * 2^scale, correctly rounded (numerator > 0).
RoundedBinary64 roundQuotient(const BigInt& numerator, const BigInt& denominator, int scale);

// 10^k as significand * 2^(binaryExponent - 64), 2^63 <= significand < 2^64, the
// significand being 10^k * 2^(64 - binaryExponent) rounded to the nearest integer.
// `tie` reports an exact half (which would leave the rounding undefined).
struct Power64 {
  std::uint64_t significand;
  int binaryExponent;
  bool tie;
};
Power64 powerOfTenRounded64(int k);

// A positive value as 0.d1d2d3... * 10^exponent, d1 non-zero, no trailing zeros.
struct ExactDecimal {
  std::string digits;
  int exponent;
};

// The exact decimal expansion of significand * 2^binaryExponent (significand > 0).
ExactDecimal exactDecimal(std::uint64_t significand, int binaryExponent);
// The same for a finite positive double.
ExactDecimal exactDecimal(double value);

// An expansion rounded to `digitCount` significant digits, to nearest with ties to even
// (digits padded with zeros to exactly digitCount).
ExactDecimal roundDecimal(const ExactDecimal& value, int digitCount);

}  // namespace testing_support

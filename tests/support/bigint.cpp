#include "support/bigint.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>

namespace testing_support {

BigInt::BigInt(std::uint64_t value) {
  limbs_ = {static_cast<std::uint32_t>(value), static_cast<std::uint32_t>(value >> 32)};
  trim();
}

void BigInt::trim() {
  while (!limbs_.empty() && limbs_.back() == 0) limbs_.pop_back();
}

BigInt BigInt::fromDecimal(const std::string& digits) {
  BigInt value;
  for (char c : digits) value = value * BigInt(10) + BigInt(static_cast<std::uint64_t>(c - '0'));
  return value;
}

BigInt BigInt::power(std::uint32_t base, int exponent) {
  BigInt value(1);
  for (int i = 0; i < exponent; ++i) value = value * BigInt(base);
  return value;
}

int BigInt::bitLength() const {
  if (limbs_.empty()) return 0;
  return static_cast<int>(limbs_.size() - 1) * 32 + std::bit_width(limbs_.back());
}

bool BigInt::bit(int index) const {
  const auto limb = static_cast<std::size_t>(index / 32);
  if (index < 0 || limb >= limbs_.size()) return false;
  return ((limbs_[limb] >> (index % 32)) & 1u) != 0;
}

bool BigInt::anyBitBelow(int index) const {
  for (std::size_t limb = 0; limb < limbs_.size() && static_cast<int>(limb) * 32 < index; ++limb) {
    const int bitsInLimb = std::min(32, index - static_cast<int>(limb) * 32);
    const std::uint64_t mask = (std::uint64_t{1} << bitsInLimb) - 1;
    if ((limbs_[limb] & mask) != 0) return true;
  }
  return false;
}

std::uint64_t BigInt::low64() const {
  std::uint64_t value = 0;
  if (!limbs_.empty()) value = limbs_[0];
  if (limbs_.size() > 1) value |= std::uint64_t{limbs_[1]} << 32;
  return value;
}

std::string BigInt::toDecimal() const {
  if (isZero()) return "0";
  std::string reversed;
  BigInt rest = *this;
  const BigInt ten(10);
  while (!rest.isZero()) {
    BigInt quotient;
    BigInt remainder;
    divide(rest, ten, quotient, remainder);
    reversed.push_back(static_cast<char>('0' + remainder.low64()));
    rest = quotient;
  }
  return {reversed.rbegin(), reversed.rend()};
}

BigInt operator+(const BigInt& left, const BigInt& right) {
  BigInt sum;
  std::uint64_t carry = 0;
  for (std::size_t i = 0; i < std::max(left.limbs_.size(), right.limbs_.size()) || carry != 0; ++i) {
    const std::uint64_t a = i < left.limbs_.size() ? left.limbs_[i] : 0;
    const std::uint64_t b = i < right.limbs_.size() ? right.limbs_[i] : 0;
    const std::uint64_t total = a + b + carry;
    sum.limbs_.push_back(static_cast<std::uint32_t>(total));
    carry = total >> 32;
  }
  sum.trim();
  return sum;
}

BigInt operator-(const BigInt& left, const BigInt& right) {
  BigInt difference = left;
  std::int64_t borrow = 0;
  for (std::size_t i = 0; i < difference.limbs_.size(); ++i) {
    std::int64_t value = std::int64_t{difference.limbs_[i]} - borrow - (i < right.limbs_.size() ? right.limbs_[i] : 0);
    borrow = value < 0 ? 1 : 0;
    if (value < 0) value += std::int64_t{1} << 32;
    difference.limbs_[i] = static_cast<std::uint32_t>(value);
  }
  difference.trim();
  return difference;
}

BigInt operator*(const BigInt& left, const BigInt& right) {
  BigInt product;
  product.limbs_.assign(left.limbs_.size() + right.limbs_.size(), 0);
  for (std::size_t i = 0; i < left.limbs_.size(); ++i) {
    std::uint64_t carry = 0;
    for (std::size_t j = 0; j < right.limbs_.size(); ++j) {
      const std::uint64_t total = std::uint64_t{left.limbs_[i]} * right.limbs_[j] + product.limbs_[i + j] + carry;
      product.limbs_[i + j] = static_cast<std::uint32_t>(total);
      carry = total >> 32;
    }
    product.limbs_[i + right.limbs_.size()] = static_cast<std::uint32_t>(carry);
  }
  product.trim();
  return product;
}

BigInt operator<<(const BigInt& value, int bits) {
  BigInt shifted;
  shifted.limbs_.assign(static_cast<std::size_t>(bits / 32), 0);
  std::uint32_t carry = 0;
  const int bitShift = bits % 32;
  for (std::uint32_t limb : value.limbs_) {
    shifted.limbs_.push_back(bitShift == 0 ? limb : (limb << bitShift) | carry);
    carry = bitShift == 0 ? 0 : limb >> (32 - bitShift);
  }
  shifted.limbs_.push_back(carry);
  shifted.trim();
  return shifted;
}

BigInt operator>>(const BigInt& value, int bits) {
  BigInt shifted;
  const auto limbShift = static_cast<std::size_t>(bits / 32);
  const int bitShift = bits % 32;
  for (std::size_t i = limbShift; i < value.limbs_.size(); ++i) {
    const std::uint64_t pair =
        value.limbs_[i] | (i + 1 < value.limbs_.size() ? std::uint64_t{value.limbs_[i + 1]} << 32 : 0);
    shifted.limbs_.push_back(static_cast<std::uint32_t>(pair >> bitShift));
  }
  shifted.trim();
  return shifted;
}

std::strong_ordering operator<=>(const BigInt& left, const BigInt& right) {
  if (left.limbs_.size() != right.limbs_.size()) return left.limbs_.size() <=> right.limbs_.size();
  for (std::size_t i = left.limbs_.size(); i-- > 0;) {
    if (left.limbs_[i] != right.limbs_[i]) return left.limbs_[i] <=> right.limbs_[i];
  }
  return std::strong_ordering::equal;
}

void BigInt::divide(const BigInt& dividend, const BigInt& divisor, BigInt& quotient, BigInt& remainder) {
  quotient = BigInt();
  remainder = dividend;
  for (int shift = dividend.bitLength() - divisor.bitLength(); shift >= 0; --shift) {
    const BigInt shifted = divisor << shift;
    if (remainder >= shifted) {
      remainder = remainder - shifted;
      quotient = quotient + (BigInt(1) << shift);
    }
  }
}

RoundedBinary64 roundScaled(const BigInt& value, int scale, bool sticky) {
  const int length = value.bitLength();
  const int top = length - 1 + scale;  // value * 2^scale lies in [2^top, 2^(top+1))
  if (top > 1023) return {true, 0.0};
  // Significant bits the result can hold: 53, or fewer where the subnormals have only
  // the bits from 2^-1074 up.
  const int keep = top >= -1022 ? 53 : top + 1075;
  if (keep < 0) return {false, 0.0};
  const int drop = length - keep;
  BigInt kept = drop > 0 ? value >> drop : value << -drop;
  const bool roundBit = drop > 0 && value.bit(drop - 1);
  const bool tail = sticky || (drop > 1 && value.anyBitBelow(drop - 1));
  if (roundBit && (tail || kept.bit(0))) kept = kept + BigInt(1);
  // kept <= 2^53 and the scaling is exact (results are multiples of 2^-1074).
  const double result = std::ldexp(static_cast<double>(kept.low64()), drop + scale);
  if (std::isinf(result)) return {true, 0.0};
  return {false, result};
}

RoundedBinary64 roundQuotient(const BigInt& numerator, const BigInt& denominator, int scale) {
  // Scale the quotient to at least 56 bits so that the rounding needs only its remainder.
  const int shift = 56 - (numerator.bitLength() - denominator.bitLength());
  BigInt quotient;
  BigInt remainder;
  if (shift >= 0) {
    BigInt::divide(numerator << shift, denominator, quotient, remainder);
  } else {
    BigInt::divide(numerator, denominator << -shift, quotient, remainder);
  }
  return roundScaled(quotient, scale - shift, !remainder.isZero());
}

Power64 powerOfTenRounded64(int k) {
  const BigInt power = BigInt::power(10, std::abs(k));
  const BigInt numerator = k >= 0 ? power : BigInt(1);
  const BigInt denominator = k >= 0 ? BigInt(1) : power;
  // e with 2^(e-1) <= 10^k < 2^e.
  const auto belowPowerOfTwo = [&](int e) {
    return (e >= 0 ? numerator : numerator << -e) < (e >= 0 ? denominator << e : denominator);
  };
  int e = 0;
  while (!belowPowerOfTwo(e)) ++e;
  while (belowPowerOfTwo(e - 1)) --e;
  const int shift = 64 - e;
  const BigInt divisor = shift >= 0 ? denominator : denominator << -shift;
  BigInt quotient;
  BigInt remainder;
  BigInt::divide(shift >= 0 ? numerator << shift : numerator, divisor, quotient, remainder);
  const BigInt twice = remainder << 1;
  if (twice > divisor) quotient = quotient + BigInt(1);
  if (quotient.bitLength() == 65) return {std::uint64_t{1} << 63, e + 1, twice == divisor};
  return {quotient.low64(), e, twice == divisor};
}

namespace {

// Base 10^9 numbers (little-endian) for the decimal expansions.
using Decimal9 = std::vector<std::uint32_t>;
constexpr std::uint32_t kBillion = 1000000000;

Decimal9 multiply(const Decimal9& value, std::uint64_t factor) {
  Decimal9 product;
  unsigned __int128 carry = 0;
  for (std::uint32_t limb : value) {
    const unsigned __int128 total = static_cast<unsigned __int128>(limb) * factor + carry;
    product.push_back(static_cast<std::uint32_t>(total % kBillion));
    carry = total / kBillion;
  }
  while (carry != 0) {
    product.push_back(static_cast<std::uint32_t>(carry % kBillion));
    carry /= kBillion;
  }
  return product;
}

// base^exponent in base 10^9, built once by repeated multiplication.
const Decimal9& cachedPower(std::uint32_t base, int exponent) {
  static std::vector<Decimal9> powersOfTwo{{1}};
  static std::vector<Decimal9> powersOfFive{{1}};
  std::vector<Decimal9>& powers = base == 2 ? powersOfTwo : powersOfFive;
  while (static_cast<int>(powers.size()) <= exponent) powers.push_back(multiply(powers.back(), base));
  return powers[static_cast<std::size_t>(exponent)];
}

std::string toDigits(const Decimal9& value) {
  std::string digits = std::to_string(value.back());
  for (std::size_t i = value.size() - 1; i-- > 0;) {
    const std::string chunk = std::to_string(value[i]);
    digits += std::string(9 - chunk.size(), '0') + chunk;
  }
  return digits;
}

}  // namespace

ExactDecimal exactDecimal(std::uint64_t significand, int binaryExponent) {
  // m * 2^e is an integer for e >= 0; for e < 0 it is m * 5^-e / 10^-e.
  const Decimal9 integer = multiply(cachedPower(binaryExponent >= 0 ? 2 : 5, std::abs(binaryExponent)), significand);
  std::string digits = toDigits(integer);
  const int exponent = static_cast<int>(digits.size()) - (binaryExponent >= 0 ? 0 : -binaryExponent);
  digits.erase(digits.find_last_not_of('0') + 1);
  return {digits, exponent};
}

ExactDecimal exactDecimal(double value) {
  int binaryExponent = 0;
  const double fraction = std::frexp(value, &binaryExponent);  // value = fraction * 2^e, 0.5 <= fraction < 1
  auto significand = static_cast<std::uint64_t>(std::ldexp(fraction, 53));
  binaryExponent -= 53;
  for (; significand % 2 == 0; significand /= 2) ++binaryExponent;
  return exactDecimal(significand, binaryExponent);
}

ExactDecimal roundDecimal(const ExactDecimal& value, int digitCount) {
  const auto count = static_cast<std::size_t>(digitCount);
  std::string kept = value.digits.substr(0, count);
  kept.resize(count, '0');
  const std::string rest = value.digits.size() > count ? value.digits.substr(count) : "";
  bool up = false;
  if (!rest.empty()) {
    if (rest[0] > '5') up = true;
    if (rest[0] == '5') {
      const bool aboveHalf = rest.find_first_not_of('0', 1) != std::string::npos;
      up = aboveHalf || ((kept.back() - '0') % 2 == 1);
    }
  }
  int exponent = value.exponent;
  if (up) {
    std::size_t position = count;
    while (position > 0 && kept[position - 1] == '9') kept[--position] = '0';
    if (position == 0) {
      kept = "1" + std::string(count - 1, '0');
      ++exponent;
    } else {
      ++kept[position - 1];
    }
  }
  return {kept, exponent};
}

}  // namespace testing_support

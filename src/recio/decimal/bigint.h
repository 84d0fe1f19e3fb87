// A small unsigned big integer of fixed capacity for the decimal conversions. It lives on
// the stack, never allocates, and works in constant expressions, so the same code builds
// the power-of-ten tables at compile time and carries the exact digit generation for
// values that the fast 64-bit path cannot decide.
#pragma once

#include <array>
#include <bit>
#include <cstdint>

namespace recio::decimal {

// Little-endian 32-bit limbs; `used_` limbs are significant (the top one non-zero, or
// none for zero). Callers size `kLimbs` from the largest value they can form; exceeding
// it is a programming error and is not checked on the hot path.
template <int kLimbs>
class FixedBigInt {
 public:
  constexpr FixedBigInt() = default;

  constexpr explicit FixedBigInt(std::uint64_t value) {
    limbs_[0] = static_cast<std::uint32_t>(value);
    limbs_[1] = static_cast<std::uint32_t>(value >> 32);
    used_ = limbs_[1] != 0 ? 2 : (limbs_[0] != 0 ? 1 : 0);
  }

  static constexpr FixedBigInt powerOfTwo(int exponent) {
    FixedBigInt result;
    result.limbs_[exponent / 32] = std::uint32_t{1} << (exponent % 32);
    result.used_ = exponent / 32 + 1;
    return result;
  }

  constexpr bool isZero() const { return used_ == 0; }

  constexpr int bitLength() const {
    if (used_ == 0) return 0;
    return (used_ - 1) * 32 + std::bit_width(limbs_[used_ - 1]);
  }

  constexpr bool bit(int index) const {
    if (index < 0 || index >= used_ * 32) return false;
    return ((limbs_[index / 32] >> (index % 32)) & 1u) != 0;
  }

  // Bits index .. index+63 as one word; bits below 0 read as zero.
  constexpr std::uint64_t bitsFrom(int index) const {
    std::uint64_t word = 0;
    for (int limb = used_ - 1; limb >= 0; --limb) {
      const int shift = limb * 32 - index;  // where the limb's bit 0 lands in the word
      if (shift >= 64 || shift <= -32) continue;
      const std::uint64_t value = limbs_[limb];
      word |= shift >= 0 ? value << shift : value >> -shift;
    }
    return word;
  }

  // Whether any bit below `index` is set.
  constexpr bool anyBitBelow(int index) const {
    for (int limb = 0; limb < used_ && limb * 32 < index; ++limb) {
      const int bitsInLimb = index - limb * 32;
      const std::uint32_t mask = bitsInLimb >= 32 ? ~0u : (std::uint32_t{1} << bitsInLimb) - 1;
      if ((limbs_[limb] & mask) != 0) return true;
    }
    return false;
  }

  constexpr void multiplySmall(std::uint32_t factor) {
    std::uint64_t carry = 0;
    for (int i = 0; i < used_; ++i) {
      const std::uint64_t product = std::uint64_t{limbs_[i]} * factor + carry;
      limbs_[i] = static_cast<std::uint32_t>(product);
      carry = product >> 32;
    }
    if (carry != 0) limbs_[used_++] = static_cast<std::uint32_t>(carry);
    if (factor == 0) used_ = 0;
  }

  // Multiplies by 10^exponent, nine decimal digits per step.
  constexpr void multiplyPowerOfTen(int exponent) {
    for (; exponent >= 9; exponent -= 9) multiplySmall(1000000000u);
    std::uint32_t rest = 1;
    for (; exponent > 0; --exponent) rest *= 10;
    multiplySmall(rest);
  }

  constexpr void shiftLeft(int bits) {
    if (used_ == 0 || bits == 0) return;
    const int limbShift = bits / 32;
    const int bitShift = bits % 32;
    const bool spills = bitShift != 0 && (limbs_[used_ - 1] >> (32 - bitShift)) != 0;
    int newUsed = used_ + limbShift + (spills ? 1 : 0);
    for (int i = newUsed - 1; i >= limbShift; --i) {
      const int source = i - limbShift;
      std::uint32_t high = source < used_ ? limbs_[source] : 0u;
      std::uint32_t low = (source >= 1 && source - 1 < used_) ? limbs_[source - 1] : 0u;
      limbs_[i] = bitShift == 0 ? high : static_cast<std::uint32_t>((high << bitShift) | (low >> (32 - bitShift)));
    }
    for (int i = 0; i < limbShift; ++i) limbs_[i] = 0;
    used_ = newUsed;
  }

  // *this -= other; requires *this >= other.
  constexpr void subtract(const FixedBigInt& other) {
    std::uint32_t borrow = 0;
    for (int i = 0; i < used_; ++i) {
      const std::uint64_t subtrahend = std::uint64_t{i < other.used_ ? other.limbs_[i] : 0u} + borrow;
      borrow = std::uint64_t{limbs_[i]} < subtrahend ? 1u : 0u;
      limbs_[i] = static_cast<std::uint32_t>(std::uint64_t{limbs_[i]} - subtrahend);
    }
    while (used_ > 0 && limbs_[used_ - 1] == 0) --used_;
  }

  friend constexpr int compare(const FixedBigInt& left, const FixedBigInt& right) {
    if (left.used_ != right.used_) return left.used_ < right.used_ ? -1 : 1;
    for (int i = left.used_ - 1; i >= 0; --i) {
      if (left.limbs_[i] != right.limbs_[i]) return left.limbs_[i] < right.limbs_[i] ? -1 : 1;
    }
    return 0;
  }

 private:
  std::array<std::uint32_t, kLimbs> limbs_{};
  int used_ = 0;
};

}  // namespace recio::decimal

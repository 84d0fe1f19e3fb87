// The common E field laid out by fixed stores: scale factor 1, three to seven
// significant digits, a field of 8 to 16 characters (the table's E13.5). Its digits come
// as one integer (shortDigits), its characters as words put together in registers, first
// byte lowest, with neither a call nor a buffer in memory.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "recio/decimal/digit_text.h"
#include "recio/decimal/power_table.h"
#include "recio/decimal/short_digits.h"

namespace recio::format {

// The image's last four bytes take the exponent part E+nn: exponents of three digits,
// whose part has no letter, are left to editReal.
inline constexpr int kShortFieldMaxExponent = 99;

// The exponent parts E-99 .. E+99 as their four characters, at exponent + 99.
inline constexpr auto kShortFieldExponents = [] {
  std::array<std::array<char, 4>, 2 * kShortFieldMaxExponent + 1> parts{};
  for (int exponent = -kShortFieldMaxExponent; exponent <= kShortFieldMaxExponent; ++exponent) {
    const int magnitude = exponent < 0 ? -exponent : exponent;
    parts[static_cast<std::size_t>(exponent + kShortFieldMaxExponent)] = {'E', exponent < 0 ? '-' : '+',
                                                                          static_cast<char>('0' + magnitude / 10),
                                                                          static_cast<char>('0' + magnitude % 10)};
  }
  return parts;
}();

// How an Ew.d field under scale factor k is laid out, worked out once for a column of
// such fields: right-justified, the exponent part in the last four characters, the
// point and the n = d + 1 digits the n + 1 before, the sign just before those, blanks
// below. Fields of 8 to 16 characters are written with stores of fixed size, each over
// the one before: blanks over the whole field in two words of 8, the sign, the point and
// the digits in one word of 8 whose bytes past the digits fall where the exponent part
// goes next (so n >= 3 keeps that word inside the field), then the exponent part.
class ShortFieldShape {
 public:
  static constexpr std::int32_t kMinWidth = 8;
  static constexpr std::int32_t kMaxWidth = 16;
  static constexpr int kMinDigits = 3;
  static constexpr int kMaxDigits = 7;  // the point and the digits fit a word of 8

  constexpr ShortFieldShape() = default;
  constexpr ShortFieldShape(std::int32_t width, std::int32_t fractionDigits, std::int32_t scaleFactor) {
    const int digitCount = fractionDigits + 1;
    // The unsigned text is n + 5 characters: the digits, the point and the exponent part.
    usable_ = scaleFactor == 1 && digitCount >= kMinDigits && digitCount <= kMaxDigits && width >= kMinWidth &&
              width <= kMaxWidth && width >= digitCount + 5;
    if (!usable_) return;
    width_ = static_cast<std::size_t>(width);
    digitCount_ = digitCount;
    signFits_ = width >= digitCount + 6;
    digitScale_ = kDigitScales[static_cast<std::size_t>(decimal::kShortMaxDigits - digitCount)];
    mantissaAt_ = width_ - 5 - static_cast<std::size_t>(digitCount);
  }

  constexpr bool usable() const { return usable_; }

  // Writes `value` into field[0, width) as editReal does, and returns true; false, with
  // the field untouched, for what this layout does not take: zero, infinities, NaN, an
  // exponent of three digits, a sign without room, or digits that shortDigits leaves to
  // the general rounding. Only for a usable shape.
  bool edit(double value, char* field) const {
    const decimal::ShortDigits digits = decimal::shortDigits(value, digitCount_);
    if (digits.digits == 0) return false;
    const std::int32_t exponent = digits.exponent - 1;
    const bool negative = std::signbit(value);
    if (exponent > kShortFieldMaxExponent || exponent < -kShortFieldMaxExponent || (negative && !signFits_)) {
      return false;
    }
    // The digits, first lowest, as eight characters; the first moves down to make room for
    // the point after it.
    const std::uint64_t digitText = decimal::eightDigitBytes(digits.digits * digitScale_);
    const std::uint64_t mantissa =
        (digitText & 0xFF) | std::uint64_t{'.'} << 8 | (digitText & ~std::uint64_t{0xFF}) << 8;
    constexpr std::uint64_t kBlanks = 0x2020202020202020;
    decimal::storeDigitBytes(kBlanks, field);
    decimal::storeDigitBytes(kBlanks, field + width_ - 8);
    if (signFits_) field[mantissaAt_ - 1] = negative ? '-' : ' ';
    decimal::storeDigitBytes(mantissa, field + mantissaAt_);
    std::memcpy(field + width_ - 4,
                kShortFieldExponents[static_cast<std::size_t>(exponent + kShortFieldMaxExponent)].data(), 4);
    return true;
  }

 private:
  // 10^0 .. 10^7: what scales n digits up to the eight of eightDigitBytes.
  static constexpr auto kDigitScales = decimal::powerTable<std::uint32_t, decimal::kShortMaxDigits>(10);

  bool usable_ = false;
  bool signFits_ = false;
  int digitCount_ = 0;
  std::size_t width_ = 0;
  std::size_t mantissaAt_ = 0;
  std::uint32_t digitScale_ = 0;
};

}  // namespace recio::format

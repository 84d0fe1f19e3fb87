// The common E field laid out in registers: scale factor 1, at most seven significant
// digits, a field of 8 to 16 characters (the table's E13.5). Its digits come as one
// integer (shortDigits); the field's bytes are put together as one 16-byte image, first
// byte lowest, and stored as two 8-byte words, with neither a call nor a buffer in memory.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "recio/decimal/decimal.h"
#include "recio/decimal/digit_text.h"
#include "recio/decimal/power_table.h"
#include "recio/decimal/powers.h"

namespace recio::format {

// The image's last four bytes take the exponent part E+nn: exponents of three digits,
// whose part has no letter, are left to editReal.
inline constexpr int kShortFieldMaxExponent = 99;

// The exponent parts E-99 .. E+99, first byte lowest, at exponent + 99.
inline constexpr auto kShortFieldExponents = [] {
  std::array<std::uint32_t, 2 * kShortFieldMaxExponent + 1> parts{};
  for (int exponent = -kShortFieldMaxExponent; exponent <= kShortFieldMaxExponent; ++exponent) {
    const int magnitude = exponent < 0 ? -exponent : exponent;
    parts[static_cast<std::size_t>(exponent + kShortFieldMaxExponent)] =
        std::uint32_t{'E'} | static_cast<std::uint32_t>(exponent < 0 ? '-' : '+') << 8 |
        static_cast<std::uint32_t>('0' + magnitude / 10) << 16 | static_cast<std::uint32_t>('0' + magnitude % 10) << 24;
  }
  return parts;
}();

// How an Ew.d field under scale factor k is laid out, worked out once for a column of
// such fields. The image holds the field right-aligned: its last character is byte 15,
// the exponent part bytes 12 to 15, the n = d + 1 digits and the point the n + 1 bytes
// before, the sign the byte before those, blanks below.
class ShortFieldShape {
 public:
  static constexpr std::size_t kImageBytes = 16;
  static constexpr std::size_t kMinWidth = 8;  // the two stores of 8 bytes overlap or touch
  static constexpr int kMaxDigits = 7;         // the point and the digits fit 8 bytes

  constexpr ShortFieldShape() = default;
  constexpr ShortFieldShape(std::int32_t width, std::int32_t fractionDigits, std::int32_t scaleFactor) {
    const int digitCount = fractionDigits + 1;
    // The unsigned text is n + 5 characters: the digits, the point and the exponent part.
    usable_ = scaleFactor == 1 && fractionDigits >= 0 && digitCount <= kMaxDigits &&
              width >= static_cast<std::int32_t>(kMinWidth) && width <= static_cast<std::int32_t>(kImageBytes) &&
              width >= digitCount + 5;
    if (!usable_) return;
    width_ = static_cast<std::size_t>(width);
    digitCount_ = digitCount;
    signFits_ = width >= digitCount + 6;
    digitScale_ = kDigitScales[static_cast<std::size_t>(decimal::kShortMaxDigits - digitCount)];
    const unsigned mantissaBytes = static_cast<unsigned>(digitCount) + 1;
    mantissaShift_ = 8 * (12 - mantissaBytes);
    mantissaMask_ = mantissaBytes == 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * mantissaBytes)) - 1;
    fieldShift_ = 8 * static_cast<unsigned>(kImageBytes - width_);
    for (unsigned byte = 0; byte < 12 - mantissaBytes; ++byte)
      blanks_ |= static_cast<decimal::UInt128>(' ') << (8 * byte);
  }

  constexpr bool usable() const { return usable_; }

  // Writes `value` into field[0, width) as editReal does, and returns true; false, with
  // the field untouched, for what this layout does not take: zero, infinities, NaN, an
  // exponent of three digits, a sign without room, or digits that shortDigits leaves to
  // the general rounding. Only for a usable shape.
  bool edit(double value, char* field) const {
    std::uint32_t digits = 0;
    std::int32_t decimalExponent = 0;
    if (!decimal::shortDigits(value, digitCount_, digits, decimalExponent)) return false;
    const std::int32_t exponent = decimalExponent - 1;
    const bool negative = std::signbit(value);
    if (exponent > kShortFieldMaxExponent || exponent < -kShortFieldMaxExponent || (negative && !signFits_)) {
      return false;
    }
    // The digits, first lowest, as eight characters; the first moves down to make room for
    // the point after it, and what lies past the n digits is cut off.
    const std::uint64_t digitText = decimal::eightDigitBytes(digits * digitScale_);
    const std::uint64_t mantissa =
        ((digitText & 0xFF) | std::uint64_t{'.'} << 8 | (digitText & ~std::uint64_t{0xFF}) << 8) & mantissaMask_;
    // A blank turned into '-' by the bits that tell them apart.
    const decimal::UInt128 sign = static_cast<decimal::UInt128>(negative ? ' ' ^ '-' : 0) << (mantissaShift_ - 8);
    const decimal::UInt128 image =
        (blanks_ ^ sign) | static_cast<decimal::UInt128>(mantissa) << mantissaShift_ |
        static_cast<decimal::UInt128>(kShortFieldExponents[static_cast<std::size_t>(exponent + kShortFieldMaxExponent)])
            << 96;
    decimal::storeDigitBytes(static_cast<std::uint64_t>(image >> fieldShift_), field);
    decimal::storeDigitBytes(static_cast<std::uint64_t>(image >> 64), field + width_ - 8);
    return true;
  }

 private:
  // 10^0 .. 10^7: what scales n digits up to the eight of eightDigitBytes.
  static constexpr auto kDigitScales = decimal::powerTable<std::uint32_t, decimal::kShortMaxDigits>(10);

  bool usable_ = false;
  bool signFits_ = false;
  int digitCount_ = 0;
  std::size_t width_ = 0;
  std::uint32_t digitScale_ = 0;
  unsigned mantissaShift_ = 0;
  unsigned fieldShift_ = 0;
  std::uint64_t mantissaMask_ = 0;
  decimal::UInt128 blanks_ = 0;
};

}  // namespace recio::format

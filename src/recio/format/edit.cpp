// Ew.d editing of one value into its field: the value rounded to the field's decimal
// digits (decimal.h) placed around the point as the scale factor asks, then the
// exponent; zero, infinities and NaN take layouts of their own, and a field too narrow
// for its text takes asterisks.
#include "recio/format/edit.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "recio/decimal/decimal.h"
#include "recio/decimal/digit_text.h"
#include "recio/decimal/power_table.h"
#include "recio/decimal/short_digits.h"
#include "recio/format/field_copy.h"

namespace recio::format {
namespace {

// The exponent part always takes four characters: E+nn for |exponent| < 100, +nnn
// without the letter for three digits. Four digits do not fit at all.
constexpr std::size_t kExponentPartLength = 4;
constexpr std::int64_t kLargestExponent = 999;

constexpr char kInfinityText[] = "Infinity";
constexpr std::size_t kInfinityLength = sizeof(kInfinityText) - 1;
constexpr std::size_t kShortInfinityLength = 3;  // "Inf"
constexpr char kNaNText[] = "NaN";
constexpr std::size_t kNaNLength = sizeof(kNaNText) - 1;

// 10^0 .. 10^7: what scales a short field's digits up to eight.
constexpr auto kShortScales = decimal::powerTable<std::uint32_t, decimal::kShortMaxDigits>(10);

void fillAsterisks(char* field, std::size_t width) { std::memset(field, '*', width); }

// Blank-fills the left of the field and returns where text of `length` characters starts.
char* rightJustify(char* field, std::size_t width, std::size_t length) {
  std::memset(field, ' ', width - length);
  return field + (width - length);
}

// |exponent| <= kLargestExponent.
inline char* writeExponent(char* out, std::int64_t exponent) {
  const auto magnitude = static_cast<unsigned>(exponent < 0 ? -exponent : exponent);
  const char sign = exponent < 0 ? '-' : '+';
  char part[kExponentPartLength];
  if (magnitude < 100) {
    part[0] = 'E';
    part[1] = sign;
  } else {
    part[0] = sign;
    part[1] = static_cast<char>('0' + magnitude / 100);
  }
  decimal::writeDigitPair(part + 2, magnitude % 100);
  std::memcpy(out, part, kExponentPartLength);
  return out + kExponentPartLength;
}

// Copies `count` digits starting at digit `first`; digits beyond those generated (only
// for more than DecimalDigits::kMaxDigits significant digits) are written as zeros.
char* writeDigits(char* out, const decimal::DecimalDigits& digits, std::size_t first, std::size_t count) {
  const auto held = static_cast<std::size_t>(digits.count);
  const std::size_t copied = first >= held ? 0 : std::min(count, held - first);
  std::memcpy(out, digits.digits + first, copied);
  std::memset(out + copied, '0', count - copied);
  return out + count;
}

void editSpecial(const decimal::DecimalDigits& digits, std::size_t width, char* field) {
  if (digits.kind == decimal::DigitsKind::NaN) {
    if (width < kNaNLength) {
      fillAsterisks(field, width);
    } else {
      std::memcpy(rightJustify(field, width, kNaNLength), kNaNText, kNaNLength);
    }
    return;
  }
  const std::size_t signLength = digits.negative ? 1 : 0;
  std::size_t textLength = 0;
  if (width >= kInfinityLength + signLength) {
    textLength = kInfinityLength;
  } else if (width >= kShortInfinityLength + signLength) {
    textLength = kShortInfinityLength;
  } else {
    fillAsterisks(field, width);
    return;
  }
  char* out = rightJustify(field, width, signLength + textLength);
  if (digits.negative) *out++ = '-';
  std::memcpy(out, kInfinityText, textLength);
}

// Zero of either sign: no sign, as if k were 0, exponent 0. The 0 before the point is
// written only when the field has room for it.
void editZero(std::size_t width, std::size_t fractionDigits, char* field) {
  const std::size_t restLength = 1 + fractionDigits + kExponentPartLength;
  if (restLength > width) {
    fillAsterisks(field, width);
    return;
  }
  const bool leadingZero = width > restLength;
  char* out = rightJustify(field, width, restLength + (leadingZero ? 1 : 0));
  if (leadingZero) *out++ = '0';
  *out++ = '.';
  std::memset(out, '0', fractionDigits);
  writeExponent(out + fractionDigits, 0);
}

// The common field: a scale factor of 1 and at most decimal::kShortMaxDigits digits, one
// before the point, of a value whose digits come as one integer. False, with the field
// untouched, when its digits do not come so; editReal then takes the general way, which
// gives the same characters.
bool editShort(double value, std::size_t width, std::size_t fractionDigits, char* field) {
  const int digitCount = static_cast<int>(fractionDigits) + 1;
  const decimal::ShortDigits digits = decimal::shortDigits(value, digitCount);
  if (digits.digits == 0) return false;
  const bool negative = std::signbit(value);
  const std::size_t length = (negative ? 1 : 0) + fractionDigits + 2 + kExponentPartLength;
  // |X - 1| <= 324 for every double: the exponent part always fits.
  if (length > width) {
    fillAsterisks(field, width);
    return true;
  }
  // The text is put together in fixed-size pieces, then set right in a blank buffer of
  // fixed size and copied whole, so that neither its blanks nor its digits cost a call.
  // The longest text (sign, digit, point, seven digits, exponent part) takes 14
  // characters; the widest field so copied leaves at most 26 blanks before it.
  char text[16];
  char* out = text;
  *out = '-';
  out += negative ? 1 : 0;
  // The digits left-aligned in eight characters: the first, the point, then the rest.
  char digitText[8];
  decimal::storeDigitBytes(
      decimal::eightDigitBytes(digits.digits *
                               kShortScales[static_cast<std::size_t>(decimal::kShortMaxDigits - digitCount)]),
      digitText);
  *out++ = digitText[0];
  *out++ = '.';
  std::memcpy(out, digitText + 1, 7);  // the text has room for every digit
  writeExponent(out + fractionDigits, digits.exponent - 1);
  if (width <= kLargestFieldCopy) {
    char buffer[kLargestFieldCopy + sizeof text];
    std::memset(buffer, ' ', sizeof buffer);
    std::memcpy(buffer + (width - length), text, sizeof text);
    copyField(field, buffer, width);
  } else {
    std::memcpy(rightJustify(field, width, length), text, length);
  }
  return true;
}

}  // namespace

void editReal(double value, std::int32_t width, std::int32_t fractionDigits, std::int32_t scaleFactor,
              char* field) noexcept {
  if (width <= 0) return;
  const auto fieldWidth = static_cast<std::size_t>(width);
  const std::int64_t d = std::max(fractionDigits, 0);
  const std::int64_t k = scaleFactor;
  // k > 0 puts k digits before the point and d - k + 1 after it; k <= 0 puts -k zeros
  // after the point and d + k digits after them.
  const bool scaleUsable = k > 0 ? k < d + 2 : k > -d;
  const std::int64_t digitCount = k > 0 ? d + 1 : d + k;
  if (k == 1 && d < decimal::kShortMaxDigits && editShort(value, fieldWidth, static_cast<std::size_t>(d), field)) {
    return;
  }

  decimal::DecimalDigits digits;
  decimal::generateDigits(
      value, static_cast<int>(std::clamp<std::int64_t>(digitCount, 1, decimal::DecimalDigits::kMaxDigits)), digits);
  switch (digits.kind) {
    case decimal::DigitsKind::Infinite:
    case decimal::DigitsKind::NaN:
      editSpecial(digits, fieldWidth, field);
      return;
    case decimal::DigitsKind::Zero:
      editZero(fieldWidth, static_cast<std::size_t>(d), field);
      return;
    case decimal::DigitsKind::Finite:
      break;
  }
  const std::int64_t exponent = digits.exponent - k;
  if (!scaleUsable || exponent > kLargestExponent || exponent < -kLargestExponent) {
    fillAsterisks(field, fieldWidth);
    return;
  }
  const std::size_t signLength = digits.negative ? 1 : 0;
  const auto fraction = static_cast<std::size_t>(d);
  if (k > 0) {
    const std::size_t length = signLength + fraction + 2 + kExponentPartLength;
    if (length > fieldWidth) {
      fillAsterisks(field, fieldWidth);
      return;
    }
    char* out = rightJustify(field, fieldWidth, length);
    if (digits.negative) *out++ = '-';
    const auto before = static_cast<std::size_t>(k);
    out = writeDigits(out, digits, 0, before);
    *out++ = '.';
    out = writeDigits(out, digits, before, fraction + 1 - before);
    writeExponent(out, exponent);
    return;
  }
  const std::size_t restLength = signLength + 1 + fraction + kExponentPartLength;
  if (restLength > fieldWidth) {
    fillAsterisks(field, fieldWidth);
    return;
  }
  const bool leadingZero = fieldWidth > restLength;
  char* out = rightJustify(field, fieldWidth, restLength + (leadingZero ? 1 : 0));
  if (digits.negative) *out++ = '-';
  if (leadingZero) *out++ = '0';
  *out++ = '.';
  const auto zeros = static_cast<std::size_t>(-k);
  std::memset(out, '0', zeros);
  out = writeDigits(out + zeros, digits, 0, fraction - zeros);
  writeExponent(out, exponent);
}

}  // namespace recio::format

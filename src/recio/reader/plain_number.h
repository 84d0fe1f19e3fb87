// Taking a plain number: a numeric token of the shape [sign] digits [. digits] [letter
// [sign] digits], taken in runs of digits and cut into the parts its conversion takes.
// The read statement's common path and the scan of whole plain lines (plain_line.h) both
// take their numbers here, so that both accept exactly the same tokens.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "recio/decimal/decimal.h"
#include "recio/decimal/power_table.h"
#include "recio/decimal/syntax.h"
#include "recio/processor/little_endian.h"
#include "recio/reader/byte_classes.h"

namespace recio::reader {

// The value of eight digits held one to a byte, the first digit in the lowest byte:
// neighbours are joined into pairs, pairs into fours and fours into the eight, each
// step one multiplication for every lane at once. No lane overflows: a pair is at most
// 99 in its byte, a four at most 9999 in its 16 bits.
constexpr std::uint64_t eightDigitsValue(std::uint64_t digits) {
  digits = (digits * 10 + (digits >> 8)) & 0x00FF00FF00FF00FF;
  digits = (digits * 100 + (digits >> 16)) & 0x0000FFFF0000FFFF;
  return (digits * 10000 + (digits >> 32)) & 0xFFFFFFFF;
}
static_assert(eightDigitsValue(0x0807060504030201) == 12345678);

constexpr std::array<std::uint64_t, 9> kDigitScales = decimal::powerTable<std::uint64_t, 9>(10);

// Steps over a run of digits and adds them to `value` (addWrittenDigit, eight at a
// time): eight bytes at a time while the record holds that many, so that neither the
// run's length nor its digits cost a branch per byte. Used for fractions, the long runs
// of real files; integer parts and exponents are short, and a plain loop over them is
// cheaper.
inline const char* fractionRun(const char* at, const char* end, std::uint64_t& value) {
  constexpr std::uint64_t kZeros = 0x3030303030303030;  // '0' in every byte
  constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7F;
  constexpr std::uint64_t kAboveNine = 0x7676767676767676;  // 0x80 - 10 in every byte
  constexpr std::uint64_t kHigh = 0x8080808080808080;
  while (end - at >= 8) {
    const std::uint64_t offsets = loadLittleEndian64(at) ^ kZeros;  // a digit's byte becomes 0..9
    // The top bit of a byte is set when its offset is 10 or more: by the addition for
    // offsets below 0x80 (masked first so that no carry crosses bytes), else by itself.
    const std::uint64_t others = (((offsets & kLow7) + kAboveNine) | offsets) & kHigh;
    if (others != 0) {
      const unsigned count = static_cast<unsigned>(std::countr_zero(others)) >> 3;
      // The run's digits moved to the top bytes: the bytes below become leading zeros.
      if (count != 0) value = value * kDigitScales[count] + eightDigitsValue(offsets << (64 - 8 * count));
      return at + count;
    }
    value = value * kDigitScales[8] + eightDigitsValue(offsets);
    at += 8;
  }
  decimal::digitRun(at, end, value, decimal::addWrittenDigit);
  return at;
}

// The token of a plain number that plainNumberParts took: where it ends, nullptr when
// the token is not plain, and whether it has neither a '.' nor an exponent letter.
struct PlainToken {
  const char* end;
  bool integerForm;
};

// Nearly every token has the plain shape [sign] digits [. digits] [letter [sign]
// digits], which meets every rule of a numeric token by its form. The value that starts
// at `start` (a non-blank byte of the record) is taken as such a token when it is one:
// in runs of digits rather than byte by byte, its digits added up on the way, into the
// parts that its conversion takes (whole only when the token's end is not nullptr).
// Any other value, a token that breaks the shape (the rules then decide) and one ended
// by '*' (a repeat count) give nullptr.
[[gnu::always_inline]] inline PlainToken plainNumberParts(const char* start, const char* end,
                                                          decimal::NumberParts& parts) {
  // Only a value that starts as a number can be one: a '.' first may also start a
  // logical value (.true.), which only the rules tell apart.
  if (valueStart(*start) != ValueStart::Numeric) return {nullptr, false};
  // Signed and unsigned numbers come in no predictable order: no branch for the sign.
  parts.negative = *start == '-';
  const char* at = start + static_cast<int>(*start == '+' || *start == '-');
  const char* const mantissa = at;
  std::uint64_t written = 0;
  parts.integerDigits = decimal::digitRun(at, end, written, decimal::addWrittenDigit);
  parts.fractionDigits = {};
  std::ptrdiff_t pointBytes = 0;
  bool integerForm = true;
  if (at < end && *at == '.') {
    integerForm = false;
    pointBytes = 1;
    const char* const fraction = at + 1;
    at = fractionRun(fraction, end, written);
    parts.fractionDigits = {fraction, static_cast<std::size_t>(at - fraction)};
  }
  if (at - mantissa == pointBytes) return {nullptr, false};  // no mantissa digit
  parts.writtenDigits = written;
  parts.exponentDigits = {};
  parts.exponentValue = 0;
  parts.exponentNegative = false;
  if (at < end && isExponentLetter(*at)) {
    integerForm = false;
    ++at;
    if (at < end && (*at == '+' || *at == '-')) parts.exponentNegative = *at++ == '-';
    std::int64_t exponentValue = 0;
    const std::string_view exponentDigits = decimal::digitRun(at, end, exponentValue, decimal::addExponentDigit);
    if (exponentDigits.empty()) return {nullptr, false};
    parts.exponentDigits = exponentDigits;
    parts.exponentValue = exponentValue;
  }
  if (at < end && numericByte(*at) != NumericByte::End) return {nullptr, false};
  return {at, integerForm};
}

}  // namespace recio::reader

// Taking a plain number: a numeric token of the shape [sign] digits [. digits] [letter
// [sign] digits], taken in runs of digits and cut into the parts its conversion takes.
// The read statement's common path and the scan of whole plain lines (plain_line.h) both
// take their numbers here, so that both accept exactly the same tokens.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "recio/decimal/decimal.h"
#include "recio/decimal/syntax.h"
#include "recio/processor/little_endian.h"
#include "recio/reader/byte_classes.h"
#include "recio/reader/digit_words.h"

namespace recio::reader {

// Steps over a run of digits and adds them to `value` (addWrittenDigit, eight at a
// time): eight bytes at a time while the record holds that many, so that neither the
// run's length nor its digits cost a branch per byte. Used for fractions, the long runs
// of real files; integer parts and exponents are short, and a plain loop over them is
// cheaper.
inline const char* fractionRun(const char* at, const char* end, std::uint64_t& value) {
  while (end - at >= 8) {
    const std::uint64_t offsets = loadLittleEndian64(at) ^ kZeroDigits;
    const std::uint64_t others = nonDigitBytes(offsets);
    if (others != 0) {
      const unsigned count = static_cast<unsigned>(std::countr_zero(others)) >> 3;
      if (count != 0) value = value * kDigitScales[count] + leadingDigitsValue(offsets, count);
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

// Decimal text to binary: parseInteger32 and parseReal64.
#include "recio/decimal.h"

#include <algorithm>
#include <bit>
#include <limits>

#include "recio/decimal_mantissa.h"

namespace recio {
namespace {

using decimal_detail::digitValue;
using decimal_detail::isDigit;
using decimal_detail::kBinary64Powers;
using decimal_detail::Mantissa;

constexpr bool isWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

constexpr char toLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

constexpr bool isPayloadCharacter(char c) {
  const char lower = toLower(c);
  return isDigit(c) || (lower >= 'a' && lower <= 'z') || c == '_';
}

constexpr bool isExponentLetter(char c) {
  const char lower = toLower(c);
  return lower == 'e' || lower == 'd' || lower == 'q';
}

// How many leading characters of [cursor, end) match `word` (lower case) ignoring case.
std::size_t matchedLetters(const char* cursor, const char* end, const char* word) {
  std::size_t matched = 0;
  while (word[matched] != '\0' && cursor + matched < end && toLower(cursor[matched]) == word[matched]) ++matched;
  return matched;
}

constexpr std::uint64_t kSignBit = std::uint64_t{1} << 63;
constexpr std::uint64_t kInfinityBits = 0x7FFull << 52;
// The quiet NaN that every NaN token reads as, sign bit set.
constexpr std::uint64_t kNegativeQuietNaNBits = kSignBit | kInfinityBits | (std::uint64_t{1} << 51);

constexpr ParseResult<double> okay(double magnitude, bool negative) {
  return {ConversionStatus::Ok, negative ? -magnitude : magnitude};
}
constexpr ParseResult<double> kInvalidReal{ConversionStatus::Invalid, 0.0};
constexpr ParseResult<double> kOverflowReal{ConversionStatus::Overflow, 0.0};

// After an 'I': "inf" or "infinity" (any case) and nothing else.
ParseResult<double> infinityWord(const char* cursor, const char* end, bool negative) {
  const std::size_t matched = matchedLetters(cursor, end, "infinity");
  if ((matched != 3 && matched != 8) || cursor + matched != end) return kInvalidReal;
  return okay(std::numeric_limits<double>::infinity(), negative);
}

// After an 'N': "nan" (any case), then optionally a payload "(letters, digits, _)" after
// optional white space, taken only as a whole up to its closing parenthesis.
ParseResult<double> nanWord(const char* cursor, const char* end, bool plusSign) {
  if (matchedLetters(cursor, end, "nan") != 3) return kInvalidReal;
  cursor += 3;
  const char* payload = cursor;
  while (payload < end && isWhiteSpace(*payload)) ++payload;
  if (payload < end && *payload == '(') {
    ++payload;
    while (payload < end && isPayloadCharacter(*payload)) ++payload;
    if (payload < end && *payload == ')') cursor = payload + 1;
  }
  if (cursor != end) return kInvalidReal;
  return {ConversionStatus::Ok,
          std::bit_cast<double>(plusSign ? kNegativeQuietNaNBits & ~kSignBit : kNegativeQuietNaNBits)};
}

// The common shape of a token, read in one pass: an optional sign, at most 15 digits
// with at most one point among them, and an optional exponent letter with an optional
// sign and at most three digits, and nothing else. Its value is then the fast case
// D * 10^o or D / 10^-o when D is not zero and |o| <= 22. Returns false, having decided
// nothing, for every other token; the full scan then takes it.
bool commonShapeValue(const char* cursor, const char* end, double& value) {
  bool negative = false;
  if (cursor < end && (*cursor == '-' || *cursor == '+')) negative = *cursor++ == '-';
  std::uint64_t digits = 0;  // below 10^15: leading zeros count against the 15
  const char* const integerStart = cursor;
  for (unsigned digit = 0; cursor < end && (digit = digitValue(*cursor)) < 10; ++cursor) digits = digits * 10 + digit;
  const std::int64_t integerDigits = cursor - integerStart;
  std::int64_t afterPoint = 0;
  if (cursor < end && *cursor == '.') {
    const char* const fractionStart = ++cursor;
    for (unsigned digit = 0; cursor < end && (digit = digitValue(*cursor)) < 10; ++cursor) digits = digits * 10 + digit;
    afterPoint = cursor - fractionStart;
  }
  if (digits == 0 || integerDigits + afterPoint > 15) return false;
  std::int64_t exponent = 0;
  if (cursor < end && isExponentLetter(*cursor)) {
    ++cursor;
    bool exponentNegative = false;
    if (cursor < end && (*cursor == '-' || *cursor == '+')) exponentNegative = *cursor++ == '-';
    const char* const exponentStart = cursor;
    for (; cursor < end && isDigit(*cursor) && cursor - exponentStart < 3; ++cursor)
      exponent = exponent * 10 + digitValue(*cursor);
    if (exponentNegative) exponent = -exponent;
  }
  const std::int64_t decimalScale = exponent - afterPoint;
  constexpr int kMaxPower = decimal_detail::kMaxExactBinary64Power;
  if (cursor != end || decimalScale < -kMaxPower || decimalScale > kMaxPower) return false;
  const double exact = static_cast<double>(static_cast<std::int64_t>(digits));
  const double magnitude = decimalScale >= 0 ? exact * kBinary64Powers[static_cast<std::size_t>(decimalScale)]
                                             : exact / kBinary64Powers[static_cast<std::size_t>(-decimalScale)];
  value = negative ? -magnitude : magnitude;
  return true;
}

}  // namespace

ParseResult<std::int32_t> parseInteger32(const char* token, std::size_t length) noexcept {
  constexpr ParseResult<std::int32_t> kInvalid{ConversionStatus::Invalid, 0};
  constexpr ParseResult<std::int32_t> kOverflow{ConversionStatus::Overflow, 0};
  const char* cursor = token;
  const char* const end = token + length;
  const auto skipSpaces = [&] {
    while (cursor < end && *cursor == ' ') ++cursor;
    return cursor < end && *cursor == '\t';
  };
  if (skipSpaces()) return kInvalid;
  bool negative = false;
  if (cursor < end && (*cursor == '+' || *cursor == '-')) {
    negative = *cursor == '-';
    ++cursor;
    if (skipSpaces()) return kInvalid;
  }
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  std::uint64_t magnitude = 0;
  bool overflow = false;
  for (; cursor < end; ++cursor) {
    const unsigned digit = digitValue(*cursor);
    if (digit >= 10) return kInvalid;  // a bad character outranks an overflow before it
    if (overflow) continue;
    if (magnitude > kMax / 10 || magnitude * 10 > kMax - digit) {
      overflow = true;
      continue;
    }
    magnitude = magnitude * 10 + digit;
  }
  if (overflow) return kOverflow;
  constexpr std::uint64_t kLargestPositive = std::numeric_limits<std::int32_t>::max();
  if (magnitude > kLargestPositive + (negative ? 1 : 0)) return kOverflow;
  const auto value = static_cast<std::int64_t>(magnitude);
  return {ConversionStatus::Ok, static_cast<std::int32_t>(negative ? -value : value)};
}

ParseResult<double> parseReal64(const char* token, std::size_t length) noexcept {
  double common = 0;
  if (commonShapeValue(token, token + length, common)) return {ConversionStatus::Ok, common};
  const char* cursor = token;
  const char* const end = token + length;
  bool negative = false;
  // White space, a sign and the words INF, INFINITY and NAN can only come first.
  if (cursor < end && !isDigit(*cursor)) {
    while (cursor < end && isWhiteSpace(*cursor)) ++cursor;
    bool signGiven = false;
    if (cursor < end && (*cursor == '+' || *cursor == '-')) {
      signGiven = true;
      negative = *cursor == '-';
      ++cursor;
    }
    // The words: nothing but white space and a sign can stand before them.
    if (cursor < end && toLower(*cursor) == 'i') return infinityWord(cursor, end, negative);
    if (cursor < end && toLower(*cursor) == 'n') return nanWord(cursor, end, signGiven && !negative);
  }

  // Mantissa: digits and at most one point. Zeros before the first non-zero digit only
  // count as places after the point.
  Mantissa mantissa;
  for (; cursor < end; ++cursor) {
    if (*cursor == '0') {
      mantissa.digitSeen = true;
      if (mantissa.pointSeen) ++mantissa.digitsAfterPoint;
    } else if (*cursor == '.' && !mantissa.pointSeen) {
      mantissa.pointSeen = true;
    } else {
      break;
    }
  }
  if (cursor < end && isDigit(*cursor)) {  // the first significant digit
    mantissa.digitSeen = true;
    if (!mantissa.pointSeen) {
      mantissa.appendRun(cursor, end);
      if (cursor < end && *cursor == '.') {
        mantissa.pointSeen = true;
        ++cursor;
        mantissa.digitsAfterPoint += mantissa.appendRun(cursor, end);
      }
    } else {
      mantissa.digitsAfterPoint += mantissa.appendRun(cursor, end);
    }
  }

  // Exponent: a letter, or a sign right after the mantissa (1.0+3). Leading zeros do not
  // count; past six counted digits only the count still matters.
  std::int64_t exponent = 0;
  int exponentDigits = 0;
  bool exponentNegative = false;
  if (cursor < end) {
    const bool letter = isExponentLetter(*cursor);
    const bool sign = (*cursor == '+' || *cursor == '-') && (mantissa.digitSeen || mantissa.pointSeen);
    if (letter || sign) {
      if (letter) ++cursor;
      if (cursor < end && (*cursor == '+' || *cursor == '-')) {
        exponentNegative = *cursor == '-';
        ++cursor;
      }
      for (; cursor < end && isDigit(*cursor); ++cursor) {
        const unsigned digit = digitValue(*cursor);
        if (exponentDigits == 0 && digit == 0) continue;
        if (++exponentDigits <= 6) exponent = exponent * 10 + digit;
      }
    }
  }
  if (cursor != end) return kInvalidReal;

  if (mantissa.significantDigits == 0) return okay(0.0, negative && mantissa.digitSeen);
  if (exponentDigits > 6) return exponentNegative ? okay(0.0, negative) : kOverflowReal;
  // With the checks on X below, N + f is within -323 .. 309, so o = f + max(N - 27, 0) is
  // within -350 .. 308 whatever the lengths.
  const std::int64_t scale = (exponentNegative ? -exponent : exponent) - mantissa.digitsAfterPoint;  // f
  const std::int64_t decimalExponent = mantissa.significantDigits + scale;                           // X
  if (decimalExponent < -323) return okay(0.0, negative);
  if (decimalExponent > 309) return kOverflowReal;
  const std::int64_t decimalScale =
      scale + std::max<std::int64_t>(mantissa.significantDigits - decimal_detail::kMaxKeptDigits, 0);
  return decimal_detail::mantissaValue(mantissa, decimalScale, negative);
}

}  // namespace recio

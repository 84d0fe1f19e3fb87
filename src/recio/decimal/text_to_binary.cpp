// Decimal text to binary: parseInteger32; the scan of parseReal64 that cuts a real token
// into its parts (or reads it as one of the words INFINITY and NAN); and the parts' value
// in the first fast case, which takes nearly every token. The other cases are in
// digits_to_binary.cpp.
#include "recio/decimal/decimal.h"

#include <bit>
#include <limits>
#include <string_view>

#include "recio/decimal/mantissa.h"
#include "recio/decimal/syntax.h"

namespace recio::decimal {
namespace {

constexpr bool isWhiteSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

constexpr bool isPayloadCharacter(char c) {
  const char lower = toLower(c);
  return isDigit(c) || (lower >= 'a' && lower <= 'z') || c == '_';
}

// The quiet NaN that every NaN token reads as: the eleven exponent bits and the top
// fraction bit set, and the sign bit too unless a '+' was written.
constexpr std::uint64_t kSignBit = std::uint64_t{1} << 63;
constexpr std::uint64_t kPositiveQuietNaNBits = std::uint64_t{0xFFF} << 51;

constexpr ParseResult<double> kInvalidReal{ConversionStatus::Invalid, 0.0};

// After an 'I': "inf" or "infinity" (any case) and nothing else.
ParseResult<double> infinityWord(const char* cursor, const char* end, bool negative) {
  const std::size_t matched = matchedLetters(cursor, end, "infinity");
  if ((matched != 3 && matched != 8) || cursor + matched != end) return kInvalidReal;
  constexpr double kInfinity = std::numeric_limits<double>::infinity();
  return {ConversionStatus::Ok, negative ? -kInfinity : kInfinity};
}

// After an 'N': "nan" (any case), then optionally a payload "(letters, digits, _)" after
// optional white space, taken only as a whole up to its closing parenthesis.
ParseResult<double> nanWord(const char* cursor, const char* end, bool plusSign) {
  if (matchedLetters(cursor, end, "nan") != 3) return kInvalidReal;
  cursor += 3;
  if (const char* payloadEnd = nanPayloadEnd(cursor, end, isWhiteSpace, isPayloadCharacter)) cursor = payloadEnd;
  if (cursor != end) return kInvalidReal;
  return {ConversionStatus::Ok,
          std::bit_cast<double>(plusSign ? kPositiveQuietNaNBits : kPositiveQuietNaNBits | kSignBit)};
}

// The digits of an integer token after its sign; Invalid at any other character.
ParseResult<std::int32_t> integerValue(std::string_view digits, bool negative) {
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  std::uint64_t magnitude = 0;
  bool overflow = false;
  for (char c : digits) {
    const unsigned digit = digitValue(c);
    if (digit >= 10) return {ConversionStatus::Invalid, 0};  // a bad character outranks an overflow before it
    if (overflow) continue;
    if (magnitude > kMax / 10 || magnitude * 10 > kMax - digit) {
      overflow = true;
      continue;
    }
    magnitude = magnitude * 10 + digit;
  }
  constexpr std::uint64_t kLargestPositive = std::numeric_limits<std::int32_t>::max();
  if (overflow || magnitude > kLargestPositive + (negative ? 1 : 0)) return {ConversionStatus::Overflow, 0};
  const auto value = static_cast<std::int64_t>(magnitude);
  return {ConversionStatus::Ok, static_cast<std::int32_t>(negative ? -value : value)};
}

// The value of a token's parts: the first fast case here, every other in collectedValue.
[[gnu::always_inline]] inline ParseResult<double> partsValue(const NumberParts& number) {
  const bool exponentInRange = number.exponentValue < kExponentLimit;
  const std::int64_t exponent = number.exponentNegative ? -number.exponentValue : number.exponentValue;

  // The common token, at most 15 digits written (D < 10^15 < 2^53) with a moderate
  // exponent, needs no words collected.
  const std::size_t fractionLength = number.fractionDigits.size();
  if (number.integerDigits.size() + fractionLength <= 15 && exponentInRange) {
    const std::int64_t scale = exponent - static_cast<std::int64_t>(fractionLength);
    if (number.writtenDigits != 0 && scale >= -kMaxExactBinary64Power && scale <= kMaxExactBinary64Power) {
      return withSign(scaledExactly(static_cast<double>(static_cast<std::int64_t>(number.writtenDigits)), scale),
                      number.negative);
    }
  }
  return collectedValue(number, exponent, exponentInRange);
}

}  // namespace

ParseResult<std::int32_t> parseInteger32(const char* token, std::size_t length) noexcept {
  constexpr ParseResult<std::int32_t> kInvalid{ConversionStatus::Invalid, 0};
  const char* cursor = token;
  const char* const end = token + length;
  const auto skipSpaces = [&] {
    while (cursor < end && *cursor == ' ') ++cursor;
    return cursor < end && *cursor == '\t';
  };
  if (skipSpaces()) return kInvalid;
  bool negative = false;
  if (cursor < end && isSign(*cursor)) {
    negative = *cursor == '-';
    ++cursor;
    if (skipSpaces()) return kInvalid;
  }
  return integerValue({cursor, static_cast<std::size_t>(end - cursor)}, negative);
}

ParseResult<std::int32_t> parseInteger32(const NumberParts& number) noexcept {
  return integerValue(number.integerDigits, number.negative);
}

ParseResult<double> parseReal64(const NumberParts& number) noexcept { return partsValue(number); }

ParseResult<double> parseReal64(const char* token, std::size_t length) noexcept {
  const char* cursor = token;
  const char* const end = token + length;
  NumberParts number;
  // White space, a sign and the words INF, INFINITY and NAN can only come first.
  if (cursor < end && !isDigit(*cursor)) {
    while (cursor < end && isWhiteSpace(*cursor)) ++cursor;
    bool signGiven = false;
    if (cursor < end && isSign(*cursor)) {
      signGiven = true;
      number.negative = *cursor == '-';
      ++cursor;
    }
    // The words: nothing but white space and a sign can stand before them.
    if (cursor < end && toLower(*cursor) == 'i') return infinityWord(cursor, end, number.negative);
    if (cursor < end && toLower(*cursor) == 'n') return nanWord(cursor, end, signGiven && !number.negative);
  }

  // Mantissa: digits and at most one point; a second point ends it.
  number.integerDigits = digitRun(cursor, end, number.writtenDigits, addWrittenDigit);
  bool pointSeen = false;
  if (cursor < end && *cursor == '.') {
    pointSeen = true;
    ++cursor;
    number.fractionDigits = digitRun(cursor, end, number.writtenDigits, addWrittenDigit);
  }
  // Exponent: a letter, or a sign right after the mantissa (1.0+3).
  if (cursor < end &&
      (isExponentLetter(*cursor) || (isSign(*cursor) && (pointSeen || !number.integerDigits.empty())))) {
    if (!isSign(*cursor)) ++cursor;
    if (cursor < end && isSign(*cursor)) {
      number.exponentNegative = *cursor == '-';
      ++cursor;
    }
    number.exponentDigits = digitRun(cursor, end, number.exponentValue, addExponentDigit);
  }
  if (cursor != end) return kInvalidReal;
  return partsValue(number);
}

}  // namespace recio::decimal

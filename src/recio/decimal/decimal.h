// Conversions between decimal text and binary numbers: digits of a value exact to the
// last digit, and values of a text correctly rounded but for the defined reductions near
// a midpoint that parseReal64 states. Pure functions: no state, no allocation, never a
// read outside the token.
//
// A real token is read in two steps: its text is cut into the parts of a NumberParts
// (adding up its digits on the way), and the parts are converted. A scan that has
// already cut a token (the reader's, for the plain numbers that make up nearly all
// input) hands its parts over directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace recio::decimal {

enum class ConversionStatus : std::uint8_t { Ok, Invalid, Overflow };

template <class Value>
struct ParseResult {
  ConversionStatus status;
  Value value;
};

// An integer token of free-format input. Any status but Ok gives 0.
ParseResult<std::int32_t> parseInteger32(const char* token, std::size_t length) noexcept;

// A real token of free-format input, taken as written (no implied decimal places).
// Any status but Ok gives 0.0. The value is the correctly rounded one except for tokens
// within about 2^-62 of a midpoint between two doubles: there the defined 64-bit
// reductions (or the 27 kept digits) may put it one unit in the last place away, or
// make it Overflow next to the largest double.
ParseResult<double> parseReal64(const char* token, std::size_t length) noexcept;

// A real token cut into its parts: [sign] digits [. digits] [exponent [sign] digits],
// where either digit run of the mantissa and the exponent's digits may be empty. Every
// token that parseReal64 takes as a number (not a word) has exactly one such cut, and
// converting the parts gives the same result as converting the token.
//
// The scan that cuts the parts also adds up the digits on its way over them, so that
// the common token is converted without a second pass: the mantissa's digits as one
// integer and the exponent's value, each by the rule of the function that adds them.
struct NumberParts {
  std::string_view integerDigits;   // the mantissa's digits before the point
  std::string_view fractionDigits;  // the mantissa's digits after the point
  std::string_view exponentDigits;  // empty when the token has no exponent part
  std::uint64_t writtenDigits = 0;  // addWrittenDigit over both mantissa runs
  std::int64_t exponentValue = 0;   // addExponentDigit over exponentDigits
  bool negative = false;
  bool exponentNegative = false;
};

// The mantissa's digits as written, one integer: it wraps past 19 digits, and it is
// only read when there are at most 15 of them (below 10^15 < 2^53).
constexpr std::uint64_t addWrittenDigit(std::uint64_t value, unsigned digit) { return value * 10 + digit; }

// The exponent's digits: leading zeros do not count, and past six counted digits (a
// value of 10^6 or more) only that the exponent is out of range still matters, so the
// value stops growing there.
inline constexpr std::int64_t kExponentLimit = 1000000;
constexpr std::int64_t addExponentDigit(std::int64_t value, unsigned digit) {
  return value < kExponentLimit ? value * 10 + digit : value;
}

ParseResult<double> parseReal64(const NumberParts& number) noexcept;

// An integer token with neither point nor exponent, cut into its parts: only the sign
// and integerDigits are read.
ParseResult<std::int32_t> parseInteger32(const NumberParts& number) noexcept;

enum class DigitsKind : std::uint8_t { Finite, Zero, Infinite, NaN };

struct DecimalDigits {
  static constexpr int kMaxDigits = 40;

  bool negative;  // the sign bit; false for NaN
  DigitsKind kind;
  std::int32_t count;       // digits held: n for Finite and Zero, 0 otherwise
  std::int32_t exponent;    // X with |value| ~ 0.d1d2...dn x 10^X; 0 for Zero
  char digits[kMaxDigits];  // '0'..'9', not terminated
  const char* text;         // "Infinity", "NaN" or ""
};

// The value rounded to `digitCount` significant digits (1..kMaxDigits; values
// outside are clamped), to nearest with ties to even.
void generateDigits(double value, int digitCount, DecimalDigits& result) noexcept;

// The same digits as one integer for the common short field: shortDigits (short_digits.h).

}  // namespace recio::decimal

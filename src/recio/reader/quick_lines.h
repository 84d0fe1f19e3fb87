// Quick lines: the model's common line, [blanks] [sign] digits [. digits] [E|e [sign]
// one to three digits] [CR] terminator, read eight bytes at a time together with its
// terminator, so that a run of them needs no terminator search: each line's shape ends
// at its terminator. Every quick line is a plain line (plain_line.h) and gives the value
// it gives; any other line is left to plain_line.h.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "recio/decimal/decimal.h"
#include "recio/decimal/exact_scaling.h"
#include "recio/decimal/syntax.h"
#include "recio/processor/little_endian.h"
#include "recio/reader/digit_words.h"
#include "recio/reader/plain_line.h"
#include "recio/units/terminator_search.h"

namespace recio::reader {

// At most this many mantissa digits: their integer cannot wrap (10^19 < 2^64).
inline constexpr unsigned kQuickMantissaDigits = 19;

// How far past its first byte a line may be read. After at most seven blanks (read as
// one word) and a sign comes p, the first digit. From p: the words of the integer digits
// and of the mantissa moved past its point end 9 bytes on; the mantissa's 19 digits and
// point end 20 bytes on, and the fraction's further words, read from 9 and 17 bytes on,
// end 25 bytes on; the exponent's letter, sign and three digits end 25 bytes on, and a
// CR and the terminator after them 27 bytes on.
inline constexpr std::ptrdiff_t kQuickLineReach = 7 + 1 + (kQuickMantissaDigits + 1) + 5 + 2;
static_assert(kQuickLineReach >= 7 + 1 + 27);

// What follows a quick line's mantissa, which ends at q: [E|e [sign] one to three
// digits] [CR] terminator; the other exponent letters are the plain line's. Returns the
// terminator, with the exponent's value (signed) and where the token ends, which is
// where the record's text ends; nullptr when the line goes on otherwise.
[[gnu::always_inline]] inline const char* quickLineTail(const char* q, char terminator, std::int64_t& exponent,
                                                        const char*& textEnd) {
  exponent = 0;
  if ((*q | 0x20) == 'e') {
    // The exponent that printf and most writers give, a sign and two digits just before
    // the terminator, without the count of its digits that the general case makes.
    const unsigned tens = decimal::digitValue(q[2]);
    const unsigned units = decimal::digitValue(q[3]);
    if (decimal::isSign(q[1]) && tens < 10 && units < 10 && q[4] == terminator) {
      const auto magnitude = static_cast<std::int64_t>(tens * 10 + units);
      // ',' lies between '+' and '-': ',' less the sign is its factor, 1 or -1, without a branch.
      exponent = magnitude * (',' - static_cast<std::int64_t>(q[1]));
      textEnd = q + 4;
      return textEnd;
    }
    const char sign = q[1];
    const bool negative = sign == '-';
    q += 1 + static_cast<int>(negative || sign == '+');
    const unsigned first = decimal::digitValue(q[0]);
    const unsigned second = decimal::digitValue(q[1]);
    const unsigned third = decimal::digitValue(q[2]);
    if (first > 9) return nullptr;
    if (second > 9) {
      exponent = first;
      q += 1;
    } else if (third > 9) {
      exponent = first * 10 + second;
      q += 2;
    } else {
      exponent = (first * 10 + second) * 10 + third;
      q += 3;
    }
    if (negative) exponent = -exponent;
  }
  textEnd = q;
  if (*q == terminator) return q;
  if (*q == '\r' && q[1] == terminator) return q + 1;  // the CR before the terminator is no part of the record
  return nullptr;
}

// The value of a quick line whose power of ten is past the exact case: the plain line's
// own reading of its record text [at, textEnd). Out of the way of the quick lines'
// loop, which then keeps no parts of the token; its result comes back in registers.
[[gnu::noinline]] inline decimal::ParseResult<double> quickLineByPlainRules(const char* at, const char* textEnd) {
  double value = 0.0;
  const bool plain = plainRecordValue(at, textEnd, value);
  return {plain ? decimal::ConversionStatus::Ok : decimal::ConversionStatus::Invalid, value};
}

// A quick line whose mantissa, at p, has more digits than an exact binary64 holds, with
// a point after its integer digits: its tail read and its parts converted by the
// general conversion at once, out of the way of the quick lines' loop. `found` is set
// to the line's terminator, nullptr when the line goes on otherwise.
[[gnu::noinline]] inline decimal::ParseResult<double> quickLongLine(const char* p, unsigned integerDigits,
                                                                    unsigned digits, std::uint64_t written,
                                                                    bool negative, char terminator,
                                                                    const char*& found) {
  const char* const mantissaEnd = p + digits + 1;
  std::int64_t exponent = 0;
  const char* textEnd = nullptr;
  found = quickLineTail(mantissaEnd, terminator, exponent, textEnd);
  if (found == nullptr) return {decimal::ConversionStatus::Invalid, 0.0};
  decimal::NumberParts parts;
  parts.negative = negative;
  parts.integerDigits = {p, integerDigits};
  parts.fractionDigits = {p + integerDigits + 1, digits - integerDigits};
  parts.writtenDigits = written;
  if (textEnd != mantissaEnd) {
    const bool hasSign = !decimal::isDigit(mantissaEnd[1]);
    const char* const exponentDigits = mantissaEnd + 1 + static_cast<int>(hasSign);
    parts.exponentDigits = {exponentDigits, static_cast<std::size_t>(textEnd - exponentDigits)};
    parts.exponentNegative = mantissaEnd[1] == '-';
  }
  parts.exponentValue = exponent < 0 ? -exponent : exponent;
  return decimal::parseReal64(parts);
}

// The word constants of a quick line's digits, held by the loop over the lines: the
// compiler, which knows their values, would otherwise make each again on every line.
struct QuickWords {
  std::uint64_t zeroDigits = kZeroDigits;
  std::uint64_t aboveNine = 0x7676767676767676;  // 0x80 - 10 in every byte
  std::uint64_t high = 0x8080808080808080;
  std::uint64_t pairLanes = 0x00FF00FF00FF00FF;
  std::uint64_t quadLanes = 0x0000FFFF0000FFFF;
  std::uint64_t quadJoin = std::uint64_t{10000} << 32 | 1;
};

// nonDigitBytes (digit_words.h) where only its lowest mark is needed, without its mask:
// the bytes below the first that is no digit add no carry, and that byte's own top bit
// is set by the addition or by itself. The marks above it may be wrong; zero when all
// eight bytes are digits.
[[gnu::always_inline]] inline std::uint64_t firstNonDigitMark(std::uint64_t offsets, const QuickWords& words) {
  return ((offsets + words.aboveNine) | offsets) & words.high;
}

// eightDigitsValue (digit_words.h) with the loop's held constants.
[[gnu::always_inline]] inline std::uint64_t quickEightDigitsValue(std::uint64_t digits, const QuickWords& words) {
  digits = ((digits * (10 << 8 | 1)) >> 8) & words.pairLanes;
  digits = ((digits * (100 << 16 | 1)) >> 16) & words.quadLanes;
  return (digits * words.quadJoin) >> 32;
}

// The line at `at`, when it is a quick line: its value into `value`, and the address of
// its terminator; nullptr for any other line. [at, at + kQuickLineReach) must be bytes
// read, and the terminator a control byte: no byte of the shape but the last can be it.
[[gnu::always_inline]] inline const char* quickLine(const char* at, char terminator, double& value,
                                                    const QuickWords& words) {
  const char* p = at;
  if (*p == ' ') {
    constexpr std::uint64_t kBlanks = 0x2020202020202020;
    const std::uint64_t blanks = loadLittleEndian64(p) ^ kBlanks;  // a blank's byte becomes zero
    if (blanks == 0) return nullptr;
    p += std::countr_zero(blanks) >> 3;
  }
  const char lead = *p;
  const bool negative = lead == '-';
  p += static_cast<int>(negative || lead == '+');

  // The mantissa's digits in one word with the point left out: the bytes after the
  // integer digits taken one byte further on. Most numbers have one integer digit.
  unsigned integerDigits = 1;
  bool point = true;
  std::uint64_t mantissaWord;
  if (p[1] == '.') {
    mantissaWord =
        ((loadLittleEndian64(p + 1) & ~std::uint64_t{0xFF}) | static_cast<unsigned char>(p[0])) ^ words.zeroDigits;
  } else {
    const std::uint64_t integerWord = loadLittleEndian64(p) ^ words.zeroDigits;
    integerDigits = static_cast<unsigned>(std::countr_zero(firstNonDigitMark(integerWord, words))) >> 3;
    if (integerDigits - 1 >= 7) return nullptr;  // none (".5", a word) or eight and more
    point = p[integerDigits] == '.';
    const std::uint64_t integerBytes = (std::uint64_t{1} << (8 * integerDigits)) - 1;
    const std::uint64_t shiftedWord = loadLittleEndian64(p + 1) ^ words.zeroDigits;
    mantissaWord = point ? (integerWord & integerBytes) | (shiftedWord & ~integerBytes) : integerWord;
  }
  // Eight digits when no byte of the word is other than a digit; none when the one
  // integer digit before a point is none.
  // The first byte that is no digit has its top bit at 8 * digits + 7, so that 71 less
  // that is the shift that moves the digits to the top bytes.
  const auto marksAt = static_cast<unsigned>(std::countr_zero(firstNonDigitMark(mantissaWord, words)));
  unsigned digits = marksAt >> 3;
  if (digits == 0) return nullptr;
  std::uint64_t written = quickEightDigitsValue(digits == 8 ? mantissaWord : mantissaWord << (71 - marksAt), words);
  const char* q = p + digits + static_cast<int>(point);
  if (digits == 8 && decimal::isDigit(*q)) [[unlikely]] {
    // Only a point among the first nine bytes lets the digits go on.
    if (!point) return nullptr;
    for (;;) {
      const std::uint64_t word = loadLittleEndian64(q) ^ words.zeroDigits;
      const unsigned count = static_cast<unsigned>(std::countr_zero(firstNonDigitMark(word, words))) >> 3;
      if (count == 0) break;
      if (digits + count > kQuickMantissaDigits) return nullptr;
      written = written * kDigitScales[count] + quickEightDigitsValue(word << (64 - 8 * count), words);
      digits += count;
      q += count;
      if (count < 8) break;
    }
    if (written >= decimal::kExactIntegerLimit) {
      const char* found = nullptr;
      const decimal::ParseResult<double> real =
          quickLongLine(p, integerDigits, digits, written, negative, terminator, found);
      value = real.value;
      return real.status == decimal::ConversionStatus::Ok ? found : nullptr;
    }
  }
  const unsigned fractionDigits = digits - integerDigits;

  std::int64_t exponent;
  const char* textEnd;
  const char* const found = quickLineTail(q, terminator, exponent, textEnd);
  if (found == nullptr) return nullptr;
  const std::int64_t scale = exponent - std::int64_t{fractionDigits};
  // Longer mantissas went their own way above: `written` is below 2^53.
  if (decimal::exactScaledValue(written, scale, negative, value)) return found;
  const decimal::ParseResult<double> real = quickLineByPlainRules(at, textEnd);
  value = real.value;
  return real.status == decimal::ConversionStatus::Ok ? found : nullptr;
}

// quickLines' `most` for a run that the lines alone end.
inline constexpr std::size_t kUnlimitedLines = std::numeric_limits<std::size_t>::max();

// Takes up to `most` quick lines from `at` on while a line begins at least
// kQuickLineReach bytes before `end`, the end of the bytes read, and `store(value)` takes
// its value: the lines near the end may go on past the bytes read, and are cut by their
// terminator search. Returns where the lines taken end, just past the last one's
// terminator. The count is checked before a line is read, so that the line after the
// last one wanted is not read only to be refused.
template <class Store>
const char* quickLines(const char* at, const char* end, char terminator, std::size_t most, Store&& store) {
  // A terminator that could stand inside a number would end no quick line where it should.
  if (static_cast<unsigned char>(terminator) >= ' ') return at;
  if (end - at < kQuickLineReach) return at;
  const char* const lastStart = end - kQuickLineReach;
  QuickWords words;
  // Their values hidden from the compiler, which then keeps them in registers (or reads
  // them as operands) rather than making each again on every line.
  asm(""
      : "+r"(words.zeroDigits), "+r"(words.aboveNine), "+r"(words.high), "+r"(words.pairLanes), "+r"(words.quadLanes),
        "+r"(words.quadJoin));
  while (most != 0 && at <= lastStart) {
    // A quick line ends, terminator and all, within kQuickLineReach bytes of its start,
    // so that this many lines from `at` on all begin by lastStart: within them only the
    // count is checked.
    const std::size_t lines = std::min(most, static_cast<std::size_t>(lastStart - at) / kQuickLineReach + 1);
    most -= lines;
    for (std::size_t line = 0; line < lines; ++line) {
      double value;
      const char* const found = quickLine(at, terminator, value, words);
      if (found == nullptr || !store(value)) return at;
      at = found + 1;
    }
  }
  return at;
}

}  // namespace recio::reader

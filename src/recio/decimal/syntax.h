// The characters of a number's text: digits and their runs, exponent letters, the
// case-blind words INFINITY and NAN and a NaN's payload group. The decimal conversions
// and the reader's token scan both read a number by these, so the two cannot disagree
// about what a digit or a word is.
#pragma once

#include <cstddef>
#include <string_view>

namespace recio::decimal {

// Any other byte gives 10 or more.
constexpr unsigned digitValue(char c) { return static_cast<unsigned>(static_cast<unsigned char>(c)) - '0'; }
constexpr bool isDigit(char c) { return digitValue(c) < 10; }

constexpr bool isSign(char c) { return c == '+' || c == '-'; }

constexpr bool isExponentLetter(char c) {
  switch (c) {
    case 'D':
    case 'E':
    case 'Q':
    case 'd':
    case 'e':
    case 'q':
      return true;
    default:
      return false;
  }
}

constexpr char toLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// How many leading characters of [at, end) spell the start of `word` (lower case),
// ignoring case.
constexpr std::size_t matchedLetters(const char* at, const char* end, std::string_view word) {
  std::size_t matched = 0;
  while (matched < word.size() && at + matched < end && toLower(at[matched]) == word[matched]) ++matched;
  return matched;
}

// Steps the cursor over the run of digits at it, adding each digit to `value` by `add`
// (value = add(value, digit)); returns the run.
template <class Value, class AddDigit>
constexpr std::string_view digitRun(const char*& cursor, const char* end, Value& value, AddDigit add) {
  const char* const start = cursor;
  for (unsigned digit = 0; cursor < end && (digit = digitValue(*cursor)) < 10; ++cursor) value = add(value, digit);
  return {start, static_cast<std::size_t>(cursor - start)};
}

// A NaN's payload group, which may follow the word: `isSpace` bytes, '(', `isInside`
// bytes and ')'. Where the group that starts at `at` ends (just past its ')'), or nullptr
// when none is closed there. The conversion and the reader's scan pass in their own
// byte classes.
template <class IsSpace, class IsInside>
constexpr const char* nanPayloadEnd(const char* at, const char* end, IsSpace isSpace, IsInside isInside) {
  while (at < end && isSpace(*at)) ++at;
  if (at == end || *at != '(') return nullptr;
  for (++at; at < end && isInside(*at); ++at) {
  }
  return at < end && *at == ')' ? at + 1 : nullptr;
}

}  // namespace recio::decimal

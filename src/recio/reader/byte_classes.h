// Byte classes of the free-format value scanner, and the bytes it takes as a NaN's
// group. Every table is computed from the rule it stands for, so the rule and the table
// cannot drift apart.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "recio/decimal/syntax.h"

namespace recio::reader {

// A blank separates values and is skipped while a value is sought.
constexpr bool isBlank(char byte) { return byte == ' ' || byte == '\t' || byte == '\r' || byte == '\n'; }

// Digits and exponent letters are the number syntax's own.
using decimal::isDigit;
using decimal::isExponentLetter;

// The bytes that end a token: it ends before them.
constexpr bool endsToken(char byte) { return byte == ' ' || byte == '\t' || byte == ',' || byte == '/' || byte == ')'; }

// The letter that makes a value logical (the bare letter or the one after a '.').
constexpr bool isLogicalLetter(char byte) { return byte == 'T' || byte == 't' || byte == 'F' || byte == 'f'; }

// What one byte means inside a numeric token.
enum class NumericByte : std::uint8_t {
  Invalid,  // ends the scan with a syntax error
  Digit,
  Sign,
  Point,
  ExponentLetter,
  WordLetter,  // I or N: an infinity or NaN word, allowed only at the token's start
  End,         // a byte that ends a token (endsToken)
  Star,        // the token before it is a repeat count
};

constexpr NumericByte classifyNumericByte(char byte) {
  if (isDigit(byte)) return NumericByte::Digit;
  if (isExponentLetter(byte)) return NumericByte::ExponentLetter;
  if (endsToken(byte)) return NumericByte::End;
  switch (byte) {
    case '+':
    case '-':
      return NumericByte::Sign;
    case '.':
      return NumericByte::Point;
    case 'I':
    case 'N':
    case 'i':
    case 'n':
      return NumericByte::WordLetter;
    case '*':
      return NumericByte::Star;
    default:
      // Other letters, ';', quotes, '(', CR, LF, NUL, other control bytes and every
      // byte above 127.
      return NumericByte::Invalid;
  }
}

constexpr std::array<NumericByte, 256> makeNumericByteTable() {
  std::array<NumericByte, 256> table{};
  for (int byte = 0; byte < 256; ++byte) {
    table[static_cast<std::size_t>(byte)] = classifyNumericByte(static_cast<char>(byte));
  }
  return table;
}

inline constexpr std::array<NumericByte, 256> kNumericBytes = makeNumericByteTable();

inline NumericByte numericByte(char byte) { return kNumericBytes[static_cast<unsigned char>(byte)]; }

// What the first non-blank byte of a value makes of it.
enum class ValueStart : std::uint8_t {
  Numeric,  // the start of a numeric token, or a byte that makes the token invalid
  Comma,
  Slash,
  Quote,
  OpenParen,
  CloseParen,
  Logical,  // T, t, F or f
  Point,    // numeric, unless a logical letter follows
};

constexpr ValueStart classifyValueStart(char byte) {
  if (isLogicalLetter(byte)) return ValueStart::Logical;
  switch (byte) {
    case ',':
      return ValueStart::Comma;
    case '/':
      return ValueStart::Slash;
    case '\'':
    case '"':
      return ValueStart::Quote;
    case '(':
      return ValueStart::OpenParen;
    case ')':
      return ValueStart::CloseParen;
    case '.':
      return ValueStart::Point;
    default:
      return ValueStart::Numeric;
  }
}

constexpr std::array<ValueStart, 256> makeValueStartTable() {
  std::array<ValueStart, 256> table{};
  for (int byte = 0; byte < 256; ++byte) {
    table[static_cast<std::size_t>(byte)] = classifyValueStart(static_cast<char>(byte));
  }
  return table;
}

inline constexpr std::array<ValueStart, 256> kValueStarts = makeValueStartTable();

inline ValueStart valueStart(char byte) { return kValueStarts[static_cast<unsigned char>(byte)]; }

// A NaN's parenthesised group as the reader takes it: after blanks, up to the first ')'
// in the record, whatever lies between. What is inside is judged by the conversion of
// the value's token (or, in a pair's second number, by nothing: it is not converted).
inline const char* nanGroupEnd(const char* at, const char* end) {
  return decimal::nanPayloadEnd(at, end, isBlank, [](char byte) { return byte != ')'; });
}

}  // namespace recio::reader

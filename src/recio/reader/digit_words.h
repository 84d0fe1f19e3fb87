// Digits taken eight at a time from a word of text loaded first byte lowest
// (processor/little_endian.h): which bytes are not digits, and the value of a run of
// digits. The plain number's fraction runs and the quick lines both read digits so.
#pragma once

#include <array>
#include <cstdint>

#include "recio/decimal/power_table.h"

namespace recio::reader {

// '0' in every byte: a word's digits, exclusive-or'ed with it, become their values 0..9.
inline constexpr std::uint64_t kZeroDigits = 0x3030303030303030;

// The top bit of each byte of `offsets` (a word exclusive-or'ed with kZeroDigits) set
// when its offset is 10 or more, that is when the byte is no digit: by the addition for
// offsets below 0x80 (masked first so that no carry crosses bytes), else by itself.
constexpr std::uint64_t nonDigitBytes(std::uint64_t offsets) {
  constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7F;
  constexpr std::uint64_t kAboveNine = 0x7676767676767676;  // 0x80 - 10 in every byte
  constexpr std::uint64_t kHigh = 0x8080808080808080;
  return (((offsets & kLow7) + kAboveNine) | offsets) & kHigh;
}
static_assert(nonDigitBytes(0x0009000A000000FF) == 0x0000008000000080);

// The value of eight digits held one to a byte, the first digit in the lowest byte:
// neighbours are joined into pairs, pairs into fours and fours into the eight, each
// step one multiplication for every lane at once. No lane overflows: a pair is at most
// 99 in its byte, a four at most 9999 in its 16 bits. A step's product (digits * (10 <<
// 8 | 1)) >> 8 is digits * 10 + (digits >> 8) below the lanes kept, with the addition
// and one shift folded into the multiplication.
constexpr std::uint64_t eightDigitsValue(std::uint64_t digits) {
  digits = ((digits * (10 << 8 | 1)) >> 8) & 0x00FF00FF00FF00FF;
  digits = ((digits * (100 << 16 | 1)) >> 16) & 0x0000FFFF0000FFFF;
  return (digits * (std::uint64_t{10000} << 32 | 1)) >> 32;
}
static_assert(eightDigitsValue(0x0807060504030201) == 12345678);

// The value of the first `count` digits (1 to 8) of a word of digit values: moved to the
// top bytes, the bytes below them become leading zeros.
constexpr std::uint64_t leadingDigitsValue(std::uint64_t digits, unsigned count) {
  return eightDigitsValue(digits << (64 - 8 * count));
}
static_assert(leadingDigitsValue(0x0807060504030201, 3) == 123);

inline constexpr std::array<std::uint64_t, 9> kDigitScales = decimal::powerTable<std::uint64_t, 9>(10);

}  // namespace recio::reader

// Compiles a format into its item bytes at compile time, so that a program's formats
// are constant data written as descriptors rather than as hex:
//   constexpr auto kBytes = compileFormat(formatStart(), scaleFactor(1), editE(3, 17, 9),
//                                         formatEnd());
//   constinit const FormatProgram kProgram = kBytes.program();
// Descriptors that need only a repeat count take their short form.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "recio/format/codes.h"
#include "recio/format/formatted_writer.h"

namespace recio::format {

struct LongDescriptor {
  static constexpr std::size_t kSize = kLongItemSize;
  std::uint8_t code;
  std::uint8_t exponentDigits;
  std::uint8_t fractionDigits;
  std::int32_t repeat;
  std::int32_t width;

  constexpr void writeTo(std::uint8_t* out) const {
    out[0] = code;
    out[1] = 0;  // no run-time values
    out[2] = exponentDigits;
    out[3] = fractionDigits;
    writeWord(out + 4, repeat);
    writeWord(out + 8, width);
  }
  // The values the item takes from a statement's list each time the format passes it.
  constexpr std::size_t realValues() const { return code == kCodeEditReal ? static_cast<std::size_t>(repeat) : 0; }

 private:
  static constexpr void writeWord(std::uint8_t* out, std::int32_t value) {
    const auto word = static_cast<std::uint32_t>(value);
    for (int byte = 0; byte < 4; ++byte) {
      out[byte] = static_cast<std::uint8_t>(word >> (8 * byte));
    }
  }
};

struct ShortDescriptor {
  static constexpr std::size_t kSize = kShortItemSize;
  std::uint8_t code;
  std::uint16_t repeat;

  constexpr void writeTo(std::uint8_t* out) const {
    out[0] = code;
    out[1] = 0;
    out[2] = static_cast<std::uint8_t>(repeat);
    out[3] = static_cast<std::uint8_t>(repeat >> 8);
  }
  constexpr std::size_t realValues() const { return 0; }
};

template <std::size_t Length>
struct LiteralDescriptor {
  static constexpr std::size_t kSize = alignItemSize(kLiteralHeaderSize + Length);
  static_assert(Length <= 0xFFFF, "a literal holds at most 65535 characters");
  std::array<char, Length> text;

  constexpr void writeTo(std::uint8_t* out) const {
    out[0] = kCodeLiteral;
    out[1] = 0;
    out[2] = static_cast<std::uint8_t>(Length);
    out[3] = static_cast<std::uint8_t>(Length >> 8);
    for (std::size_t i = 0; i < Length; ++i) {
      out[kLiteralHeaderSize + i] = static_cast<std::uint8_t>(text[i]);
    }
    // The padding stays zero: the output array starts zeroed.
  }
  constexpr std::size_t realValues() const { return 0; }
};

constexpr ShortDescriptor formatStart() { return {shortCodeOf(kCodeFormatStart), 0}; }
constexpr ShortDescriptor formatEnd() { return {shortCodeOf(kCodeFormatEnd), 0}; }
// The repeat count of kP is stored as 1 and has no effect.
constexpr LongDescriptor scaleFactor(std::int32_t k) { return {kCodeScaleFactor, 0, 0, 1, k}; }
constexpr LongDescriptor editE(std::int32_t repeat, std::int32_t width, std::uint8_t fractionDigits) {
  return {kCodeEditReal, 0, fractionDigits, repeat, width};
}
constexpr ShortDescriptor endRecord(std::uint16_t repeat = 1) { return {shortCodeOf(kCodeEndRecord), repeat}; }
constexpr ShortDescriptor editA(std::uint16_t repeat = 1) { return {shortCodeOf(kCodeEditCharacter), repeat}; }
template <std::size_t StorageLength>
constexpr LiteralDescriptor<StorageLength - 1> literal(const char (&text)[StorageLength]) {
  LiteralDescriptor<StorageLength - 1> item{};
  for (std::size_t i = 0; i + 1 < StorageLength; ++i) {
    item.text[i] = text[i];
  }
  return item;
}

template <std::size_t Size>
struct CompiledFormat {
  alignas(kItemAlignment) std::uint8_t bytes[Size];
  // The real values one pass through the format takes: a record's, when the format
  // has no record break.
  std::size_t realValues;

  // Only for objects of static storage duration: the program points into them.
  constexpr FormatProgram program() const { return {bytes, Size}; }
};

template <class... Items>
constexpr auto compileFormat(const Items&... items) {
  constexpr std::size_t kSize = (Items::kSize + ... + 0);
  CompiledFormat<kSize> compiled{};
  std::size_t offset = 0;
  ((items.writeTo(compiled.bytes + offset), offset += Items::kSize), ...);
  compiled.realValues = (items.realValues() + ... + 0);
  return compiled;
}

}  // namespace recio::format

// The item codes of a compiled format and the table that maps every code to its
// form, its size and its meaning. A compiled format is a sequence of items, each
// beginning on a 4-byte boundary, little-endian:
//   long    12 bytes: code, run-time flags, e, d, repeat (int32), w (int32)
//   short    4 bytes: code, 0, repeat (uint16)
//   literal  4 + n bytes rounded up to a multiple of 4: code, 0, n (uint16), text, 0-3 zeros
//
// Adding a descriptor:
//   1. give it a Meaning below and map its long code in meaningOfLongCode (the short
//      code follows by the offset; add it to takesOnlyRepeat if a short item can hold it);
//   2. let builder.h compile it, if a format of the program uses it;
//   3. build: every switch over Meaning then names a place to consider:
//      FormatWalk::nextItem (walk.h: an item that only changes how later fields are
//      edited, as kP does, is applied there for the interpreter and the plan alike),
//      FormattedWriter::runControlItems (a control item that writes, or where a data
//      edit descriptor stops), FormattedWriter::editItem (how a data edit descriptor
//      turns an item into a field, usually an operation of edit.h) and compilePlan
//      (plan.cpp: whether a format with it can still be followed as fixed fields; if
//      so, the plan must lay out exactly the characters the interpreter writes).
//   Until then its code decodes as Unsupported, and a format that reaches it ends there.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

namespace recio {

// A compiled format: the items above, from `bytes` on, `size` bytes in all.
struct FormatProgram {
  const std::uint8_t* bytes;
  std::size_t size;
};

}  // namespace recio

namespace recio::format {

enum class ItemForm : std::uint8_t { Invalid, Long, Short, Literal };

// What an item does. The interpreter dispatches on this, never on the raw code, so a
// descriptor behaves the same in its long and its short form.
enum class Meaning : std::uint8_t {
  Unsupported,    // a valid code whose descriptor this program never uses
  FormatStart,    // the outer opening parenthesis
  FormatEnd,      // the outer closing parenthesis
  ScaleFactor,    // kP: w holds k
  EditReal,       // Ew.d
  Literal,        // character constant
  EndRecord,      // /
  EditCharacter,  // A without width
};

// Long codes of the descriptors in use.
constexpr std::uint8_t kCodeFormatStart = 0x01;
constexpr std::uint8_t kCodeFormatEnd = 0x02;
constexpr std::uint8_t kCodeScaleFactor = 0x0A;
constexpr std::uint8_t kCodeEndRecord = 0x12;
constexpr std::uint8_t kCodeEditCharacter = 0x13;
constexpr std::uint8_t kCodeLiteral = 0x1C;
constexpr std::uint8_t kCodeEditReal = 0x1F;

// Code ranges. A short code is its long code plus the offset.
constexpr std::uint8_t kLastLowLongCode = 0x33;
constexpr std::uint8_t kFirstShortCode = 0x35;
constexpr std::uint8_t kLastShortCode = 0x6B;
constexpr std::uint8_t kFirstHighLongCode = 0x6C;
constexpr std::uint8_t kLastHighLongCode = 0x73;
constexpr std::uint8_t kShortCodeOffset = kFirstShortCode;

constexpr std::size_t kLongItemSize = 12;
constexpr std::size_t kShortItemSize = 4;
constexpr std::size_t kLiteralHeaderSize = 4;
constexpr std::size_t kItemAlignment = 4;

constexpr std::size_t alignItemSize(std::size_t size) {
  return (size + kItemAlignment - 1) / kItemAlignment * kItemAlignment;
}

constexpr Meaning meaningOfLongCode(std::uint8_t code) {
  switch (code) {
    case kCodeFormatStart:
      return Meaning::FormatStart;
    case kCodeFormatEnd:
      return Meaning::FormatEnd;
    case kCodeScaleFactor:
      return Meaning::ScaleFactor;
    case kCodeEndRecord:
      return Meaning::EndRecord;
    case kCodeEditCharacter:
      return Meaning::EditCharacter;
    case kCodeLiteral:
      return Meaning::Literal;
    case kCodeEditReal:
      return Meaning::EditReal;
    default:
      return Meaning::Unsupported;
  }
}

// A short item carries nothing but a repeat count, so only descriptors that need no
// other operand have a usable short form.
constexpr bool takesOnlyRepeat(Meaning meaning) {
  return meaning == Meaning::FormatStart || meaning == Meaning::FormatEnd || meaning == Meaning::EndRecord ||
         meaning == Meaning::EditCharacter;
}

constexpr std::uint8_t shortCodeOf(std::uint8_t longCode) {
  return static_cast<std::uint8_t>(longCode + kShortCodeOffset);
}

// One row of the code table: 3 bytes.
struct CodeRow {
  ItemForm form;
  std::uint8_t size;  // bytes of the item; for a literal, of its header only
  Meaning meaning;
};
static_assert(sizeof(CodeRow) == 3);

constexpr CodeRow codeRowOf(std::uint8_t code) {
  if (code == kCodeLiteral) return {ItemForm::Literal, kLiteralHeaderSize, Meaning::Literal};
  if (code <= kLastLowLongCode || (code >= kFirstHighLongCode && code <= kLastHighLongCode)) {
    return {ItemForm::Long, kLongItemSize, meaningOfLongCode(code)};
  }
  if (code >= kFirstShortCode && code <= kLastShortCode) {
    const Meaning meaning = meaningOfLongCode(static_cast<std::uint8_t>(code - kShortCodeOffset));
    return {ItemForm::Short, kShortItemSize, takesOnlyRepeat(meaning) ? meaning : Meaning::Unsupported};
  }
  return {ItemForm::Invalid, 0, Meaning::Unsupported};
}

// Indexed by any byte value, so that a code never needs a range check before lookup.
constexpr std::array<CodeRow, 256> kCodeTable = [] {
  std::array<CodeRow, 256> table{};
  for (std::size_t code = 0; code < table.size(); ++code) {
    table[code] = codeRowOf(static_cast<std::uint8_t>(code));
  }
  return table;
}();

// One decoded item. Only the fields of the item's form are set by decodeItem: the
// interpreter reads none of the others, and not clearing them keeps decoding cheap.
struct FormatItem {
  Meaning meaning = Meaning::Unsupported;
  std::uint8_t exponentDigits = 0;  // e, 0 when not given (long form)
  std::uint8_t fractionDigits = 0;  // d (long form)
  std::int32_t repeat = 0;          // long and short forms
  std::int32_t width = 0;           // w, or the operand of a control item such as k of kP (long form)
  const char* text = nullptr;       // literal characters (literal form)
  std::size_t textLength = 0;       // (literal form)
  std::size_t size = 0;             // bytes from this item to the next
};

constexpr std::uint16_t readUint16(const std::uint8_t* bytes) {
  return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

constexpr std::int32_t readInt32(const std::uint8_t* bytes) {
  const std::uint32_t word = static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
                             (static_cast<std::uint32_t>(bytes[2]) << 16) |
                             (static_cast<std::uint32_t>(bytes[3]) << 24);
  return static_cast<std::int32_t>(word);
}

// Decodes the item at `offset` of a program of `size` bytes. False when no complete
// item of a known form starts there (the end of the program included).
inline bool decodeItem(const std::uint8_t* program, std::size_t size, std::size_t offset, FormatItem& item) {
  if (offset >= size) return false;
  const std::uint8_t* bytes = program + offset;
  const CodeRow& row = kCodeTable[bytes[0]];
  const std::size_t available = size - offset;
  if (row.form == ItemForm::Invalid || available < row.size) return false;
  item.meaning = row.meaning;
  item.size = row.size;
  switch (row.form) {
    case ItemForm::Long:
      item.exponentDigits = bytes[2];
      item.fractionDigits = bytes[3];
      item.repeat = readInt32(bytes + 4);
      item.width = readInt32(bytes + 8);
      return true;
    case ItemForm::Short:
      item.repeat = readUint16(bytes + 2);
      return true;
    case ItemForm::Literal:
      item.textLength = readUint16(bytes + 2);
      item.text = reinterpret_cast<const char*>(bytes + kLiteralHeaderSize);
      // The padding of the last item may be missing; its text may not.
      if (available < kLiteralHeaderSize + item.textLength) return false;
      item.size = std::min(alignItemSize(kLiteralHeaderSize + item.textLength), available);
      return true;
    case ItemForm::Invalid:
      break;
  }
  return false;
}

}  // namespace recio::format

// A format that writes one record of E fields and nothing else, such as the point
// table's (1P,3E17.9,E13.5), compiled once into where each field goes and how it is
// edited, so that a statement with it edits its items without walking the format.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "recio/format/codes.h"

namespace recio::format {

struct PlannedField {
  std::size_t begin;  // the field's first character in the record
  std::int32_t width;
  std::int32_t fractionDigits;
  std::int32_t scaleFactor;
};

struct FieldPlan {
  static constexpr std::size_t kMaxFields = 16;

  // False for any other format: one with literals, slashes, A fields, a descriptor
  // without a width, more fields than kMaxFields, or no end item within its bytes.
  // Those are interpreted item by item.
  bool usable = false;
  std::size_t fieldCount = 0;
  std::size_t recordLength = 0;  // the end of the last field
  PlannedField fields[kMaxFields] = {};

  // A copy of the program it was compiled from, matched by content: a format built at
  // run time may take the address of another that is gone. The point table's format is
  // 44 bytes; a longer program than this is compiled anew for each statement.
  static constexpr std::size_t kMaxProgramBytes = 256;
  std::size_t programSize = 0;
  std::uint8_t programBytes[kMaxProgramBytes] = {};

  // Asked once per statement begun alone, and once per hold of a run of statements.
  bool isPlanOf(const FormatProgram& program) const {
    return program.size == programSize && program.size <= kMaxProgramBytes &&
           std::memcmp(program.bytes, programBytes, program.size) == 0;
  }
};

FieldPlan compilePlan(const FormatProgram& program);

}  // namespace recio::format

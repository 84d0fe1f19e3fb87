// A format that writes one record of E fields and nothing else, such as the point
// table's (1P,3E17.9,E13.5), compiled once into where each field goes and how it is
// edited, so that a statement with it edits its items without walking the format.
#pragma once

#include <cstddef>
#include <cstdint>

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
};

FieldPlan compilePlan(const FormatProgram& program);

}  // namespace recio::format

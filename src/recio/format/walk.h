// The walk through a format's items that the interpreter (FormattedWriter) and the plan
// compiler (compilePlan) share, so that both read a format alike: what a repeat count
// below 1 means, and which scale factor a field is edited under, are settled here once.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "recio/format/codes.h"

namespace recio::format {

struct FormatWalk {
  std::size_t offset = 0;        // the item the walk is at
  std::int32_t scaleFactor = 0;  // 0 at the start of every statement, set by kP for the rest

  // Decodes the item at `offset` into `item`, first applying the items that only change
  // the statement's editing (they never reach the caller). False at the end of the
  // program's bytes. The walk stays at the item returned until `pass`.
  bool nextItem(const FormatProgram& program, FormatItem& item) {
    while (decodeItem(program.bytes, program.size, offset, item)) {
      switch (item.meaning) {
        case Meaning::FormatStart:
          break;
        case Meaning::ScaleFactor:
          scaleFactor = item.width;
          break;
        case Meaning::EditReal:
        case Meaning::EditCharacter:
          // The repeat count of a data edit descriptor is the number of items it edits;
          // a count below 1 edits one, as a descriptor without a count does.
          item.repeat = std::max(item.repeat, 1);
          return true;
        case Meaning::Literal:
        case Meaning::EndRecord:
        case Meaning::FormatEnd:
        case Meaning::Unsupported:
          return true;
      }
      offset += item.size;
    }
    return false;
  }

  void pass(const FormatItem& item) { offset += item.size; }
};

}  // namespace recio::format

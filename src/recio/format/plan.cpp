// Compiling a format of E fields into a plan: the same walk as the interpreter's, once.
#include "recio/format/plan.h"

#include <algorithm>

namespace recio::format {

bool FieldPlan::isPlanOf(const FormatProgram& program) const {
  return program.bytes == programAddress && program.size == programSize;
}

FieldPlan compilePlan(const FormatProgram& program) {
  FieldPlan plan;
  plan.programAddress = program.bytes;
  plan.programSize = program.size;

  // The scale factor is 0 at the start of every statement and set by kP for the rest.
  std::int32_t scaleFactor = 0;
  FormatItem item;
  for (std::size_t offset = 0; decodeItem(program.bytes, program.size, offset, item); offset += item.size) {
    switch (item.meaning) {
      case Meaning::FormatStart:
        break;
      case Meaning::ScaleFactor:
        scaleFactor = item.width;
        break;
      case Meaning::EditReal: {
        if (item.width <= 0) return plan;
        // A repeat count below 1 edits one item, as in the interpreter.
        const auto repeat = static_cast<std::size_t>(std::max(item.repeat, 1));
        if (repeat > FieldPlan::kMaxFields - plan.fieldCount) return plan;
        for (std::size_t field = 0; field < repeat; ++field) {
          plan.fields[plan.fieldCount++] = {plan.recordLength, item.width, item.fractionDigits, scaleFactor};
          plan.recordLength += static_cast<std::size_t>(item.width);
        }
        break;
      }
      case Meaning::FormatEnd:
        plan.usable = true;
        return plan;
      case Meaning::Literal:
      case Meaning::EndRecord:
      case Meaning::EditCharacter:
      case Meaning::Unsupported:
        return plan;
    }
  }
  return plan;
}

}  // namespace recio::format

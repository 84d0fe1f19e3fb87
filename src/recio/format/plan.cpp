// Compiling a format of E fields into a plan: the interpreter's walk of the format
// (walk.h), taken once, with each field's place and editing written down.
#include "recio/format/plan.h"

#include "recio/format/walk.h"

namespace recio::format {

FieldPlan compilePlan(const FormatProgram& program) {
  FieldPlan plan;
  FormatWalk walk;
  FormatItem item;
  for (; walk.nextItem(program, item); walk.pass(item)) {
    switch (item.meaning) {
      case Meaning::EditReal: {
        if (item.width <= 0) return plan;
        const auto repeat = static_cast<std::size_t>(item.repeat);
        if (repeat > FieldPlan::kMaxFields - plan.fieldCount) return plan;
        for (std::size_t field = 0; field < repeat; ++field) {
          plan.fields[plan.fieldCount++] = {plan.recordLength, item.width, item.fractionDigits, walk.scaleFactor};
          plan.recordLength += static_cast<std::size_t>(item.width);
        }
        break;
      }
      case Meaning::FormatEnd:
        plan.usable = true;
        return plan;
      // Applied by the walk, which never stops at them.
      case Meaning::FormatStart:
      case Meaning::ScaleFactor:
        break;
      // Anything that writes other than E fields keeps the format from a plan.
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

// The format interpreter of formatted write statements: control items, the data edit
// descriptors in progress, and the records handed to the unit.
#include "recio/format/formatted_writer.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

#include "recio/format/chunk_editor.h"
#include "recio/format/edit.h"
#include "recio/format/field_cache.h"
#include "recio/format/plan.h"
#include "recio/format/record_layout.h"
#include "recio/stop/messages.h"
#include "recio/stop/stop.h"
#include "recio/units/unit.h"
#include "recio/units/unit_table.h"

namespace recio {
namespace {

// The record buffer grows by at least this much, so that the first field of a unit
// makes room for every record of ordinary length at once.
constexpr std::size_t kMinimumRecordGrowth = 512;

// E fields a writer edits before it makes its field cache.
constexpr std::uint32_t kFieldsBeforeCache = 256;

// The characters a record can take as the unit stands, which fields that end within
// need no check of: the record buffer's capacity, or the fixed record length when that
// is smaller. Beyond it the record buffer grows, or the record overflows (66).
std::size_t recordLimit(const Unit& unit) {
  const std::size_t capacity = unit.outputRecordCapacity();
  const std::int32_t fixedLength = unit.recordLength();
  return fixedLength > 0 ? std::min(capacity, static_cast<std::size_t>(fixedLength)) : capacity;
}

// Whether records edited ahead end with the unit's own terminator, so that they go over
// as they lie.
bool endsAsUnitEnds(const format::RecordLayout& layout, const Unit& unit) {
  const Terminator& terminator = unit.terminator();
  return terminator.length == layout.terminatorLength &&
         std::memcmp(terminator.bytes, layout.terminator, layout.terminatorLength) == 0;
}

}  // namespace

// The plan of the format a writer's statements were last begun with, and a copy of the
// program it was compiled from, matched by content: a format built at run time may take
// the address of another that is gone. The point table's format is 44 bytes; a longer
// program than this is compiled anew for each statement.
struct FormattedWriter::OwnPlan {
  static constexpr std::size_t kMaxProgramBytes = 256;

  format::FieldPlan plan;
  std::size_t programSize = 0;
  std::uint8_t programBytes[kMaxProgramBytes] = {};

  bool isPlanOf(const FormatProgram& program) const {
    return program.size == programSize && program.size <= kMaxProgramBytes &&
           std::memcmp(program.bytes, programBytes, program.size) == 0;
  }

  void compile(const FormatProgram& program) {
    plan = format::compilePlan(program);
    programSize = program.size;
    if (program.size <= kMaxProgramBytes) std::memcpy(programBytes, program.bytes, program.size);
  }
};

FormattedWriter::FormattedWriter() = default;
FormattedWriter::~FormattedWriter() = default;

// The writer's plan of `program`, compiled unless it is the format of the statement
// before; asked once per statement begun alone. nullptr without the memory for a plan.
const format::FieldPlan* FormattedWriter::ownPlanOf(const FormatProgram& program) {
  if (ownPlan_ == nullptr) {
    ownPlan_.reset(new (std::nothrow) OwnPlan);
    if (ownPlan_ == nullptr) return nullptr;
  }
  if (!ownPlan_->isPlanOf(program)) ownPlan_->compile(program);
  return &ownPlan_->plan;
}

// Whether the record `plan` lays out fits the unit as it stands, once the field limit is
// settled: the record buffer already has room for it. A record that needs the buffer
// grown, or is longer than a fixed record length (66), is built by the interpreter,
// which grows the buffer or fails at the field where the interpreter would.
inline bool FormattedWriter::recordFits(const format::FieldPlan& plan) const {
  return plan.recordLength <= fieldLimit_;
}

// The statement's start on the unit it holds (unit_), with the plan of its format
// (nullptr: none could be had). The statement follows the plan when the format is one
// of E fields alone and its record fits the unit; else it is interpreted.
inline void FormattedWriter::beginOnUnit(const FormatProgram& program, const format::FieldPlan* plan) {
  program_ = program;
  state_ = FormatState{};
  fieldLimit_ = recordLimit(*unit_);
  plan_ = plan != nullptr && plan->usable && recordFits(*plan) ? plan : nullptr;
}

void FormattedWriter::begin(std::int32_t unitNumber, const FormatProgram& program) {
  unit_ = hold_.take(unitNumber);
  if (unit_ == nullptr) return;
  beginOnUnit(program, ownPlanOf(program));
}

// Ew.d editing of one item into `field`: through the writer's field cache once it has
// one, and asterisks for an item that is no double.
inline void FormattedWriter::editRealItem(const TransferItem& item, std::int32_t width, std::int32_t fractionDigits,
                                          std::int32_t scaleFactor, char* field) {
  if (item.type() != kTypeReal64) {
    std::memset(field, '*', static_cast<std::size_t>(std::max(width, 0)));  // no number to edit
    return;
  }
  const double value = item.form() == kFormScalarAddress
                           ? *static_cast<const double*>(static_cast<const AddressBlock*>(item.argument)->address)
                           : *static_cast<const double*>(item.argument);
  if (fieldCache_ != nullptr) {
    fieldCache_->edit(state_.itemsEdited, value, width, fractionDigits, scaleFactor, field);
    return;
  }
  format::editReal(value, width, fractionDigits, scaleFactor, field);
  // A writer that goes on editing gets its cache; one used for a statement or two, as
  // most are, never pays for it.
  if (++fieldsEditedUncached_ == kFieldsBeforeCache) fieldCache_ = format::makeFieldCache();
}

void FormattedWriter::transfer(const TransferItem& item) {
  if (unit_ == nullptr) {
    return;  // the statement has failed, or its unit is not connected
  }
  if (plan_ != nullptr) {
    // The plan's next field, if any is left, then at the last item the record ends
    // where the last edited field ends, as at the end of the interpreted format.
    const format::FieldPlan& plan = *plan_;
    const std::size_t position = state_.itemsEdited;
    if (position < plan.fieldCount) {
      const format::PlannedField& field = plan.fields[position];
      editRealItem(item, field.width, field.fractionDigits, field.scaleFactor, unit_->outputRecord() + field.begin);
      state_.highWater = field.begin + static_cast<std::size_t>(field.width);
      state_.itemsEdited = position + 1;
    }
    if (item.isLast() && endRecord()) giveUpUnit();
    return;
  }
  if (state_.repeatsLeft > 0 || runControlItems() == ControlOutcome::DataEdit) {
    editItem(item);
    if (unit_ == nullptr) return;
    ++state_.itemsEdited;
    if (--state_.repeatsLeft == 0) state_.walk.pass(item_);
  }
  // An item left over after the end of the format is not edited: the program's
  // statements never supply one.
  if (item.isLast() && unit_ != nullptr) finishStatement();
}

void FormattedWriter::runStatement(std::int32_t unitNumber, const FormatProgram& program, const format::FieldPlan& plan,
                                   const double* values, std::size_t valueCount) {
  unit_ = hold_.take(unitNumber);
  if (unit_ != nullptr) beginOnUnit(program, &plan);
  transferReals(values, valueCount);
}

void FormattedWriter::runEditedStatements(std::int32_t unitNumber, const FormatProgram& program,
                                          const format::FieldPlan& plan, const format::RecordLayout& layout,
                                          const char* edited, const double* values, std::size_t statementCount) {
  const std::size_t recordLength = plan.recordLength;
  const std::size_t stride = layout.stride();
  const std::size_t valueCount = plan.fieldCount;
  std::size_t statement = 0;
  while (statement < statementCount) {
    unit_ = hold_.take(unitNumber);
    if (unit_ == nullptr) {
      return;  // not connected: no statement of the run writes anything
    }
    // The run follows the plan (its caller decided that once); what is left to ask is
    // whether the unit takes the plan's record as it stands. Nothing the statements do
    // while they hold the unit changes that (the record buffer grows only in the
    // interpreter), so one test serves the hold. A statement whose record does not fit
    // (the unit's first, whose record buffer is still to grow) runs as itself, and the
    // hold is tried again after it.
    fieldLimit_ = recordLimit(*unit_);
    if (!recordFits(plan)) {
      giveUpUnit();
      runStatement(unitNumber, program, plan, values + statement * valueCount, valueCount);
      ++statement;
      continue;
    }
    // The records edited ahead are what the plan would make of the values, and each fits
    // the record buffer and any fixed record length (recordFits). Each call hands over
    // those that fit the unit's block, or else one, so a stop begun elsewhere waits for
    // one write call at most. Records laid out with another terminator than the unit's
    // go over one by one.
    const bool laidOutForUnit = endsAsUnitEnds(layout, *unit_);
    do {
      std::size_t handedOver = 1;
      const char* record = edited + statement * stride;
      const std::int32_t result =
          laidOutForUnit ? unit_->putRecordCopies(record, recordLength, statementCount - statement, handedOver)
                         : unit_->putRecordCopy(record, recordLength);
      statement += handedOver;
      if (result != 0) {
        fail(result);
        return;
      }
    } while (statement < statementCount && hold_.mayKeep());
    giveUpUnit();
  }
}

void FormattedWriter::runStatementsEditingInPlace(std::int32_t unitNumber, const FormatProgram& program,
                                                  const format::FieldPlan& plan, const format::RecordLayout& layout,
                                                  format::ChunkEditor& editor, const double* values,
                                                  std::size_t statementCount, char* spare) {
  const std::size_t valueCount = plan.fieldCount;
  const std::size_t stride = layout.stride();
  std::size_t statement = 0;
  while (statement < statementCount) {
    unit_ = hold_.take(unitNumber);
    if (unit_ == nullptr) {
      return;  // not connected: no statement of the run writes anything
    }
    // As in runEditedStatements, one test of the plan and the terminator serves the hold.
    fieldLimit_ = recordLimit(*unit_);
    std::size_t fitting = 0;
    char* space = recordFits(plan) && endsAsUnitEnds(layout, *unit_) ? unit_->recordSpace(stride, fitting) : nullptr;
    if (space == nullptr) {
      giveUpUnit();
      break;
    }
    if (fitting == 0) {
      // The record that straddles the block's end, which writes the block out; the next
      // block takes the records after it in place again.
      giveUpUnit();
      editor.edit(values + statement * valueCount, 1, spare);
      runEditedStatements(unitNumber, program, plan, layout, spare, values + statement * valueCount, 1);
      ++statement;
      continue;
    }
    // The records are edited past the block's last record, where they are part of
    // nothing until they are handed over together: a stop that waits for the hold finds
    // only whole records, as after one write call.
    const std::size_t count = std::min(fitting, statementCount - statement);
    editor.edit(values + statement * valueCount, count, space);
    unit_->putRecordsInSpace(count, stride);
    statement += count;
    giveUpUnit();
  }
  if (statement == statementCount) return;
  // The unit's first record, and a unit that writes each record at once.
  const std::size_t left = statementCount - statement;
  editor.edit(values + statement * valueCount, left, spare);
  runEditedStatements(unitNumber, program, plan, layout, spare, values + statement * valueCount, left);
}

void FormattedWriter::transferReals(const double* values, std::size_t valueCount) {
  for (std::size_t value = 0; value < valueCount; ++value) {
    transfer(realItem(values[value], value + 1 == valueCount ? kFollowLast : kFollowMore));
  }
}

// Interprets control items from the current one on, up to the next data edit
// descriptor (which is then the one in progress) or the end of the format.
FormattedWriter::ControlOutcome FormattedWriter::runControlItems() {
  format::FormatItem& item = item_;
  while (state_.walk.nextItem(program_, item)) {
    switch (item.meaning) {
      case format::Meaning::Literal: {
        char* field = reserveField(item.textLength);
        if (field == nullptr) return ControlOutcome::Failed;
        std::memcpy(field, item.text, item.textLength);
        break;
      }
      case format::Meaning::EndRecord:
        for (std::int32_t record = 0; record < item.repeat; ++record) {
          if (!endRecord()) return ControlOutcome::Failed;
        }
        break;
      case format::Meaning::EditReal:
      case format::Meaning::EditCharacter:
        state_.repeatsLeft = item.repeat;
        return ControlOutcome::DataEdit;
      case format::Meaning::FormatEnd:
        return ControlOutcome::FormatEnd;
      case format::Meaning::Unsupported:
        return ControlOutcome::UnknownCode;
      case format::Meaning::FormatStart:  // applied by the walk, which never stops at them
      case format::Meaning::ScaleFactor:
        break;
    }
    state_.walk.pass(item);
  }
  return ControlOutcome::FormatEnd;
}

void FormattedWriter::editItem(const TransferItem& item) {
  switch (item_.meaning) {
    case format::Meaning::EditReal:
      editRealIntoNextField(item);
      return;
    case format::Meaning::EditCharacter:
      editCharacter(item);
      return;
    // runControlItems stops only at the data edit descriptors above.
    case format::Meaning::FormatStart:
    case format::Meaning::FormatEnd:
    case format::Meaning::ScaleFactor:
    case format::Meaning::Literal:
    case format::Meaning::EndRecord:
    case format::Meaning::Unsupported:
      return;
  }
}

// Ew.d with the descriptor in progress: reserves the record's next w characters and
// edits the item into them; an item that is no double fills them with asterisks.
void FormattedWriter::editRealIntoNextField(const TransferItem& item) {
  const std::size_t width = static_cast<std::size_t>(std::max(item_.width, 0));
  char* field = reserveField(width);
  if (field == nullptr) return;
  editRealItem(item, item_.width, item_.fractionDigits, state_.walk.scaleFactor, field);
}

// A without a width: the field is the item's characters, as many as it has; an item
// that is no character string writes nothing.
void FormattedWriter::editCharacter(const TransferItem& item) {
  if (item.type() != kTypeCharacter || item.form() != kFormLengthAddress) return;
  const auto& block = *static_cast<const LengthAddressBlock*>(item.argument);
  const std::size_t length = block.length > 0 ? static_cast<std::size_t>(block.length) : 0;
  char* field = reserveField(length);
  if (field != nullptr && length > 0) std::memcpy(field, block.address, length);
}

// The next `width` characters of the record; nullptr after a failure has ended the
// statement.
char* FormattedWriter::reserveField(std::size_t width) {
  const std::size_t end = state_.recordPosition + width;
  if (end > fieldLimit_ && !growRecord(end)) return nullptr;
  char* field = unit_->outputRecord() + state_.recordPosition;
  // Fields and literals are written whole and one after another, so the position
  // never falls behind the high-water mark: every character up to it has been written.
  state_.recordPosition = end;
  state_.highWater = std::max(state_.highWater, end);
  return field;
}

bool FormattedWriter::growRecord(std::size_t needed) {
  Unit& unit = *unit_;
  const auto recordLength = static_cast<std::size_t>(std::max(unit.recordLength(), 0));
  if (recordLength > 0 && needed > recordLength) {
    fail(kMsgRecordOverflow);
    return false;
  }
  const std::size_t capacity = unit.outputRecordCapacity();
  const std::size_t growth = std::max({needed - capacity, kMinimumRecordGrowth, recordLength / 8});
  std::size_t newCapacity = capacity > std::numeric_limits<std::size_t>::max() - growth ? needed : capacity + growth;
  if (recordLength > 0) {
    newCapacity = std::min(newCapacity, recordLength);  // a fixed-length record is never longer
  }
  if (!unit.reserveRecord(newCapacity)) {
    fail(kMsgRecordOverflow);
    return false;
  }
  fieldLimit_ = recordLimit(unit);
  return true;
}

// Hands the record built so far to the unit and starts an empty one.
bool FormattedWriter::endRecord() {
  const char* bytes = unit_->outputRecord() != nullptr ? unit_->outputRecord() : "";
  const std::int32_t result = unit_->putRecord(bytes, state_.highWater);
  if (result != 0) {
    fail(result);
    return false;
  }
  state_.recordPosition = 0;
  state_.highWater = 0;
  return true;
}

// Runs the control items after the last edited item (literals and slashes still
// write) up to the end of the format or a data edit descriptor that has no item left,
// then hands over the last record and releases the unit.
void FormattedWriter::finishStatement() {
  if (state_.repeatsLeft == 0) {
    switch (runControlItems()) {
      case ControlOutcome::Failed:
        return;
      case ControlOutcome::DataEdit:  // a descriptor with no item left for it
      case ControlOutcome::FormatEnd:
        break;
      case ControlOutcome::UnknownCode:
        // A compiled format is constant data of the program, so an unknown code is a
        // descriptor this writer was never taught: the format ends there, and the
        // record built so far is handed over as at its end.
        break;
    }
  }
  if (!endRecord()) return;
  giveUpUnit();
}

void FormattedWriter::giveUpUnit() {
  unit_ = nullptr;
  hold_.release();
}

// Ends the statement with a fatal report, which closes every unit, this one included.
void FormattedWriter::fail(std::int32_t messageNumber) {
  unit_ = nullptr;
  hold_.releaseAndReport(messageNumber);
}

}  // namespace recio

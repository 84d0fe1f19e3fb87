// Formatted output: write statements that lay out their items by a compiled format
// and hand whole records to a unit.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "recio/format/codes.h"
#include "recio/format/walk.h"
#include "recio/transfer.h"
#include "recio/units/held_unit.h"

namespace recio {

namespace format {
class ChunkEditor;
class FieldCache;
struct FieldPlan;
struct RecordLayout;
}  // namespace format

// The interpreter's state for one statement. The record being built is the unit's
// own record buffer; `recordPosition` is where the next field goes and `highWater` the
// furthest character written, which is where the record ends.
struct FormatState {
  format::FormatWalk walk;       // the format item being interpreted, and the scale factor
  std::int32_t repeatsLeft = 0;  // items still to edit with the current data edit descriptor
  std::size_t recordPosition = 0;
  std::size_t highWater = 0;
  std::size_t itemsEdited = 0;  // the position of the next item in the statement
};

// One formatted write statement at a time: begin, then one transfer per item; the
// statement ends inside the transfer of its last item. The statement holds the unit
// from begin to its end. It does not handle errors: a record that overflows the
// unit's fixed record length or cannot grow (66) and a failed write (38) end the run
// with a fatal report.
//
// Fixed record length: a unit with record length n admits records of up to exactly n
// characters; the terminator is not counted.
//
// A statement on a unit number that is not connected writes nothing.
//
// The E fields a writer edits are kept for the later statements of the same writer
// (field_cache.h): a writer used for a whole table edits each repeated value once. A
// format of E fields alone compiles into a plan of fixed fields (plan.h), which its
// statements follow instead of interpreting the format: a writer compiles the plan of
// the format its statements are begun with once and keeps it while the format stays the
// same; a run of statements (runStatement, runEditedStatements) is handed its plan,
// compiled once by the caller for the whole run.
class FormattedWriter {
 public:
  FormattedWriter();
  ~FormattedWriter();
  FormattedWriter(const FormattedWriter&) = delete;
  FormattedWriter& operator=(const FormattedWriter&) = delete;

  void begin(std::int32_t unitNumber, const FormatProgram& program);
  // Edits `item` with the next data edit descriptor. After the item marked last, runs
  // on to the end of the format, hands the last record to the unit and releases it.
  void transfer(const TransferItem& item);

  // One statement of `valueCount` real items, the last marked last, as begin and a
  // transfer of each would write it, but with `plan`, the plan of `program`
  // (compilePlan), usable or not, that the caller compiled once for all its statements,
  // in place of the writer's own: the writer neither compiles nor matches the format.
  void runStatement(std::int32_t unitNumber, const FormatProgram& program, const format::FieldPlan& plan,
                    const double* values, std::size_t valueCount);

  // `statementCount` statements of `plan.fieldCount` real items each whose records were
  // edited ahead by `plan`, the plan of `program` compiled once for the whole run
  // (write_statements.h), which the caller has found the run's statements to follow: it
  // is usable and has a field per value. Statement n has the record at `edited` + n *
  // `layout.stride()`, followed by the layout's terminator, and its values at `values` +
  // n * `plan.fieldCount`. The writer
  // asks only whether the unit takes the plan's record as it stands: a statement on a
  // unit that does hands its edited record over, byte for byte what the plan would make
  // of the values; any other transfers the values, with the same plan. While the
  // statements follow the plan, they run on one hold of the unit: handing a record over
  // is then all a statement does, and taking and giving back the unit was most of its
  // cost. Records that fit the unit's block go over together (Unit::putRecordCopies), up
  // to one write call. Between two such calls the hold is given up as soon as another
  // thread waits for the unit or has begun a stop (HeldUnit), so a stop still waits for
  // one write call at most; a failing statement ends the run at itself, as alone.
  void runEditedStatements(std::int32_t unitNumber, const FormatProgram& program, const format::FieldPlan& plan,
                           const format::RecordLayout& layout, const char* edited, const double* values,
                           std::size_t statementCount);

  // runEditedStatements for records not yet edited: while the unit holds records in a
  // block, the records that fit it are edited straight into it by `editor` (made for
  // `plan` and `layout`) and handed over together, on one hold of the unit, without a
  // copy; the rest are edited into `spare` (room for `statementCount` records) and handed
  // over by runEditedStatements.
  void runStatementsEditingInPlace(std::int32_t unitNumber, const FormatProgram& program, const format::FieldPlan& plan,
                                   const format::RecordLayout& layout, format::ChunkEditor& editor,
                                   const double* values, std::size_t statementCount, char* spare);

 private:
  // Where the control items of the format stopped running.
  enum class ControlOutcome : std::uint8_t {
    DataEdit,     // at a data edit descriptor, which is now the one in progress
    FormatEnd,    // at the end of the format (or of the program's bytes)
    UnknownCode,  // at an item whose descriptor this writer does not implement
    Failed,       // a record could not be grown or written; the statement has ended
  };

  // The writer's own plan of a format, with the program it was compiled from.
  struct OwnPlan;

  void beginOnUnit(const FormatProgram& program, const format::FieldPlan* plan);
  const format::FieldPlan* ownPlanOf(const FormatProgram& program);
  bool recordFits(const format::FieldPlan& plan) const;
  void transferReals(const double* values, std::size_t valueCount);
  ControlOutcome runControlItems();
  void editItem(const TransferItem& item);
  void editRealIntoNextField(const TransferItem& item);
  void editCharacter(const TransferItem& item);
  void editRealItem(const TransferItem& item, std::int32_t width, std::int32_t fractionDigits, std::int32_t scaleFactor,
                    char* field);
  char* reserveField(std::size_t width);
  bool growRecord(std::size_t needed);
  bool endRecord();
  void finishStatement();
  // Ends the statement's hold on its unit.
  void giveUpUnit();
  void fail(std::int32_t messageNumber);

  HeldUnit hold_;
  Unit* unit_ = nullptr;  // the hold's unit while a statement runs; nullptr once it failed
  FormatProgram program_{nullptr, 0};
  FormatState state_;
  // The item being interpreted; while repeatsLeft > 0, the data edit descriptor in progress.
  format::FormatItem item_;
  // Fields end at or below this without a check of their own: the unit's record limit
  // (recordLimit) as the statement began or the record buffer last grew.
  std::size_t fieldLimit_ = 0;
  // Made once the writer has edited a few hundred E fields; without the memory for it,
  // fields are edited every time.
  std::unique_ptr<format::FieldCache> fieldCache_;
  std::uint32_t fieldsEditedUncached_ = 0;
  // The plan of the last format this writer was begun with alone (begin), compiled when
  // the format changes.
  std::unique_ptr<OwnPlan> ownPlan_;
  // The plan the statement in progress follows, its own or its run's; nullptr while the
  // statement is interpreted.
  const format::FieldPlan* plan_ = nullptr;
};

}  // namespace recio

// The records of a chunk of statements that follow one plan, edited ahead and laid out
// as a unit's block takes them: each record's fields, then the unit's terminator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "recio/format/field_cache.h"
#include "recio/format/plan.h"
#include "recio/format/record_layout.h"
#include "recio/format/short_field.h"

namespace recio::format {

// One editing thread's: its field cache and the record it copies the fields of a row
// from. Table records repeat by position: a few fields hold their values for many records
// in a row (a table's y and elevation), which the chunk takes as a whole-record template
// copied in fixed 16-byte blocks, changed only where those values change; the fields left
// are edited a column at a time, copied from a record a repeat period before where their
// value recurs (a table's x), or edited, the short E fields in registers (short_field.h).
class ChunkEditor {
 public:
  // The longest record a template takes: longer ones (a record limit is 1 KiB) get their
  // fields edited a column at a time and their terminators written one by one.
  static constexpr std::size_t kMaxTemplateStride = 1024 + RecordLayout::kMaxTerminatorLength;

  // `periods[position]`: after how many records a value at that position is likely to
  // recur, 0 for none; only a hint, since a field is copied only from equal bits. Each
  // period is below the largest chunk.
  ChunkEditor(const FieldPlan& plan, const RecordLayout& layout, const std::size_t* periods);

  // Edits `count` records, from `values` (plan.fieldCount a record) into `records`
  // (layout.stride() bytes a record): the same characters as editReal gives field by
  // field, each record followed by the layout's terminator.
  void edit(const double* values, std::size_t count, char* records);

 private:
  void classifyColumns(const double* values, std::size_t count);
  void copyRows(const double* values, std::size_t count, char* records);
  template <std::size_t kBlocks>
  void copyRowsInBlocks(const double* values, std::size_t count, char* records);
  bool templateHolds(const double* values) const;
  void buildTemplate(const double* values);
  void editColumn(std::size_t position, const double* values, std::size_t count, char* records);
  void editField(std::size_t position, double value, char* field);

  const FieldPlan& plan_;
  const RecordLayout layout_;
  std::size_t periods_[FieldPlan::kMaxFields] = {};
  // Per position, the layout of its short E fields, where they are such.
  ShortFieldShape shortShapes_[FieldPlan::kMaxFields];
  std::uint32_t cacheShapes_[FieldPlan::kMaxFields] = {};
  // Made with the first chunk; without the memory for it, fields are edited every time.
  std::unique_ptr<FieldCache> cache_;
  bool cacheTried_ = false;
  // The positions whose values hold over runs of records in the chunk being edited, and
  // the values the template's fields were edited from.
  std::size_t rowPositions_[FieldPlan::kMaxFields] = {};
  std::size_t rowCount_ = 0;
  bool isRowPosition_[FieldPlan::kMaxFields] = {};
  std::uint64_t templateBits_[FieldPlan::kMaxFields] = {};
  bool templateValid_ = false;
  char template_[kMaxTemplateStride] = {};
  // The first byte of a record that the template's copy in blocks writes: the bytes
  // before it lie in fields of the columns edited after the copy.
  std::size_t copiedFrom_ = 0;
  bool copiedTail_ = false;  // in the chunk being edited, for fastPathCounts
  // Per chunk, for fastPathCounts.
  std::uint64_t reusedByPeriod_ = 0;
  std::uint64_t editedShort_ = 0;
};

}  // namespace recio::format

// A chunk's records in two passes: first every record as a copy of its row's template,
// which brings the fields whose values hold over the row and the terminator; then the
// other fields a column at a time, over the template's bytes.
#include "recio/format/chunk_editor.h"

#include <array>
#include <atomic>
#include <bit>
#include <cstring>
#include <utility>

#include "recio/format/edit.h"
#include "recio/format/field_copy.h"
#include "recio/threads/fast_path_counts.h"

namespace recio::format {
namespace {

constexpr std::size_t kBlock = 16;
// Records of up to this many blocks copy their template in blocks of fixed size, the
// number of blocks fixed for the chunk; longer ones with memcpy.
constexpr std::size_t kMaxBlocks = 16;

// A position's values hold over rows when at most this many of kRowSamples pairs of
// neighbouring records spread over the chunk differ there. A wrong guess costs time only:
// every record compares its row's values with the template's.
constexpr std::size_t kRowSamples = 16;
constexpr std::size_t kRowChangesAllowed = 1;

// A column the field cache bypasses (its values seldom recur) still goes through the
// cache every this many records, so that the cache sees when its values begin to recur.
constexpr std::size_t kCacheSampleStride = 16;

std::uint64_t bitsOf(double value) { return std::bit_cast<std::uint64_t>(value); }

}  // namespace

ChunkEditor::ChunkEditor(const FieldPlan& plan, const RecordLayout& layout, const std::size_t* periods)
    : plan_(plan), layout_(layout) {
  for (std::size_t position = 0; position < plan.fieldCount; ++position) {
    const PlannedField& field = plan.fields[position];
    periods_[position] = periods[position];
    shortShapes_[position] = ShortFieldShape(field.width, field.fractionDigits, field.scaleFactor);
    cacheShapes_[position] = FieldCache::shapeOf(field.width, field.fractionDigits, field.scaleFactor);
  }
  if (layout.stride() <= kMaxTemplateStride) {
    std::memset(template_, ' ', layout.recordLength);
    std::memcpy(template_ + layout.recordLength, layout.terminator, layout.terminatorLength);
  }
}

void ChunkEditor::edit(const double* values, std::size_t count, char* records) {
  if (!cacheTried_) {
    cache_ = makeFieldCache();
    cacheTried_ = true;
  }
  reusedByPeriod_ = 0;
  editedShort_ = 0;
  classifyColumns(values, count);
  copyRows(values, count, records);
  for (std::size_t position = 0; position < plan_.fieldCount; ++position) {
    if (!isRowPosition_[position]) editColumn(position, values, count, records);
  }
  FastPathCounts& counts = fastPathCounts();
  if (reusedByPeriod_ != 0) counts.fieldsReusedByPeriod.fetch_add(reusedByPeriod_, std::memory_order_relaxed);
  if (editedShort_ != 0) counts.fieldsEditedShort.fetch_add(editedShort_, std::memory_order_relaxed);
  if (rowCount_ != 0) counts.chunksEditedFromRowTemplates.fetch_add(1, std::memory_order_relaxed);
  if (copiedTail_) counts.chunksCopyingTemplateTails.fetch_add(1, std::memory_order_relaxed);
}

// Which positions hold their values over rows, from pairs of neighbouring records spread
// over the chunk. The template is built anew for the chunk's first record, since the
// positions it holds may have changed.
void ChunkEditor::classifyColumns(const double* values, std::size_t count) {
  const std::size_t fieldCount = plan_.fieldCount;
  rowCount_ = 0;
  templateValid_ = false;
  copiedTail_ = false;
  for (std::size_t position = 0; position < fieldCount; ++position) {
    std::size_t changes = kRowChangesAllowed + 1;
    if (count >= 2 * kRowSamples && layout_.stride() <= kMaxTemplateStride) {
      changes = 0;
      for (std::size_t sample = 0; sample < kRowSamples; ++sample) {
        const std::size_t record = sample * (count - 1) / kRowSamples;
        const double* value = values + record * fieldCount + position;
        changes += bitsOf(value[0]) != bitsOf(value[fieldCount]) ? 1 : 0;
      }
    }
    isRowPosition_[position] = changes <= kRowChangesAllowed;
    if (isRowPosition_[position]) rowPositions_[rowCount_++] = position;
  }
  // The template's copy may leave out the record's first bytes while the columns edited
  // after it cover them whole, since those write every byte of their fields; a copy of
  // blocks keeps at least one whole block.
  std::size_t covered = 0;
  for (bool grew = true; grew;) {
    grew = false;
    for (std::size_t position = 0; position < fieldCount; ++position) {
      const PlannedField& field = plan_.fields[position];
      const std::size_t end = field.begin + static_cast<std::size_t>(field.width);
      if (!isRowPosition_[position] && field.begin <= covered && end > covered) {
        covered = end;
        grew = true;
      }
    }
  }
  const std::size_t stride = layout_.stride();
  copiedFrom_ = stride >= kBlock && covered > stride - kBlock ? stride - kBlock : covered;
}

// Every record as a copy of its row's template: the row's fields and the terminator.
// Without a template (no row positions in a short chunk, or a record too long for
// one), only the terminators.
void ChunkEditor::copyRows(const double* values, std::size_t count, char* records) {
  const std::size_t stride = layout_.stride();
  const std::size_t copied = stride - copiedFrom_;
  if (rowCount_ == 0 || stride < kBlock || copied > kBlock * kMaxBlocks) {
    if (rowCount_ != 0) {
      for (std::size_t record = 0; record < count; ++record, values += plan_.fieldCount, records += stride) {
        if (!templateHolds(values)) buildTemplate(values);
        std::memcpy(records, template_, stride);
      }
      return;
    }
    records += layout_.recordLength;
    for (std::size_t record = 0; record < count; ++record, records += stride) {
      std::memcpy(records, layout_.terminator, layout_.terminatorLength);
    }
    return;
  }
  // One copy loop for each number of blocks, the blocks unrolled.
  using CopyRows = void (ChunkEditor::*)(const double*, std::size_t, char*);
  static constexpr auto kCopies = []<std::size_t... kIndex>(std::index_sequence<kIndex...>) {
    return std::array<CopyRows, sizeof...(kIndex)>{&ChunkEditor::copyRowsInBlocks<kIndex + 1>...};
  }
  (std::make_index_sequence<kMaxBlocks>());
  (this->*kCopies[(copied + kBlock - 1) / kBlock - 1])(values, count, records);
  copiedTail_ = copiedFrom_ != 0;
}

// The template from copiedFrom_ on, as kBlocks - 1 whole blocks and a last one that ends
// where the record's terminator ends, overlapping the one before: kBlock <= stride -
// copiedFrom_ <= kBlocks * kBlock.
// What the loop reads is kept in locals: a store through a char pointer may alias any
// member, which would then be read again for every record.
template <std::size_t kBlocks>
void ChunkEditor::copyRowsInBlocks(const double* values, std::size_t count, char* records) {
  const std::size_t stride = layout_.stride();
  const std::size_t fieldCount = plan_.fieldCount;
  const std::size_t lastBlock = stride - copiedFrom_ - kBlock;
  const char* const image = template_ + copiedFrom_;
  const double* const end = values + count * fieldCount;
  records += copiedFrom_;
  const auto copyRecord = [&] {
    [&]<std::size_t... kIndex>(std::index_sequence<kIndex...>) {
      (std::memcpy(records + kIndex * kBlock, image + kIndex * kBlock, kBlock), ...);
    }
    (std::make_index_sequence<kBlocks - 1>());
    std::memcpy(records + lastBlock, image + lastBlock, kBlock);
    values += fieldCount;
    records += stride;
  };
  while (values != end) {
    if (!templateHolds(values)) buildTemplate(values);
    if (rowCount_ > 2) {
      copyRecord();  // the next record is checked by templateHolds
      continue;
    }
    // One or two row positions: compared in registers.
    const std::size_t first = rowPositions_[0];
    const std::size_t second = rowPositions_[rowCount_ - 1];
    const std::uint64_t firstBits = templateBits_[0];
    const std::uint64_t secondBits = templateBits_[rowCount_ - 1];
    do {
      copyRecord();
    } while (values != end && bitsOf(values[first]) == firstBits && bitsOf(values[second]) == secondBits);
  }
}

bool ChunkEditor::templateHolds(const double* values) const {
  if (!templateValid_) return false;
  for (std::size_t row = 0; row < rowCount_; ++row) {
    if (bitsOf(values[rowPositions_[row]]) != templateBits_[row]) return false;
  }
  return true;
}

void ChunkEditor::buildTemplate(const double* values) {
  for (std::size_t row = 0; row < rowCount_; ++row) {
    const std::size_t position = rowPositions_[row];
    editField(position, values[position], template_ + plan_.fields[position].begin);
    templateBits_[row] = bitsOf(values[position]);
  }
  templateValid_ = true;
}

// The fields at `position` of the chunk's records, record after record, over the
// template's bytes. Its shape and its cache are read into locals, for the reason above.
void ChunkEditor::editColumn(std::size_t position, const double* values, std::size_t count, char* records) {
  const PlannedField field = plan_.fields[position];
  const auto width = static_cast<std::size_t>(field.width);
  const std::size_t fieldCount = plan_.fieldCount;
  const std::size_t stride = layout_.stride();
  const std::size_t period = periods_[position] < count ? periods_[position] : 0;
  const ShortFieldShape shortShape = shortShapes_[position];
  const std::uint32_t cacheShape = cacheShapes_[position];
  FieldCache* const cache = cache_.get();
  const bool everyOneCached = cache != nullptr && !cache->bypasses(position);
  std::uint64_t editedShort = 0;
  // The field edited in full: the short layout, or editReal where that does not take it.
  // A call of its own: inlined into each of the loops below, it made them spill.
  const auto editFully = [&](double value, char* text) __attribute__((noinline)) {
    if (shortShape.usable() && shortShape.edit(value, text)) {
      ++editedShort;
      return;
    }
    editReal(value, field.width, field.fractionDigits, field.scaleFactor, text);
  };
  // Through the cache: looked up and kept here, counted for the cache once a column.
  std::uint32_t lookups = 0;
  std::uint32_t hits = 0;
  const bool cached = cache != nullptr && cacheShape != 0;
  const double* const column = values + position;
  FieldCache::Slot* const region = cached ? cache->region(position) : nullptr;
  // `copy(to, from)` copies a field of the column's width, in a way chosen once for it.
  // Both inlined into each loop by demand: GCC otherwise splits them off as calls of
  // their own on every record.
  const auto editCached = [&](const double* value, char* text, auto copy) __attribute__((always_inline)) {
    ++lookups;
    const std::uint64_t bits = bitsOf(*value);
    FieldCache::Slot& slot = FieldCache::slotIn(region, bits);
    if (const char* kept = FieldCache::findIn(slot, bits, cacheShape)) {
      ++hits;
      copy(text, kept);
      return;
    }
    editFully(*value, text);
    if (char* keptText = FieldCache::keepIn(slot, bits, cacheShape)) copy(keptText, text);
  };
  // A bypassed column is still looked up at every kCacheSampleStride-th record, whose
  // number is worked out only then.
  const auto edit = [&](const double* value, char* text, auto copy) __attribute__((always_inline)) {
    if (cached && (everyOneCached || static_cast<std::size_t>(value - column) / fieldCount % kCacheSampleStride == 0)) {
      editCached(value, text, copy);
    } else {
      editFully(*value, text);
    }
  };
  const double* value = column;
  char* text = records + field.begin;
  // Before a period's worth of records there is no earlier field in the chunk.
  const std::size_t firstRecords = period != 0 ? period : count;
  // A value equal to the one a period before takes that record's field, edited from the
  // same bits with the same plan a few thousand bytes back. The fields edited are
  // counted, fewer than those copied.
  const std::size_t valuesBack = period * fieldCount;
  const std::size_t textBack = period * stride;
  std::uint64_t editedAfterPeriod = 0;
  // The column's loops for one way of copying a field of its width. A column looked up
  // at every record, the rule for one whose values recur, has a first loop of its own,
  // which does not ask at each record whether to look it up.
  const auto editRecords = [&](auto copy) {
    const double* const firstEnd = column + firstRecords * fieldCount;
    if (cached && everyOneCached) {
      for (; value != firstEnd; value += fieldCount, text += stride) editCached(value, text, copy);
    } else {
      for (; value != firstEnd; value += fieldCount, text += stride) edit(value, text, copy);
    }
    for (const double* const end = column + count * fieldCount; value != end; value += fieldCount, text += stride) {
      if (bitsOf(*value) == bitsOf(*(value - valuesBack))) {
        copy(text, text - textBack);
      } else {
        edit(value, text, copy);
        ++editedAfterPeriod;
      }
    }
  };
  if (width >= 8 && width < 16) {
    editRecords([&](char* to, const char* from) { copyFieldInWords<8>(to, from, width); });
  } else if (width >= 16 && width <= kLargestFieldCopy) {
    editRecords([&](char* to, const char* from) { copyFieldInWords<16>(to, from, width); });
  } else {
    editRecords([&](char* to, const char* from) { std::memcpy(to, from, width); });
  }
  if (cached) cache->countColumn(position, static_cast<std::uint32_t>(count), lookups, hits);
  reusedByPeriod_ += count - firstRecords - editedAfterPeriod;
  editedShort_ += editedShort;
}

void ChunkEditor::editField(std::size_t position, double value, char* field) {
  const PlannedField& planned = plan_.fields[position];
  if (cache_ != nullptr) {
    cache_->editShaped(position, cacheShapes_[position], value, planned.width, planned.fractionDigits,
                       planned.scaleFactor, field);
  } else {
    editReal(value, planned.width, planned.fractionDigits, planned.scaleFactor, field);
  }
}

}  // namespace recio::format

// What the fast paths did, for the tests to see: counted per chunk, per block or per
// run, never per record or per value, so that counting costs nothing a run can measure.
// Only tests read or reset the counts.
#pragma once

#include <atomic>
#include <cstdint>

namespace recio {

struct FastPathCounts {
  std::atomic<std::uint64_t> editingWorkersStarted{0};
  std::atomic<std::uint64_t> chunksEditedByWorkers{0};
  // Chunks edited into a ring slot that an earlier chunk had used.
  std::atomic<std::uint64_t> ringSlotsReused{0};
  // Fields copied from the record a repeat period before (StatementValues::repeatPeriod).
  std::atomic<std::uint64_t> fieldsReusedByPeriod{0};
  std::atomic<std::uint64_t> readAheadWorkersStarted{0};
  // Cells of a model's second half that the statements took from the read-ahead.
  std::atomic<std::uint64_t> cellsAdopted{0};
  // Bytes of the model that the read-ahead's worker read, counting and converting.
  std::atomic<std::uint64_t> readAheadBytesRead{0};
  // Records that runs of read statements took as plain records, without the general
  // rules: a statement at a time...
  std::atomic<std::uint64_t> plainRecordsRead{0};
  // ...and many statements at a time, from the bytes the unit had read.
  std::atomic<std::uint64_t> plainRecordsReadInRuns{0};
  // Of those, records taken as quick lines, a run at a time without a terminator search
  // (reader/quick_lines.h); and the lines that the read-ahead took so.
  std::atomic<std::uint64_t> quickLinesRead{0};
  std::atomic<std::uint64_t> quickLinesReadAhead{0};
  // Chunks edited ahead whose records were copied from templates of their rows, and
  // fields edited ahead by the short field layout (short_field.h), counted per chunk.
  std::atomic<std::uint64_t> chunksEditedFromRowTemplates{0};
  std::atomic<std::uint64_t> fieldsEditedShort{0};
  // Of the chunks edited from row templates, those whose records took the template from
  // past their first byte on, the columns edited after it covering the bytes before.
  std::atomic<std::uint64_t> chunksCopyingTemplateTails{0};
  // Records edited ahead that write statements copied into a unit's block together.
  std::atomic<std::uint64_t> recordsHandedOverTogether{0};
  // Blocks of buffered output written past the page cache.
  std::atomic<std::uint64_t> directBlocksWritten{0};
};

FastPathCounts& fastPathCounts();
void resetFastPathCounts();

}  // namespace recio

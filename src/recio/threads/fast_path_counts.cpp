// The fast paths' counts: process-wide, as the paths run on any thread.
#include "recio/threads/fast_path_counts.h"

namespace recio {

FastPathCounts& fastPathCounts() {
  static FastPathCounts counts;
  return counts;
}

void resetFastPathCounts() {
  FastPathCounts& counts = fastPathCounts();
  counts.editingWorkersStarted = 0;
  counts.chunksEditedByWorkers = 0;
  counts.ringSlotsReused = 0;
  counts.fieldsReusedByPeriod = 0;
  counts.readAheadWorkersStarted = 0;
  counts.cellsAdopted = 0;
  counts.readAheadBytesRead = 0;
  counts.plainRecordsRead = 0;
  counts.plainRecordsReadInRuns = 0;
  counts.quickLinesRead = 0;
  counts.quickLinesReadAhead = 0;
  counts.chunksEditedFromRowTemplates = 0;
  counts.fieldsEditedShort = 0;
  counts.chunksCopyingTemplateTails = 0;
  counts.recordsHandedOverTogether = 0;
  counts.directBlocksWritten = 0;
}

}  // namespace recio

// Reading the model file: one read statement per cell, in file order j, i, k.
#include <algorithm>
#include <cstdint>

#include "app/connections.h"
#include "app/formats.h"
#include "app/model_halves.h"
#include "app/model.h"
#include "recio/reader/reader.h"
#include "recio/transfer.h"
#include "recio/units/unit_table.h"

namespace app {
namespace {

constexpr std::string_view kNotFound = " Error: Model file not found: ";
constexpr std::uint32_t kReadOptions = recio::kHandlesErrors | recio::kHandlesEndOfFile;

}  // namespace

void readModel(const NameField& modelName, const Mesh& mesh, ModelGrid& grid) {
  switch (loadModel(modelName, mesh, grid)) {
    case StageStatus::Ok:
      return;
    case StageStatus::NotFound:
      stopWithNotFound(kNotFound, modelName);
    case StageStatus::TooShort:
      stopWithReadFailure(kModelTooShortFormat, modelName);
    case StageStatus::ReadError:
      stopWithReadFailure(kModelReadFailureFormat, modelName);
  }
}

// The grid holds the mesh's counts, each clamped at 0.
StageStatus loadModel(const NameField& modelName, const Mesh&, ModelGrid& grid, const ModelReading& reading) {
  if (openForReading(modelName) > 0) return StageStatus::NotFound;

  recio::FreeFormatReader reader;
  // Each value is handed over as a double array of one element; only the first value
  // of a line is taken, the rest of the line is dropped with the statement.
  recio::LengthAddressBlock cell = recio::realArrayBlock(nullptr, 1);
  const recio::TransferItem item = recio::arrayItem(recio::kTypeReal64, cell, recio::kFollowLast);
  const std::size_t layer = grid.nx * grid.ny;
  const std::uint64_t cellCount = layer * grid.nz;
  if (cellCount == 0) {
    // A count below 1 on any axis leaves nothing to read: the file is connected and closed.
    recio::closeUnit(kFileUnit, false);
    return StageStatus::Ok;
  }
  ModelHalves halves(kFileUnit, grid, reading.twoHalves ? cellCount : 0, reading.minimumBytes, reading.awaitWorker);
  std::uint64_t meeting = halves.firstMeeting();
  if (meeting != ModelHalves::kNoMeeting) meeting = std::max(meeting, reading.firstMeeting);
  std::uint64_t next = 0;
  FileOrderCells cells(grid, 0);
  while (next < cellCount) {
    if (next == meeting) {
      while (next == meeting) meeting = halves.meet(next);
      if (next == cellCount) break;
      cells = FileOrderCells(grid, next);
    }
    cell.address = cells.cell();
    const recio::IoOutcome outcome = reader.beginStatement(kFileUnit, kReadOptions, item);
    if (outcome != 0) {
      halves.finish();
      recio::closeUnit(kFileUnit, false);
      return outcome == recio::kEndOfFile ? StageStatus::TooShort : StageStatus::ReadError;
    }
    ++next;
    cells.next();
  }
  halves.finish();
  recio::closeUnit(kFileUnit, false);
  return StageStatus::Ok;
}

}  // namespace app

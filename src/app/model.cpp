// Reading the model file: one read statement per cell, in file order j, i, k.
#include <cstdint>

#include "app/connections.h"
#include "app/formats.h"
#include "app/stages.h"
#include "recio/reader.h"
#include "recio/transfer.h"
#include "recio/unit_table.h"

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

StageStatus loadModel(const NameField& modelName, const Mesh& mesh, ModelGrid& grid) {
  if (openForReading(modelName) > 0) return StageStatus::NotFound;

  recio::FreeFormatReader reader;
  // Each value is handed over as a double array of one element; only the first value
  // of a line is taken, the rest of the line is dropped with the statement.
  recio::LengthAddressBlock cell = recio::realArrayBlock(nullptr, 1);
  const recio::TransferItem item = recio::arrayItem(recio::kTypeReal64, cell, recio::kFollowLast);
  const std::size_t layer = grid.nx * grid.ny;
  // A count below 1 on any axis leaves nothing to read: the file is connected and closed.
  const std::int32_t rows = layer * grid.nz == 0 ? 0 : mesh.ny;
  for (std::int32_t j = 1; j <= rows; ++j) {
    for (std::int32_t i = 1; i <= mesh.nx; ++i) {
      double* column = grid.values + grid.indexOf(static_cast<std::size_t>(i), static_cast<std::size_t>(j), 1);
      for (std::int32_t k = 0; k < mesh.nz; ++k) {
        cell.address = column + static_cast<std::size_t>(k) * layer;
        const recio::IoOutcome outcome = reader.beginStatement(kFileUnit, kReadOptions, item);
        if (outcome != 0) {
          recio::closeUnit(kFileUnit, false);
          return outcome == recio::kEndOfFile ? StageStatus::TooShort : StageStatus::ReadError;
        }
      }
    }
  }
  recio::closeUnit(kFileUnit, false);
  return StageStatus::Ok;
}

}  // namespace app

// Reading the model file: one read statement per cell, in file order j, i, k.
#include "app/model.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "app/connections.h"
#include "app/formats.h"
#include "recio/reader/read_statements.h"
#include "recio/units/unit_table.h"

namespace app {
namespace {

// Statement n reads the file's n-th cell.
class CellTargets final : public recio::StatementTargets {
 public:
  explicit CellTargets(const ModelGrid& grid) : grid_(grid) {}

  // A column's cells at a time (FileOrderCells' order): within a column each cell lies a
  // layer past the one before, so that a target costs a store and an addition.
  void fill(std::uint64_t first, std::size_t count, double** targets) const override {
    const std::size_t layer = grid_.nx * grid_.ny;
    std::size_t column = static_cast<std::size_t>(first / grid_.nz);
    std::size_t k = static_cast<std::size_t>(first % grid_.nz);
    double** const end = targets + count;
    while (targets != end) {
      const std::size_t cells = std::min(grid_.nz - k, static_cast<std::size_t>(end - targets));
      double* cell = grid_.values + column + k * layer;
      // Unrolled, the loop's own count and branch are shared by four targets.
#pragma GCC unroll 4
      for (double** const columnEnd = targets + cells; targets != columnEnd; ++targets, cell += layer) *targets = cell;
      ++column;
      k = 0;
    }
  }

 private:
  const ModelGrid& grid_;
};

}  // namespace

void readModel(const FileName& modelName, ModelGrid& grid) {
  static constexpr StageMessages kMessages{" Error: Model file not found: ", kModelReadFailureFormat,
                                           kModelTooShortFormat};
  stopUnlessOk(loadModel(modelName, grid), kMessages, modelName);
}

// The grid holds the mesh's counts, each clamped at 0. A count below 1 on any axis leaves
// nothing to read: the file is connected and closed.
StageStatus loadModel(const FileName& modelName, ModelGrid& grid) {
  if (openForReading(modelName) > 0) return StageStatus::NotFound;
  const recio::IoOutcome outcome = recio::readStatements(kFileUnit, kReadOptions, grid.cellCount(), CellTargets(grid));
  recio::closeUnit(kFileUnit, false);
  if (outcome == recio::kSuccess) return StageStatus::Ok;
  return outcome == recio::kEndOfFile ? StageStatus::TooShort : StageStatus::ReadError;
}

}  // namespace app

// Reading the model file: one read statement per cell, in file order j, i, k.
#include "app/model.h"

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

  void fill(std::uint64_t first, std::size_t count, double** targets) const override {
    FileOrderCells(grid_, first).take(count, targets);
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

// The model stage: one value per cell from the model file into the grid.
#pragma once

#include <cstdint>

#include "app/grid.h"
#include "app/mesh.h"
#include "app/names.h"
#include "app/stage_status.h"

namespace app {

// How the model is read, for tests: the runtime's read-ahead settings
// (recio::ReadAheadSettings, read_statements.h) in the model's terms. Both ways give
// the same values and the same outcome: one statement per cell, or in addition the
// second half of a disk file of at least `minimumBytes` converted on a second processor
// meanwhile. The program always reads with the defaults.
struct ModelReading {
  bool twoHalves = true;
  std::uint64_t minimumBytes = 1 << 20;
  // The statements wait for the worker to count the first half's lines, so that it
  // takes part however fast they would have finished a small file alone.
  bool awaitWorker = false;
  // The first cell before which the statements ask for the worker's count, as they
  // would on a machine where the count comes late; past the first half's lines, they
  // have left the split behind.
  std::uint64_t firstMeeting = 0;
};

// Reads one value per cell into the grid, in file order j, i, k. Returns only on success.
void readModel(const NameField& modelName, const Mesh& mesh, ModelGrid& grid);
StageStatus loadModel(const NameField& modelName, const Mesh& mesh, ModelGrid& grid,
                      const ModelReading& reading = ModelReading{});

}  // namespace app

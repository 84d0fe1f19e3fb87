// The model stage: one value per cell from the model file into the grid.
#pragma once

#include <cstdint>

#include "app/grid.h"
#include "app/names.h"
#include "app/stage_status.h"

namespace app {

// Reads one value per cell into the grid, in file order j, i, k. Returns only on success.
void readModel(const FileName& modelName, ModelGrid& grid);
// The same, returning how it ended instead of ending a failed run.
StageStatus loadModel(const FileName& modelName, ModelGrid& grid);

}  // namespace app

// The table stage: the point table written from the mesh and the grid.
#pragma once

#include "app/grid.h"
#include "app/mesh.h"
#include "app/names.h"

namespace app {

// Writes the point table: one record per cell, bottom layer first.
void writeTable(const FileName& tableName, const Mesh& mesh, const ModelGrid& grid);

}  // namespace app

// The tensor grid as read from the mesh file, with node and centre coordinates, and the
// stage that reads it.
#pragma once

#include <cstdint>

#include "app/names.h"
#include "app/stage_status.h"

namespace app {

struct Mesh {
  std::int32_t nx = 0;
  std::int32_t ny = 0;
  std::int32_t nz = 0;
  double x0 = 0.0;
  double y0 = 0.0;
  double z0 = 0.0;  // elevation of the top
  // Cell widths in file order (dz counting downward), max(n, 0) elements each.
  double* dx = nullptr;
  double* dy = nullptr;
  double* dz = nullptr;
  // Nodes: at least one element each, n + 1 for a count of 0 or more. zn holds depths.
  double* xn = nullptr;
  double* yn = nullptr;
  double* zn = nullptr;
  // Cell centres; zc holds depths (negated elevations).
  double* xc = nullptr;
  double* yc = nullptr;
  double* zc = nullptr;
};

// Node running sums and centres, in the order that fixes their rounding.
void computeNodesAndCentres(Mesh& mesh);

// Reads the mesh file and computes node and centre coordinates. Returns only on
// success; a missing or unreadable file ends the run with its message.
void readMesh(const FileName& meshName, Mesh& mesh);
// The same without the message and the stop: unit 1 is disconnected again whatever
// the outcome. An array size over 32 bits or memory that cannot be had still ends the
// run with its fatal report.
StageStatus loadMesh(const FileName& meshName, Mesh& mesh);

}  // namespace app

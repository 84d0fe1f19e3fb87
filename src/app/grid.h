// The model values, one double per cell, x index fastest, then y, then z.
#pragma once

#include <cstddef>
#include <cstdint>

namespace app {

struct ModelGrid {
  std::size_t nx = 0;
  std::size_t ny = 0;
  std::size_t nz = 0;
  double* values = nullptr;

  // Element (i, j, k), each index from 1.
  std::size_t indexOf(std::size_t i, std::size_t j, std::size_t k) const { return ((k - 1) * ny + (j - 1)) * nx + (i - 1); }
};

// Allocates `count` doubles, zeroed, for an array that lives to the end of the run.
// A byte size over 4294967295 ends the run with report 179; memory that cannot be
// had, with report 41.
double* allocateArray(std::int64_t count);

// The grid for the mesh counts, each clamped at 0.
ModelGrid allocateGrid(std::int32_t nx, std::int32_t ny, std::int32_t nz);

}  // namespace app

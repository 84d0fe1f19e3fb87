// The model values, one double per cell, x index fastest, then y, then z.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace app {

struct ModelGrid {
  std::size_t nx = 0;
  std::size_t ny = 0;
  std::size_t nz = 0;
  double* values = nullptr;

  // Element (i, j, k), each index from 1.
  std::size_t indexOf(std::size_t i, std::size_t j, std::size_t k) const {
    return ((k - 1) * ny + (j - 1)) * nx + (i - 1);
  }
  std::uint64_t cellCount() const { return static_cast<std::uint64_t>(nx) * ny * nz; }
};

// The cells in the model file's order (j, i, k with k fastest), from a given one on:
// cell c lies in layer c mod nz of column c div nz, the columns counted (i, j) with i
// fastest, as within a layer.
class FileOrderCells {
 public:
  FileOrderCells(const ModelGrid& grid, std::uint64_t first)
      : layer_(grid.nx * grid.ny),
        nz_(grid.nz),
        k_(static_cast<std::size_t>(first % grid.nz)),
        column_(grid.values + static_cast<std::size_t>(first / grid.nz)),
        cell_(column_ + k_ * layer_) {}

  double* cell() const { return cell_; }
  // The addresses of this cell and the `count - 1` after it, into `targets`, moving past
  // them. A column at a time: within a column each cell lies a layer past the one before,
  // so that a target costs a store and an addition.
  void take(std::size_t count, double** targets) {
    while (count != 0) {
      const std::size_t inColumn = std::min(nz_ - k_, count);
      double* cell = cell_;
      // Unrolled, the loop's own count and branch are shared by four targets.
#pragma GCC unroll 4
      for (double** const columnEnd = targets + inColumn; targets != columnEnd; ++targets, cell += layer_) {
        *targets = cell;
      }
      count -= inColumn;
      k_ += inColumn;
      if (k_ == nz_) {
        k_ = 0;
        cell_ = ++column_;
      } else {
        cell_ = cell;
      }
    }
  }
  void next() {
    if (++k_ == nz_) {
      k_ = 0;
      cell_ = ++column_;
    } else {
      cell_ += layer_;
    }
  }

 private:
  std::size_t layer_;
  std::size_t nz_;
  std::size_t k_;
  double* column_;
  double* cell_;
};

// The cells along an axis of a mesh count: a count below 1 gives none.
inline std::size_t clampedCount(std::int32_t count) { return count > 0 ? static_cast<std::size_t>(count) : 0; }

// Allocates `count` doubles, zeroed, for an array that lives to the end of the run.
// A byte size over 4294967295 ends the run with report 179; memory that cannot be
// had, with report 41.
double* allocateArray(std::size_t count);

// The grid for the mesh counts, each clamped at 0.
ModelGrid allocateGrid(std::int32_t nx, std::int32_t ny, std::int32_t nz);

}  // namespace app

// Writing the point table: one record per cell, bottom layer first.
#include "app/table.h"

#include <algorithm>
#include <cstdint>

#include "app/connections.h"
#include "app/formats.h"
#include "recio/format/write_statements.h"
#include "recio/units/unit_table.h"

namespace app {
namespace {

// The four values of each record: the cell centre's x, y and elevation, and the
// model value. Records run x fastest, then y, then the layers from the bottom up.
static_assert(kPointTableValuesPerRecord == 4, "a record is x, y, elevation and value");
class TableValues final : public recio::StatementValues {
 public:
  TableValues(const Mesh& mesh, const ModelGrid& grid) : mesh_(mesh), grid_(grid) {}

  // x recurs once per row; y and elevation equal the record before's within a row,
  // which every run compares anyway.
  std::size_t repeatPeriod(std::size_t position) const override { return position == 0 ? grid_.nx : 0; }

  void fill(std::uint64_t first, std::size_t count, double* values) const override {
    const std::uint64_t rowsBefore = first / grid_.nx;
    std::size_t i = static_cast<std::size_t>(first % grid_.nx) + 1;
    std::size_t j = static_cast<std::size_t>(rowsBefore % grid_.ny) + 1;
    std::size_t k = grid_.nz - static_cast<std::size_t>(rowsBefore / grid_.ny);
    while (count > 0) {
      // zc holds depths; the table gives elevations (a sign flip, so 0 becomes -0.0,
      // which prints as zero).
      const double elevation = -mesh_.zc[k - 1];
      const double y = mesh_.yc[j - 1];
      const double* row = grid_.values + grid_.indexOf(1, j, k);
      const std::size_t rowEnd = std::min(grid_.nx + 1, i + count);
      count -= rowEnd - i;
      for (; i < rowEnd; ++i, values += kPointTableValuesPerRecord) {
        values[0] = mesh_.xc[i - 1];
        values[1] = y;
        values[2] = elevation;
        values[3] = row[i - 1];
      }
      i = 1;
      if (++j > grid_.ny) {
        j = 1;
        --k;
      }
    }
  }

 private:
  const Mesh& mesh_;
  const ModelGrid& grid_;
};

}  // namespace

void writeTable(const FileName& tableName, const Mesh& mesh, const ModelGrid& grid) {
  openForWriting(tableName);
  // The grid's counts are the mesh's, each clamped at 0: no cells, no records.
  recio::writeStatements(kFileUnit, kPointTableFormat, grid.cellCount(), kPointTableValuesPerRecord,
                         TableValues(mesh, grid));
  recio::closeUnit(kFileUnit, false);
}

}  // namespace app

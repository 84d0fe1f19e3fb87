// Writing the point table: one record per cell, bottom layer first.
#include <cstdint>

#include "app/connections.h"
#include "app/formats.h"
#include "app/stages.h"
#include "recio/format.h"
#include "recio/transfer.h"
#include "recio/unit_table.h"

namespace app {

void writeTable(const NameField& tableName, const Mesh& mesh, const ModelGrid& grid) {
  openForWriting(tableName);
  recio::FormattedWriter writer;
  for (std::int32_t k = mesh.nz; k >= 1; --k) {
    // zc holds depths; the table gives elevations (a sign flip, so 0 becomes -0.0,
    // which prints as zero).
    const double elevation = -mesh.zc[k - 1];
    for (std::int32_t j = 1; j <= mesh.ny; ++j) {
      const double* row = grid.values + grid.indexOf(1, static_cast<std::size_t>(j), static_cast<std::size_t>(k));
      for (std::int32_t i = 1; i <= mesh.nx; ++i) {
        writer.begin(kFileUnit, kPointTableFormat);
        writer.transfer(recio::realItem(mesh.xc[i - 1], recio::kFollowMore));
        writer.transfer(recio::realItem(mesh.yc[j - 1], recio::kFollowMore));
        writer.transfer(recio::realItem(elevation, recio::kFollowMore));
        writer.transfer(recio::realItem(row[i - 1], recio::kFollowLast));
      }
    }
  }
  recio::closeUnit(kFileUnit, false);
}

}  // namespace app

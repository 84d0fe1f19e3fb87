// Reading the mesh file and computing node and centre coordinates.
#include "app/mesh.h"

#include <cstdint>

#include "app/connections.h"
#include "app/formats.h"
#include "app/grid.h"

#include "recio/processor/flush_to_zero.h"
#include "recio/reader/reader.h"
#include "recio/transfer.h"
#include "recio/units/unit_table.h"

namespace app {
namespace {

// One read statement of three scalars of one type.
recio::IoOutcome readThree(recio::FreeFormatReader& reader, recio::TypeCode type, void* first, void* second,
                           void* third) {
  const recio::AddressBlock blocks[] = {{first}, {second}, {third}};
  recio::IoOutcome outcome =
      reader.beginStatement(kFileUnit, kReadOptions, recio::scalarItem(type, blocks[0], recio::kFollowMore));
  if (outcome == 0) outcome = reader.transferItem(recio::scalarItem(type, blocks[1], recio::kFollowMore));
  if (outcome == 0) outcome = reader.transferItem(recio::scalarItem(type, blocks[2], recio::kFollowLast));
  return outcome;
}

// One read statement of a whole width array.
recio::IoOutcome readWidths(recio::FreeFormatReader& reader, double* widths, std::int32_t count) {
  const recio::LengthAddressBlock block = recio::realArrayBlock(widths, count);
  return reader.beginStatement(kFileUnit, kReadOptions,
                               recio::arrayItem(recio::kTypeReal64, block, recio::kFollowLast));
}

// Node arrays keep at least one element, so that the first node always has a place,
// even for a count below 0.
std::size_t nodeCount(std::int32_t count) { return clampedCount(count) + 1; }

}  // namespace

void readMesh(const FileName& meshName, Mesh& mesh) {
  // The end of the file and every read error give the same message.
  static constexpr StageMessages kMessages{" Error: Mesh file not found: ", kMeshReadFailureFormat,
                                           kMeshReadFailureFormat};
  stopUnlessOk(loadMesh(meshName, mesh), kMessages, meshName);
}

StageStatus loadMesh(const FileName& meshName, Mesh& mesh) {
  if (openForReading(meshName) > 0) return StageStatus::NotFound;

  recio::FreeFormatReader reader;
  recio::IoOutcome outcome = readThree(reader, recio::kTypeInteger32, &mesh.nx, &mesh.ny, &mesh.nz);
  if (outcome == 0) {
    mesh.dx = allocateArray(clampedCount(mesh.nx));
    mesh.dy = allocateArray(clampedCount(mesh.ny));
    mesh.dz = allocateArray(clampedCount(mesh.nz));
    mesh.xn = allocateArray(nodeCount(mesh.nx));
    mesh.yn = allocateArray(nodeCount(mesh.ny));
    mesh.zn = allocateArray(nodeCount(mesh.nz));
    outcome = readThree(reader, recio::kTypeReal64, &mesh.x0, &mesh.y0, &mesh.z0);
  }
  if (outcome == 0) outcome = readWidths(reader, mesh.dx, mesh.nx);
  if (outcome == 0) outcome = readWidths(reader, mesh.dy, mesh.ny);
  if (outcome == 0) outcome = readWidths(reader, mesh.dz, mesh.nz);
  recio::closeUnit(kFileUnit, false);
  if (outcome != 0) return StageStatus::ReadError;

  mesh.xc = allocateArray(clampedCount(mesh.nx));
  mesh.yc = allocateArray(clampedCount(mesh.ny));
  mesh.zc = allocateArray(clampedCount(mesh.nz));
  computeNodesAndCentres(mesh);
  return StageStatus::Ok;
}

void computeNodesAndCentres(Mesh& mesh) {
  const std::size_t nx = clampedCount(mesh.nx);
  const std::size_t ny = clampedCount(mesh.ny);
  const std::size_t nz = clampedCount(mesh.nz);

  // Running sums in index order: the order of the additions fixes the rounding. Every
  // operation flushes a result too small for a normal number to zero, by rule, so that
  // every processor gives the same nodes and centres.
  using recio::flushedDifference;
  using recio::flushedProduct;
  using recio::flushedSum;
  mesh.xn[0] = mesh.x0;
  for (std::size_t i = 0; i < nx; ++i) mesh.xn[i + 1] = flushedSum(mesh.xn[i], mesh.dx[i]);
  mesh.yn[0] = mesh.y0;
  for (std::size_t j = 0; j < ny; ++j) mesh.yn[j + 1] = flushedSum(mesh.yn[j], mesh.dy[j]);
  // Elevations fall with k; they are then kept as depths (a sign flip, exact).
  mesh.zn[0] = mesh.z0;
  for (std::size_t k = 0; k < nz; ++k) mesh.zn[k + 1] = flushedDifference(mesh.zn[k], mesh.dz[k]);
  for (std::size_t k = 0; k <= nz; ++k) mesh.zn[k] = -mesh.zn[k];

  auto centre = [](double first, double second) { return flushedProduct(0.5, flushedSum(first, second)); };
  for (std::size_t i = 0; i < nx; ++i) mesh.xc[i] = centre(mesh.xn[i], mesh.xn[i + 1]);
  for (std::size_t j = 0; j < ny; ++j) mesh.yc[j] = centre(mesh.yn[j], mesh.yn[j + 1]);
  for (std::size_t k = 0; k < nz; ++k) mesh.zc[k] = centre(mesh.zn[k], mesh.zn[k + 1]);
}

}  // namespace app

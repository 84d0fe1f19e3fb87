// The whole conversion on a small arbitrary mesh and model: the mesh and model
// stages, then the table written to a file. The input holds the mesh, a NUL byte, and
// the model. Grids beyond a few thousand cells are skipped to keep each run short.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <string>

#include "app/grid.h"
#include "app/mesh.h"
#include "app/model.h"
#include "app/names.h"
#include "app/table.h"
#include "memory_file.h"
#include "recio/platform/platform.h"
#include "recio/reader/reader.h"
#include "recio/units/unit_table.h"

namespace {

constexpr std::int64_t kLargestGrid = 4096;

// The counts of the mesh's first statement, read the way the mesh reader reads them,
// so that inputs whose arrays would be huge are left out before anything is allocated.
bool smallCounts(const std::string& meshPath) {
  if (fuzzing::openForReading(meshPath) != 0) return false;
  std::int32_t counts[3] = {};
  recio::AddressBlock blocks[3] = {{&counts[0]}, {&counts[1]}, {&counts[2]}};
  auto item = [&](int index, bool isLast) {
    return recio::scalarItem(recio::kTypeInteger32, blocks[index], isLast ? recio::kFollowLast : recio::kFollowMore);
  };
  recio::FreeFormatReader reader;
  const std::uint32_t options = recio::kHandlesErrors | recio::kHandlesEndOfFile;
  recio::IoOutcome outcome = reader.beginStatement(1, options, item(0, false));
  if (outcome == 0) outcome = reader.transferItem(item(1, false));
  if (outcome == 0) outcome = reader.transferItem(item(2, true));
  recio::closeUnit(1, true);
  if (outcome != 0) return true;  // the mesh stage reports this itself
  std::int64_t cells = 1;
  for (std::int32_t count : counts) {
    if (count > kLargestGrid) return false;
    cells *= count > 0 ? count : 0;
  }
  return cells <= kLargestGrid;
}

}  // namespace

// The program's start-up sets flush-to-zero before any conversion; so does the fuzzer's.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  recio::platform::enableFlushToZero();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto* separator = static_cast<const std::uint8_t*>(std::memchr(data, 0, size));
  const std::size_t meshSize = separator != nullptr ? static_cast<std::size_t>(separator - data) : size;
  const std::size_t modelOffset = separator != nullptr ? meshSize + 1 : size;
  const std::string meshPath = fuzzing::writeScratchFile("mesh", data, meshSize);
  const std::string modelPath = fuzzing::writeScratchFile("model", data + modelOffset, size - modelOffset);
  const std::string tablePath = fuzzing::scratchDirectory() + "/table";
  if (!smallCounts(meshPath)) return 0;

  app::Mesh mesh;
  app::ModelGrid grid;
  // The arrays live to the end of a run; here each input is a run of its own.
  auto release = [&] {
    for (double* array :
         {mesh.dx, mesh.dy, mesh.dz, mesh.xn, mesh.yn, mesh.zn, mesh.xc, mesh.yc, mesh.zc, grid.values}) {
      std::free(array);
    }
    return 0;
  };
  if (app::loadMesh(app::FileName::fromArgument(meshPath), mesh) != app::StageStatus::Ok) return release();
  grid = app::allocateGrid(mesh.nx, mesh.ny, mesh.nz);
  if (app::loadModel(app::FileName::fromArgument(modelPath), grid) != app::StageStatus::Ok) return release();
  app::writeTable(app::FileName::fromArgument(tablePath), mesh, grid);

  // Every cell has its record of 64 characters and CR LF.
  std::ifstream table(tablePath, std::ios::binary);
  const std::string contents((std::istreambuf_iterator<char>(table)), std::istreambuf_iterator<char>());
  const std::size_t cells = grid.nx * grid.ny * grid.nz;
  if (contents.size() != cells * 66) std::abort();
  for (std::size_t record = 0; record < cells; ++record) {
    if (contents.compare(record * 66 + 64, 2, "\r\n") != 0) std::abort();
  }
  return release();
}

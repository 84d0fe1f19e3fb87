// The program's main routine: the argument check, then mesh, grid, model and table, and
// the normal stop.
#include "app/driver.h"

#include "app/connections.h"
#include "app/grid.h"
#include "app/mesh.h"
#include "app/model.h"
#include "app/names.h"
#include "app/table.h"
#include "recio/free_output/free_format_writer.h"
#include "recio/stop/stop.h"
#include "recio/transfer.h"

namespace app {
namespace {

// The usage line's only item; it begins with a blank of its own, and the double
// blanks are part of the text.
constexpr std::string_view kUsage = " Usage: cellcentrify  mesh model  xyzfile";

}  // namespace

void runDriver(const std::vector<std::string>& arguments) {
  if (arguments.size() != 4) {
    const recio::LengthAddressBlock text = recio::characterBlock(kUsage);
    recio::FreeFormatWriter writer;
    writer.begin(recio::kConsoleUnit);
    writer.transfer(recio::characterItem(text, recio::kFollowLast));
    recio::runStop(kFailureStatus);
  }
  const FileName meshName = FileName::fromArgument(arguments[1]);
  const FileName modelName = FileName::fromArgument(arguments[2]);
  const FileName tableName = FileName::fromArgument(arguments[3]);

  Mesh mesh;
  readMesh(meshName, mesh);
  ModelGrid grid = allocateGrid(mesh.nx, mesh.ny, mesh.nz);
  readModel(modelName, grid);
  writeTable(tableName, mesh, grid);
  recio::runStop(0);
}

}  // namespace app

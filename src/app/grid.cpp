// The arrays of the program: zeroed, and never larger than 32 bits of bytes, which a
// run that asks for more is told with its fatal report.
#include "app/grid.h"

#include <cstdlib>

#include "recio/stop/messages.h"
#include "recio/stop/stop.h"

namespace app {
namespace {

// Array sizes are 32-bit byte counts; the product is formed in 64 bits so that an
// overflow is seen instead of wrapping into a small allocation.
constexpr std::uint64_t kLargestArrayBytes = 0xffffffffu;

double* allocateBytes(std::uint64_t count, bool overflowed) {
  if (overflowed || count > kLargestArrayBytes / sizeof(double)) recio::fatalReport(recio::kMsgArraySize);
  // Zeroed, so that cells a null value leaves unset read as 0.0, never as leftovers.
  void* memory = std::calloc(count == 0 ? 1 : static_cast<std::size_t>(count), sizeof(double));
  if (memory == nullptr) recio::fatalReport(recio::kMsgNoMemory);
  return static_cast<double*>(memory);
}

}  // namespace

double* allocateArray(std::size_t count) { return allocateBytes(count, false); }

ModelGrid allocateGrid(std::int32_t nx, std::int32_t ny, std::int32_t nz) {
  ModelGrid grid;
  grid.nx = clampedCount(nx);
  grid.ny = clampedCount(ny);
  grid.nz = clampedCount(nz);
  // Each extent is below 2^31, so nx * ny fits 62 bits; the last factor is checked.
  const std::uint64_t plane = static_cast<std::uint64_t>(grid.nx) * grid.ny;
  const bool overflowed = grid.nz != 0 && plane > kLargestArrayBytes / grid.nz;
  grid.values = allocateBytes(overflowed ? 0 : plane * grid.nz, overflowed);
  return grid;
}

}  // namespace app

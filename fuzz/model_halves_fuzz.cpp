// The model read in two halves against the model read one statement per cell, on
// arbitrary model bytes: the same outcome and the same bits in every cell.
//
// Input: three bytes of cell counts (each taken modulo 16, plus 1), one byte whose
// lowest bit gives the reads a small input buffer (long lines then fail with 98), then
// the model file.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "app/grid.h"
#include "app/model.h"
#include "app/names.h"
#include "memory_file.h"
#include "recio/platform/platform.h"
#include "recio/reader/read_ahead_policy.h"
#include "recio/units/input_buffer_limits.h"
#include "recio/units/unit.h"

namespace {

constexpr std::size_t kHeaderBytes = 4;

struct Load {
  app::StageStatus status;
  std::vector<double> values;
};

Load load(const std::string& path, const std::int32_t counts[3], bool twoHalves) {
  app::ModelGrid grid = app::allocateGrid(counts[0], counts[1], counts[2]);
  // Every file takes part: the statements wait for the worker however small it is.
  recio::overrideReadAheadPolicyForTests({.allowed = twoHalves, .minimumBytes = 0, .awaitLineCount = true});
  Load result{app::loadModel(app::FileName::fromArgument(path), grid), {}};
  recio::overrideReadAheadPolicyForTests({});
  result.values.assign(grid.values, grid.values + grid.nx * grid.ny * grid.nz);
  std::free(grid.values);
  return result;
}

}  // namespace

// The program's start-up sets flush-to-zero before any conversion; so does the fuzzer's.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  recio::platform::enableFlushToZero();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < kHeaderBytes) return 0;
  const std::int32_t counts[3] = {1 + data[0] % 16, 1 + data[1] % 16, 1 + data[2] % 16};
  const bool smallBuffer = (data[3] & 1) != 0;
  const std::string path = fuzzing::writeScratchFile("model", data + kHeaderBytes, size - kHeaderBytes);
  if (smallBuffer) recio::overrideInputBufferLimitsForTests({.initialCapacity = 24, .maximumCapacity = 48});
  const Load plain = load(path, counts, false);
  const Load halves = load(path, counts, true);
  if (smallBuffer) recio::overrideInputBufferLimitsForTests({});
  if (plain.status != halves.status) std::abort();
  if (std::memcmp(plain.values.data(), halves.values.data(), plain.values.size() * sizeof(double)) != 0) std::abort();
  return 0;
}

// The free-format reader on arbitrary file contents, through each item list the
// program uses. The first input byte picks the list; the rest is the file. Every
// statement must end with 0, -1, 59 or 64.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "memory_file.h"
#include "recio/reader/reader.h"
#include "recio/units/input_buffer_limits.h"
#include "recio/units/unit.h"
#include "recio/units/unit_table.h"

namespace {

constexpr std::uint32_t kOptions = recio::kHandlesErrors | recio::kHandlesEndOfFile;

// Three scalars of one type, read as the mesh reader reads its counts and its corner.
template <typename Value>
recio::IoOutcome readThree(recio::FreeFormatReader& reader, recio::TypeCode type) {
  Value values[3] = {};
  recio::AddressBlock blocks[3] = {{&values[0]}, {&values[1]}, {&values[2]}};
  recio::IoOutcome outcome = reader.beginStatement(1, kOptions, recio::scalarItem(type, blocks[0], recio::kFollowMore));
  if (outcome == 0) outcome = reader.transferItem(recio::scalarItem(type, blocks[1], recio::kFollowMore));
  if (outcome == 0) outcome = reader.transferItem(recio::scalarItem(type, blocks[2], recio::kFollowLast));
  return outcome;
}

// One double array of `count` elements, in a buffer of exactly that size.
recio::IoOutcome readArray(recio::FreeFormatReader& reader, std::int64_t count) {
  double* values = static_cast<double*>(std::malloc(static_cast<std::size_t>(count) * sizeof(double)));
  const recio::LengthAddressBlock block = recio::realArrayBlock(values, count);
  const recio::IoOutcome outcome =
      reader.beginStatement(1, kOptions, recio::arrayItem(recio::kTypeReal64, block, recio::kFollowLast));
  std::free(values);
  return outcome;
}

bool acceptable(recio::IoOutcome outcome) { return outcome == 0 || outcome == -1 || outcome == 59 || outcome == 64; }

// Runs statements of one item list until one does not end with 0.
recio::IoOutcome runStatements(recio::FreeFormatReader& reader, int list) {
  for (int statement = 0; statement < 64; ++statement) {
    recio::IoOutcome outcome = 0;
    switch (list) {
      case 0:  // three integers
        outcome = readThree<std::int32_t>(reader, recio::kTypeInteger32);
        break;
      case 1:  // three doubles
        outcome = readThree<double>(reader, recio::kTypeReal64);
        break;
      case 2:  // a double array of 7
        outcome = readArray(reader, 7);
        break;
      default:  // one element per statement, as the model is read
        outcome = readArray(reader, 1);
        break;
    }
    if (outcome != 0) return outcome;
  }
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const int list = data[0] % 4;
  const std::string path = fuzzing::writeScratchFile("input", data + 1, size - 1);
  // A tiny first buffer, so that doubling and lines across reads are exercised.
  recio::overrideInputBufferLimitsForTests({.initialCapacity = 16});

  if (fuzzing::openForReading(path) != 0) std::abort();
  recio::FreeFormatReader reader;
  if (!acceptable(runStatements(reader, list))) std::abort();
  recio::closeUnit(1, true);
  return 0;
}

// The free-format reader on arbitrary file contents, through each item list the
// program uses. The first input byte picks the list (its lowest two bits) and whether
// the input buffer starts tiny (the next bit); the rest is the file. Every statement
// must end with 0, -1, 59 or 64. The model's list is also read as a run of read
// statements (read_statements.h, with its quick lines), which must give the outcome and
// the bits of the statements one by one.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "memory_file.h"
#include "recio/reader/read_statements.h"
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

// Where a run of read statements stores: statement n into values[n].
class ArrayTargets final : public recio::StatementTargets {
 public:
  explicit ArrayTargets(double* values) : values_(values) {}
  void fill(std::uint64_t first, std::size_t count, double** targets) const override {
    for (std::size_t index = 0; index < count; ++index) targets[index] = values_ + first + index;
  }

 private:
  double* values_;
};

bool acceptable(recio::IoOutcome outcome) { return outcome == 0 || outcome == -1 || outcome == 59 || outcome == 64; }

constexpr int kStatements = 64;

// Runs statements of one item list until one does not end with 0; the model's list
// keeps its values.
recio::IoOutcome runStatements(recio::FreeFormatReader& reader, int list, double* modelValues) {
  for (int statement = 0; statement < kStatements; ++statement) {
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
      default: {  // one element per statement, as the model is read
        const recio::LengthAddressBlock block = recio::realArrayBlock(modelValues + statement, 1);
        outcome = reader.beginStatement(1, kOptions, recio::arrayItem(recio::kTypeReal64, block, recio::kFollowLast));
        break;
      }
    }
    if (outcome != 0) return outcome;
  }
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const int list = data[0] % 4;
  const bool tinyBuffer = (data[0] & 4) != 0;
  const std::string path = fuzzing::writeScratchFile("input", data + 1, size - 1);
  // A tiny first buffer, so that doubling and lines across reads are exercised; the
  // default one holds the many lines that a run takes at once.
  if (tinyBuffer) recio::overrideInputBufferLimitsForTests({.initialCapacity = 16});

  if (fuzzing::openForReading(path) != 0) std::abort();
  double byStatements[kStatements];
  std::memset(byStatements, 0xA5, sizeof byStatements);
  recio::FreeFormatReader reader;
  const recio::IoOutcome outcome = runStatements(reader, list, byStatements);
  if (!acceptable(outcome)) std::abort();
  recio::closeUnit(1, true);

  if (list == 3) {
    if (fuzzing::openForReading(path) != 0) std::abort();
    double byRun[kStatements];
    std::memset(byRun, 0xA5, sizeof byRun);
    const recio::IoOutcome runOutcome = recio::readStatements(1, kOptions, kStatements, ArrayTargets(byRun));
    recio::closeUnit(1, true);
    if (runOutcome != outcome || std::memcmp(byRun, byStatements, sizeof byRun) != 0) std::abort();
  }
  recio::overrideInputBufferLimitsForTests({});
  return 0;
}

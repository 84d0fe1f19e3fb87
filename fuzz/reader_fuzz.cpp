// The free-format reader on arbitrary file contents, through each item list the
// program uses. The first input byte picks the list; the rest is the file. Every
// statement must end with 0, -1, 59 or 64.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "memory_file.h"
#include "recio/reader.h"
#include "recio/units.h"

namespace {

constexpr std::uint32_t kOptions = recio::kHandlesErrors | recio::kHandlesEndOfFile;

recio::TransferItem item(recio::TypeCode type, recio::FormCode form, bool isLast, const void* argument) {
  return {{type, form, isLast ? recio::kFollowLast : recio::kFollowMore, 0}, argument};
}

bool acceptable(recio::IoOutcome outcome) { return outcome == 0 || outcome == -1 || outcome == 59 || outcome == 64; }

// Runs statements of one item list until one does not end with 0.
recio::IoOutcome runStatements(recio::FreeFormatReader& reader, int list) {
  for (int statement = 0; statement < 64; ++statement) {
    recio::IoOutcome outcome = 0;
    switch (list) {
      case 0: {  // three integers
        std::int32_t values[3] = {};
        recio::AddressBlock blocks[3] = {{&values[0]}, {&values[1]}, {&values[2]}};
        outcome = reader.beginStatement(1, kOptions, item(recio::kTypeInteger32, recio::kFormScalarAddress, false, &blocks[0]));
        if (outcome == 0) outcome = reader.transferItem(item(recio::kTypeInteger32, recio::kFormScalarAddress, false, &blocks[1]));
        if (outcome == 0) outcome = reader.transferItem(item(recio::kTypeInteger32, recio::kFormScalarAddress, true, &blocks[2]));
        break;
      }
      case 1: {  // three doubles
        double values[3] = {};
        recio::AddressBlock blocks[3] = {{&values[0]}, {&values[1]}, {&values[2]}};
        outcome = reader.beginStatement(1, kOptions, item(recio::kTypeReal64, recio::kFormScalarAddress, false, &blocks[0]));
        if (outcome == 0) outcome = reader.transferItem(item(recio::kTypeReal64, recio::kFormScalarAddress, false, &blocks[1]));
        if (outcome == 0) outcome = reader.transferItem(item(recio::kTypeReal64, recio::kFormScalarAddress, true, &blocks[2]));
        break;
      }
      case 2: {  // a double array of 7, in a buffer of exactly that size
        double* values = static_cast<double*>(std::malloc(7 * sizeof(double)));
        recio::LengthAddressBlock block{7 * 8, values};
        outcome = reader.beginStatement(1, kOptions, item(recio::kTypeReal64, recio::kFormArray, true, &block));
        std::free(values);
        break;
      }
      default: {  // one element per statement, as the model is read
        double* value = static_cast<double*>(std::malloc(sizeof(double)));
        recio::LengthAddressBlock block{8, value};
        outcome = reader.beginStatement(1, kOptions, item(recio::kTypeReal64, recio::kFormArray, true, &block));
        std::free(value);
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
  const std::string path = fuzzing::writeScratchFile("input", data + 1, size - 1);
  // A tiny first buffer, so that doubling and lines across reads are exercised.
  recio::setInputBufferLimits(16, 0);

  if (fuzzing::openForReading(path) != 0) std::abort();
  recio::FreeFormatReader reader;
  if (!acceptable(runStatements(reader, list))) std::abort();
  recio::closeUnit(1, true);
  return 0;
}

// Statements written ahead on worker threads against the same statements one by one:
// a format of E fields, planned or (with an empty literal) interpreted, and a run of
// statements long enough for the workers, their values drawn from the input so that
// columns repeat. Both write a file of their own; the files must be equal.
//
// Input: the format (format_fuzzing.h: field count, scale factor, then per field repeat,
// width and d bytes); two bytes of statement count; a byte that picks the interpreted
// format, one value more or fewer per statement, the values' stride and an unbuffered
// unit; then the values, 8 bytes each, used in turn.
#include <stdlib.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "format_fuzzing.h"
#include "recio/format/formatted_writer.h"
#include "recio/format/write_statements.h"

namespace {

// Statement n's value at position p is pool[(n * stride + p) % pool size]: a stride of
// 0 repeats every statement, others cycle through the pool.
class PoolValues final : public recio::StatementValues {
 public:
  PoolValues(std::vector<double> pool, std::size_t perStatement, std::size_t stride)
      : pool_(std::move(pool)), perStatement_(perStatement), stride_(stride) {}
  void fill(std::uint64_t first, std::size_t count, double* values) const override {
    for (std::uint64_t statement = first; statement < first + count; ++statement) {
      for (std::size_t position = 0; position < perStatement_; ++position) {
        *values++ = pool_[(statement * stride_ + position) % pool_.size()];
      }
    }
  }

 private:
  std::vector<double> pool_;
  std::size_t perStatement_;
  std::size_t stride_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::size_t at = 0;
  fuzzing::EFieldInput format;
  if (!fuzzing::readEFields(data, size, at, format) || size - at < 3) return 0;
  const std::size_t planFields = format.planFields;
  // Up to about 2.5 runs of the workers' chunk ring, so that slots are reused.
  const std::size_t count = (data[at] | std::size_t{data[at + 1]} << 8) % 20000;
  const std::uint8_t shape = data[at + 2];
  at += 3;
  const bool interpreted = shape % 8 == 7;
  std::size_t perStatement = planFields;
  if (shape / 8 % 4 == 1) perStatement = planFields + 1;
  if (shape / 8 % 4 == 2 && planFields > 1) perStatement = planFields - 1;
  std::vector<double> pool;
  for (; size - at >= 8 && pool.size() < 512; at += 8) {
    double value;
    std::memcpy(&value, data + at, sizeof value);
    pool.push_back(value);
  }
  if (pool.empty()) pool.push_back(0.0);
  const PoolValues values(std::move(pool), perStatement, shape / 32 % 4);
  // Workers only serve a unit with a block buffer; the other kind runs one by one.
  ::setenv("XIOT_BUFFERED", shape < 0x80 ? "true" : "0", 1);  // read at every open

  const std::vector<std::uint32_t> words = format.words(interpreted);
  const recio::FormatProgram program = fuzzing::programOf(words);
  const std::string oneByOne = fuzzing::bytesWrittenBy("one", [&] {
    recio::FormattedWriter writer;
    std::vector<double> statement(perStatement);
    for (std::size_t index = 0; index < count; ++index) {
      values.fill(index, 1, statement.data());
      fuzzing::transferStatement(writer, program, statement.data(), perStatement);
    }
  });
  const std::string ahead =
      fuzzing::bytesWrittenBy("ahead", [&] { recio::writeStatements(1, program, count, perStatement, values); });
  if (ahead != oneByOne) std::abort();
  return 0;
}

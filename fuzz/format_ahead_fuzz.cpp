// Statements written ahead on worker threads against the same statements one by one:
// a format of E fields, planned or (with an empty literal) interpreted, and a run of
// statements long enough for the workers, their values drawn from the input so that
// columns repeat. Both write a file of their own; the files must be equal.
//
// Input: one byte of field count, one of scale factor, then per field repeat, width and
// d bytes; two bytes of statement count; a byte that picks the interpreted format, one
// value more or fewer per statement, the values' stride and an unbuffered unit; then
// the values, 8 bytes each, used in turn.
#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "memory_file.h"
#include "recio/format/formatted_writer.h"
#include "recio/format/write_statements.h"
#include "recio/format/builder.h"
#include "recio/transfer.h"
#include "recio/units/unit_table.h"
#include "support/e_field_format.h"

namespace {

using namespace recio::format;

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

template <class Statements>
std::string writeFile(const std::string& name, Statements statements) {
  const std::string path = fuzzing::scratchDirectory() + "/" + name;
  if (fuzzing::openForWriting(path) != 0) std::abort();
  statements();
  if (recio::closeUnit(1, true) != 0) std::abort();
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  std::size_t at = 0;
  const std::size_t fieldCount = 1 + data[at++] % 6;
  const auto scale = static_cast<std::int32_t>(static_cast<std::int8_t>(data[at++]) % 4);
  if (size - at < fieldCount * 3 + 3) return 0;
  std::vector<LongDescriptor> fields;
  std::size_t planFields = 0;
  for (std::size_t field = 0; field < fieldCount; ++field, at += 3) {
    const std::int32_t repeat = data[at] % 4;
    fields.push_back(editE(repeat, 1 + data[at + 1] % 40, static_cast<std::uint8_t>(data[at + 2] % 20)));
    planFields += repeat == 0 ? 1 : static_cast<std::size_t>(repeat);
  }
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

  const std::vector<std::uint32_t> words = testing_support::eFieldFormat(fields, scale, interpreted);
  const recio::FormatProgram program{reinterpret_cast<const std::uint8_t*>(words.data()), words.size() * 4};
  const std::string oneByOne = writeFile("one", [&] {
    recio::FormattedWriter writer;
    std::vector<double> statement(perStatement);
    for (std::size_t index = 0; index < count; ++index) {
      values.fill(index, 1, statement.data());
      writer.begin(1, program);
      for (std::size_t item = 0; item < perStatement; ++item) {
        writer.transfer(recio::realItem(statement[item], item + 1 == perStatement ? recio::kFollowLast
                                                                                     : recio::kFollowMore));
      }
    }
  });
  const std::string ahead = writeFile("ahead", [&] { recio::writeStatements(1, program, count, perStatement, values); });
  if (ahead != oneByOne) std::abort();
  return 0;
}

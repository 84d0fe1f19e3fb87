// Statements written ahead on worker threads against the same statements one by one:
// a format of E fields, planned or (with an empty literal) interpreted, and a run of
// statements, their values drawn from the input so that columns repeat. Both write a
// file of their own; the files must be equal.
//
// Input: the format (format_fuzzing.h: field count, scale factor, then per field repeat,
// width and d bytes); two bytes of statement count, low byte first, taken modulo 20000
// and cut for fields of many digits (below);
// a byte that picks the interpreted format, one value more or fewer per statement, the
// values' stride and an unbuffered unit; then the values, 8 bytes each, used in turn.
//
// The count is most of what an input costs. The workers edit chunks of 1024 statements
// into a ring of 8 (write_statements.cpp) and start from 4 chunks: a count of 4096
// starts them, one over 8192 reuses ring slots, and 20000 goes about 2.5 times round the
// ring. Such a run takes a hundred times as long as one of a few statements, and a long
// input's children would be long too, since mutations seldom touch the count: the
// fuzzer came down to a few inputs a second. So each mutation (LLVMFuzzerCustomMutator
// below) keeps a count over 63 one time in 4 and otherwise cuts it to its low six bits:
// the formats and values are explored by short runs, which edit a chunk as the long ones
// do, and the workers and the ring's reuse are still run by about 2 inputs in 100.
//
// The fields' digits matter as much. Past 16 significant digits (E36.16 under 3P, say)
// each value is converted exactly with big integers, which under the sanitizers takes
// 10 to 250 microseconds as its exponent grows, and a field wider than the field cache
// keeps (20 characters), or one whose column the cache gives up on, is converted again
// in every statement: 20000 statements of 18 such items ran for 15 to 45 seconds. So an
// input's statement count is also cut to what makes at most kExactEditBudget exact
// conversions (exactItems below), half a second at most for both ways together. Formats
// of such fields are still written, by the cache and without it, planned and
// interpreted, a chunk of them for a statement of one such item; only the workers are
// left to formats of fewer digits, which they edit as the calling thread does.
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <string>
#include <vector>

#include "format_fuzzing.h"
#include "recio/format/formatted_writer.h"
#include "recio/format/write_statements.h"

namespace {

// Statement n's value at position p is pool[(n * stride + p) % pool size]: strides 1 to
// 3 cycle through the pool. A stride of 0 lays the values out as a table's: the odd
// positions hold their value over rows of kRowLength statements (a table's y and
// elevation, taken from row templates), the even ones cycle through the pool once per
// pool size (its x, copied a period back); a pool of one value repeats every statement.
class PoolValues final : public recio::StatementValues {
 public:
  static constexpr std::size_t kRowLength = 37;

  PoolValues(std::vector<double> pool, std::size_t perStatement, std::size_t stride)
      : pool_(std::move(pool)), perStatement_(perStatement), stride_(stride) {}
  // Statement n's values recur at n + size / gcd(stride, size): the hint the table's x gives.
  std::size_t repeatPeriod(std::size_t) const override {
    return stride_ == 0 ? pool_.size() : pool_.size() / std::gcd(stride_, pool_.size());
  }
  void fill(std::uint64_t first, std::size_t count, double* values) const override {
    if (stride_ == 0) {
      for (std::uint64_t statement = first; statement < first + count; ++statement) {
        for (std::size_t position = 0; position < perStatement_; ++position) {
          const std::uint64_t step = position % 2 == 0 ? statement : statement / kRowLength;
          *values++ = pool_[static_cast<std::size_t>((step + position) % pool_.size())];
        }
      }
      return;
    }
    for (std::uint64_t statement = first; statement < first + count; ++statement) {
      // One division per statement rather than per value.
      auto index = static_cast<std::size_t>(statement * stride_ % pool_.size());
      for (std::size_t position = 0; position < perStatement_; ++position) {
        *values++ = pool_[index];
        if (++index == pool_.size()) index = 0;
      }
    }
  }

 private:
  std::vector<double> pool_;
  std::size_t perStatement_;
  std::size_t stride_;
};

// The statement count of the two bytes at `count`: up to about 2.5 times round the ring.
std::size_t statementCount(const std::uint8_t* count) { return (count[0] | std::size_t{count[1]} << 8) % 20000; }

// The significant digits that generateDigits forms without big integers; a field that
// asks for more converts every value it edits exactly.
constexpr std::int32_t kFastDigits = 16;

// The exact conversions one input may ask of each way of writing its statements: a
// chunk of statements of one such item, about as many as 63 statements of 18 items.
constexpr std::size_t kExactEditBudget = 1024;

// The items of a statement of `perStatement` values whose fields take the exact
// conversion. A field under scale factor k > 0 has d + 1 significant digits, else d + k;
// the values past the format's last field are not edited.
std::size_t exactItems(const fuzzing::EFieldInput& format, std::size_t perStatement) {
  std::size_t items = 0;
  std::size_t exact = 0;
  for (const recio::format::LongDescriptor& field : format.fields) {
    const std::int32_t digits = format.scale > 0 ? field.fractionDigits + 1 : field.fractionDigits + format.scale;
    for (std::int32_t repeat = 0; repeat < std::max(field.repeat, 1) && items < perStatement; ++repeat, ++items) {
      exact += digits > kFastDigits ? 1 : 0;
    }
  }
  return exact;
}

// A mutation keeps a count over kShortCount one time in kKeepLong; the others keep the
// count's low bits that kShortCount masks.
constexpr std::size_t kShortCount = 63;
constexpr unsigned kKeepLong = 4;

}  // namespace

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

// One of libFuzzer's own mutations, then a longer count cut to its low six bits, 0 to 63,
// three times in four.
extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size, std::size_t maxSize,
                                               unsigned int seed) {
  size = LLVMFuzzerMutate(data, size, maxSize);
  std::size_t at = 0;
  fuzzing::EFieldInput format;
  if (fuzzing::readEFields(data, size, at, format) && size - at >= 2 && statementCount(data + at) > kShortCount &&
      seed % kKeepLong != 0) {
    data[at] &= kShortCount;
    data[at + 1] = 0;
  }
  return size;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::size_t at = 0;
  fuzzing::EFieldInput format;
  if (!fuzzing::readEFields(data, size, at, format) || size - at < 3) return 0;
  const std::size_t planFields = format.planFields;
  std::size_t count = statementCount(data + at);
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
  if (const std::size_t exact = exactItems(format, perStatement); exact > 0) {
    count = std::min(count, kExactEditBudget / exact);
  }
  // A unit with a block buffer, or one with a write call per record: workers serve both.
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

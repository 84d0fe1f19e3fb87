// Statements whose records are edited ahead on worker threads write what the same
// statements one by one write, byte for byte, and fail where they fail.
#include "recio/format_ahead.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "app/formats.h"
#include "recio/format_builder.h"
#include "recio/unit_table.h"
#include "support/e_field_format.h"
#include "support/unit_access.h"

namespace {

using namespace recio;
using namespace recio::format;

constexpr std::int32_t kTestUnit = 1;

class VectorValues final : public StatementValues {
 public:
  VectorValues(std::vector<double> values, std::size_t valuesPerStatement)
      : values_(std::move(values)), valuesPerStatement_(valuesPerStatement) {}
  void fill(std::uint64_t first, std::size_t count, double* values) const override {
    std::memcpy(values, values_.data() + first * valuesPerStatement_, count * valuesPerStatement_ * sizeof(double));
  }
  const double* statement(std::size_t index) const { return values_.data() + index * valuesPerStatement_; }

 private:
  std::vector<double> values_;
  std::size_t valuesPerStatement_;
};

std::string temporaryPath(const std::string& name) {
  return testing::TempDir() + "format_ahead_test_" + std::to_string(::getpid()) + "_" + name;
}

// Records go through a block buffer, the unit the workers are for, unless `buffered` is false.
void openForWriting(const std::string& path, bool buffered = true) {
  std::remove(path.c_str());
  ::setenv("XIOT_BUFFERED", buffered ? "true" : "0", 1);  // read at every open
  ASSERT_EQ(testing_support::openForWriting(kTestUnit, path), 0) << path;
}

// Closes the unit and returns the file's bytes.
std::string closeAndRead(const std::string& path) {
  EXPECT_EQ(closeUnit(kTestUnit, true), 0);
  std::ifstream in(path, std::ios::binary);
  std::ostringstream contents;
  contents << in.rdbuf();
  std::remove(path.c_str());
  return contents.str();
}

// Columns that repeat as a table's do, columns of any bits, and the special values.
double randomValue(std::mt19937_64& random, std::size_t statement, std::size_t position) {
  switch (random() % 6) {
    case 0:
      return std::bit_cast<double>(random());
    case 1: {
      constexpr double kSpecials[] = {0.0, -0.0, std::numeric_limits<double>::infinity(),
                                      std::numeric_limits<double>::quiet_NaN(), 5e-324, -1.7976931348623157e308};
      return kSpecials[random() % std::size(kSpecials)];
    }
    case 2:
      return static_cast<double>(random() % 1000000) * 1e-3 - 500.0;
    default:
      return 500000.0 + 12.5 * static_cast<double>((statement + position * 7) % 97);
  }
}

TEST(WritingAhead, MatchesTheStatementsOneByOne) {
  std::mt19937_64 random(20261207);
  // Runs too short for workers, at and around chunk boundaries, and a few chunks long.
  constexpr std::size_t kCounts[] = {0, 1, 4095, 4096, 4097, 8191, 9000, 20000};
  for (int trial = 0; trial < 32; ++trial) {
    const std::size_t fieldCount = 1 + random() % 6;
    std::vector<LongDescriptor> fields;
    std::size_t planFields = 0;
    for (std::size_t field = 0; field < fieldCount; ++field) {
      const auto repeat = static_cast<std::int32_t>(random() % 4);  // 0 edits one item, as 1 does
      fields.push_back(editE(repeat, 1 + static_cast<std::int32_t>(random() % 30),
                             static_cast<std::uint8_t>(random() % 18)));
      planFields += repeat == 0 ? 1 : static_cast<std::size_t>(repeat);
    }
    const auto scale = static_cast<std::int32_t>(random() % 7) - 3;
    const bool interpreted = trial % 8 == 7;
    const bool buffered = trial % 8 != 6;
    // Mostly one value per field; now and then one more or one fewer.
    std::size_t perStatement = planFields;
    if (trial % 5 == 4) perStatement = planFields + 1;
    if (trial % 5 == 3 && planFields > 1) perStatement = planFields - 1;
    const std::size_t count = kCounts[trial % std::size(kCounts)];
    std::vector<double> values(count * perStatement);
    for (std::size_t index = 0; index < values.size(); ++index) {
      values[index] = randomValue(random, index / perStatement, index % perStatement);
    }
    const VectorValues source(std::move(values), perStatement);
    const std::vector<std::uint32_t> words = testing_support::eFieldFormat(fields, scale, interpreted);
    const FormatProgram program{reinterpret_cast<const std::uint8_t*>(words.data()), words.size() * 4};
    SCOPED_TRACE("trial " + std::to_string(trial) + ": " + std::to_string(count) + " statements of " +
                 std::to_string(perStatement) + " values");

    const std::string onePath = temporaryPath("one");
    openForWriting(onePath, buffered);
    {
      FormattedWriter writer;
      for (std::size_t statement = 0; statement < count; ++statement) {
        writer.begin(kTestUnit, program);
        for (std::size_t value = 0; value < perStatement; ++value) {
          writer.transfer(realItem(source.statement(statement)[value],
                                   value + 1 == perStatement ? kFollowLast : kFollowMore));
        }
      }
    }
    const std::string oneByOne = closeAndRead(onePath);

    const std::string aheadPath = temporaryPath("ahead");
    openForWriting(aheadPath, buffered);
    writeStatements(kTestUnit, program, count, perStatement, source);
    const std::string ahead = closeAndRead(aheadPath);
    ASSERT_EQ(ahead.size(), oneByOne.size());
    ASSERT_TRUE(ahead == oneByOne) << "first difference at byte "
                                   << std::mismatch(ahead.begin(), ahead.end(), oneByOne.begin()).first - ahead.begin();
  }
}

// A unit that is not connected takes the statements and writes nothing.
TEST(WritingAhead, UnconnectedUnitWritesNothing) {
  const VectorValues source(std::vector<double>(4 * 5000, 1.5), 4);
  writeStatements(kTestUnit, app::kPointTableFormat, 5000, 4, source);
  SUCCEED();
}

// A fixed record length shorter than the record: the first statement fails with 66
// before any record reaches the file, as one by one.
TEST(WritingAheadDeathTest, RecordLongerThanTheFixedLengthEndsTheRun) {
  const std::string path = temporaryPath("recl");
  const VectorValues source(std::vector<double>(4 * 5000, 1.5), 4);
  EXPECT_EXIT(
      {
        openForWriting(path);
        Unit* unit = acquireUnit(kTestUnit);
        testing_support::UnitAccess::setRecordLength(*unit, 63);
        releaseUnit(*unit);
        writeStatements(kTestUnit, app::kPointTableFormat, 5000, 4, source);
      },
      testing::ExitedWithCode(66), "output statement overflows record, unit 1, file .*recl");
  std::ifstream in(path, std::ios::binary);
  EXPECT_EQ(in.peek(), std::ifstream::traits_type::eof());
  std::remove(path.c_str());
}

}  // namespace

// Statements whose records are edited ahead on worker threads write what the same
// statements one by one write, byte for byte, and fail where they fail.
#include "recio/format/write_statements.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <limits>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/formats.h"
#include "recio/format/builder.h"
#include "recio/units/unit_table.h"
#include "support/e_field_format.h"
#include "support/temp_dir.h"
#include "support/test_overrides.h"
#include "support/unit_access.h"

namespace {

using namespace recio;
using namespace recio::format;
using testing_support::closeAndRead;
using testing_support::TempDir;

constexpr std::int32_t kTestUnit = 1;

// The values of a run, from memory. The calling thread edits chunks too whenever one is
// late, and on a busy machine it could edit them all before a worker is scheduled: once
// workers have started for the run, its first chunk waits until a worker has taken
// one, so that a run meant for the workers is sure to test their part. The wait is
// bounded so that workers that never edit fail the test rather than hang it.
class VectorValues final : public StatementValues {
 public:
  VectorValues(std::vector<double> values, std::size_t valuesPerStatement, std::vector<std::size_t> periods = {})
      : values_(std::move(values)), valuesPerStatement_(valuesPerStatement), periods_(std::move(periods)) {}
  std::size_t repeatPeriod(std::size_t position) const override {
    return position < periods_.size() ? periods_[position] : 0;
  }
  void fill(std::uint64_t first, std::size_t count, double* values) const override {
    if (std::this_thread::get_id() != caller_) {
      const std::lock_guard<std::mutex> lock(mutex_);
      workerFilled_ = true;
      filled_.notify_all();
    } else if (fastPathCounts().editingWorkersStarted.load() > workersBefore_) {
      std::unique_lock<std::mutex> lock(mutex_);
      filled_.wait_for(lock, std::chrono::minutes(1), [this] { return workerFilled_; });
    }
    std::memcpy(values, values_.data() + first * valuesPerStatement_, count * valuesPerStatement_ * sizeof(double));
  }

 private:
  std::vector<double> values_;
  std::size_t valuesPerStatement_;
  std::vector<std::size_t> periods_;
  std::thread::id caller_ = std::this_thread::get_id();
  std::uint64_t workersBefore_ = fastPathCounts().editingWorkersStarted.load();
  mutable std::mutex mutex_;
  mutable std::condition_variable filled_;
  mutable bool workerFilled_ = false;
};

// Records go through a block buffer, the unit the workers are for, unless `buffered` is false.
void openForWriting(const std::string& path, bool buffered = true) {
  ::setenv("XIOT_BUFFERED", buffered ? "true" : "0", 1);  // read at every open
  ASSERT_EQ(testing_support::openForWriting(kTestUnit, path), 0) << path;
}

// Columns that repeat as a table's do, columns of any bits, and the special values.
double randomValue(std::mt19937_64& random, std::size_t statement, std::size_t position) {
  switch (random() % 6) {
    case 0:
      return std::bit_cast<double>(random());
    case 1: {
      constexpr double kSpecials[] = {0.0,
                                      -0.0,
                                      std::numeric_limits<double>::infinity(),
                                      std::numeric_limits<double>::quiet_NaN(),
                                      5e-324,
                                      -1.7976931348623157e308};
      return kSpecials[random() % std::size(kSpecials)];
    }
    case 2:
      return static_cast<double>(random() % 1000000) * 1e-3 - 500.0;
    default:
      return 500000.0 + 12.5 * static_cast<double>((statement + position * 7) % 97);
  }
}

// A run of statements: E fields at random, `planFields` of them, and its values.
struct Statements {
  std::vector<std::uint32_t> words;
  std::size_t planFields = 0;
  std::size_t count = 0;
  std::size_t perStatement = 0;
  std::vector<double> values;
  FormatProgram program() const { return {reinterpret_cast<const std::uint8_t*>(words.data()), words.size() * 4}; }
};

// At most 15 fields, so that every format without its empty literal has a plan.
Statements randomStatements(std::mt19937_64& random, std::size_t count, bool interpreted, int extraValues) {
  Statements run;
  std::vector<LongDescriptor> fields;
  for (std::size_t field = 0, fieldCount = 1 + random() % 5; field < fieldCount; ++field) {
    const auto repeat = static_cast<std::int32_t>(random() % 4);  // 0 edits one item, as 1 does
    fields.push_back(
        editE(repeat, 1 + static_cast<std::int32_t>(random() % 30), static_cast<std::uint8_t>(random() % 18)));
    run.planFields += repeat == 0 ? 1 : static_cast<std::size_t>(repeat);
  }
  run.words = testing_support::eFieldFormat(fields, static_cast<std::int32_t>(random() % 7) - 3, interpreted);
  run.count = count;
  run.perStatement = static_cast<std::size_t>(std::max(1, static_cast<int>(run.planFields) + extraValues));
  run.values.resize(count * run.perStatement);
  for (std::size_t index = 0; index < run.values.size(); ++index) {
    run.values[index] = randomValue(random, index / run.perStatement, index % run.perStatement);
  }
  return run;
}

std::string oneByOne(const Statements& run, bool buffered) {
  const TempDir directory;
  const std::string path = directory.file("one");
  openForWriting(path, buffered);
  const FormatProgram program = run.program();
  FormattedWriter writer;
  for (std::size_t statement = 0; statement < run.count; ++statement) {
    writer.begin(kTestUnit, program);
    for (std::size_t value = 0; value < run.perStatement; ++value) {
      writer.transfer(realItem(run.values[statement * run.perStatement + value],
                               value + 1 == run.perStatement ? kFollowLast : kFollowMore));
    }
  }
  return closeAndRead(kTestUnit, path);
}

// The counts are this run's alone.
std::string ahead(const Statements& run, bool buffered, std::vector<std::size_t> periods = {}) {
  const TempDir directory;
  const std::string path = directory.file("ahead");
  openForWriting(path, buffered);
  resetFastPathCounts();
  const VectorValues source(run.values, run.perStatement, std::move(periods));
  writeStatements(kTestUnit, run.program(), run.count, run.perStatement, source);
  return closeAndRead(kTestUnit, path);
}

testing::AssertionResult sameBytes(const std::string& ahead, const std::string& oneByOne) {
  if (ahead == oneByOne) return testing::AssertionSuccess();
  return testing::AssertionFailure()
         << ahead.size() << " bytes against " << oneByOne.size() << ", first difference at byte "
         << std::mismatch(ahead.begin(), ahead.end(), oneByOne.begin(), oneByOne.end()).first - ahead.begin();
}

// How write_statements.cpp cuts a run, which the trials' lengths are chosen around.
constexpr std::size_t kStatementsPerChunk = 1024;
constexpr std::size_t kRingChunks = 8;

// Workers run whatever the machine: each test asks for them, and the machine has its
// choice back afterwards.
class WritingAhead : public testing::Test {
 protected:
  testing_support::TestOverridesReset hooksReset_;
};

struct Shape {
  bool interpreted;
  bool buffered;
  int extraValues;
};

TEST_F(WritingAhead, MatchesTheStatementsOneByOne) {
  std::mt19937_64 random(20261207);
  // Runs too short for workers, at and around chunk boundaries, and longer than the ring.
  constexpr std::size_t kCounts[] = {0, 1, 4095, 4096, 4097, 8191, 9000, 20000};
  // The first two are what the workers are for; the others take the paths without them.
  constexpr Shape kShapes[] = {
      {false, true, 0}, {false, false, 0}, {true, true, 0}, {false, true, 1}, {false, true, -1}};
  int ringRuns = 0;
  for (const Shape& shape : kShapes) {
    for (std::size_t trial = 0; trial < std::size(kCounts); ++trial) {
      const unsigned workers = 1 + trial % 2;
      requestWorkersForTests(workers);
      const Statements run = randomStatements(random, kCounts[trial], shape.interpreted, shape.extraValues);
      SCOPED_TRACE(std::to_string(run.count) + " statements of " + std::to_string(run.perStatement) + " values, " +
                   std::to_string(run.planFields) + " fields" + (shape.interpreted ? ", interpreted" : "") +
                   (shape.buffered ? "" : ", unbuffered") + ", " + std::to_string(workers) + " workers");
      ASSERT_TRUE(sameBytes(ahead(run, shape.buffered), oneByOne(run, shape.buffered)));
      const bool planned = !shape.interpreted && run.perStatement == run.planFields;
      const bool forWorkers = planned && run.count >= 4 * kStatementsPerChunk;
      const FastPathCounts& counts = fastPathCounts();
      // After the unit's first record, a buffered unit takes the edited records together.
      EXPECT_EQ(counts.recordsHandedOverTogether.load() > 0, planned && shape.buffered && run.count > 1);
      EXPECT_EQ(counts.editingWorkersStarted.load(), forWorkers ? workers : 0);
      if (!forWorkers) continue;
      EXPECT_GT(counts.chunksEditedByWorkers.load(), 0u);
      if (run.count > kRingChunks * kStatementsPerChunk) {
        EXPECT_GT(counts.ringSlotsReused.load(), 0u);
        ++ringRuns;
      }
    }
  }
  EXPECT_EQ(ringRuns, 4);  // one with each number of workers, buffered and not
}

// Fields whose values recur a period later, as a table's x does once per row, are copied
// from the record a period before; a hint that is wrong, or whose values recur only now
// and then, changes no byte.
TEST_F(WritingAhead, FieldsOfARepeatPeriodMatchTheStatementsOneByOne) {
  std::mt19937_64 random(20261208);
  requestWorkersForTests(1);
  std::uint64_t reusedAtAll = 0;
  for (int trial = 0; trial < 12; ++trial) {
    Statements run = randomStatements(random, 4096 + random() % 9000, false, 0);
    const std::size_t period = 2 + random() % 1100;  // past a chunk too: no reuse there
    std::vector<std::size_t> periods(run.perStatement);
    for (std::size_t position = 0; position < run.perStatement; ++position) {
      periods[position] = random() % 3 == 0 ? 0 : period + random() % 2;  // now and then one off
      if (random() % 2 == 0) continue;                                    // this position's values recur only by chance
      for (std::size_t statement = period; statement < run.count; ++statement) {
        double& value = run.values[statement * run.perStatement + position];
        if (random() % 8 != 0) value = run.values[(statement - period) * run.perStatement + position];
      }
    }
    SCOPED_TRACE(std::to_string(run.count) + " statements of " + std::to_string(run.perStatement) + " values, period " +
                 std::to_string(period));
    ASSERT_TRUE(sameBytes(ahead(run, true, periods), oneByOne(run, true)));
    reusedAtAll += fastPathCounts().fieldsReusedByPeriod.load();
  }
  EXPECT_GT(reusedAtAll, 0u);
}

// Runs shaped as a table's: x recurring once per row of irregular widths (zero among
// them), y and elevation holding over rows and layers, then values of every kind. Their
// records copy the rows' templates (the point table's from past its x, which its column
// writes after), the short fields are laid out in registers, and the
// records go straight into the unit's block, block edges straddled, or through a chunk
// without workers and with them, buffered and not: every byte as one by one.
TEST_F(WritingAhead, TableShapedRunsMatchTheStatementsOneByOne) {
  std::mt19937_64 random(20261209);
  std::uint64_t templateChunks = 0;
  std::uint64_t templateTailChunks = 0;
  std::uint64_t shortFields = 0;
  for (int trial = 0; trial < 8; ++trial) {
    // Runs too short for workers edit into the unit's block.
    const unsigned workers = trial % 3;
    const bool buffered = trial % 4 != 3;
    requestWorkersForTests(std::max(workers, 1u));
    Statements run = randomStatements(random, workers == 0 ? 2000 + random() % 2000 : 6000 + random() % 9000, false, 0);
    if (trial % 2 == 0) {  // the point table's own format
      run.words.resize(app::kPointTableFormat.size / 4);
      std::memcpy(run.words.data(), app::kPointTableFormat.bytes, app::kPointTableFormat.size);
      run.planFields = run.perStatement = app::kPointTableValuesPerRecord;
      run.values.resize(run.count * run.perStatement);
    }
    const std::size_t rowLength = 1 + random() % 300;
    const std::size_t rowsPerLayer = 1 + random() % 20;
    std::vector<double> centres(rowLength + rowsPerLayer + run.count / rowLength / rowsPerLayer + 1);
    for (double& centre : centres) centre = random() % 5 == 0 ? 0.0 : static_cast<double>(random() % 100000) * 0.25;
    for (std::size_t statement = 0; statement < run.count; ++statement) {
      const std::size_t row = statement / rowLength;
      const double table[] = {centres[statement % rowLength], centres[rowLength + row % rowsPerLayer],
                              -centres[rowLength + rowsPerLayer + row / rowsPerLayer]};
      for (std::size_t position = 0; position < run.perStatement; ++position) {
        run.values[statement * run.perStatement + position] =
            position % 4 < 3 ? table[position % 4] : randomValue(random, statement, position);
      }
    }
    std::vector<std::size_t> periods(run.perStatement);
    for (std::size_t position = 0; position < run.perStatement; position += 4) periods[position] = rowLength;
    SCOPED_TRACE(std::to_string(run.count) + " statements of " + std::to_string(run.perStatement) +
                 " values, rows of " + std::to_string(rowLength) + ", " + std::to_string(workers) + " workers" +
                 (buffered ? "" : ", unbuffered"));
    ASSERT_TRUE(sameBytes(ahead(run, buffered, periods), oneByOne(run, buffered)));
    templateChunks += fastPathCounts().chunksEditedFromRowTemplates.load();
    templateTailChunks += fastPathCounts().chunksCopyingTemplateTails.load();
    shortFields += fastPathCounts().fieldsEditedShort.load();
    if (buffered) {
      EXPECT_GT(fastPathCounts().recordsHandedOverTogether.load(), run.count / 2);
    }
  }
  EXPECT_GT(templateChunks, 0u);
  EXPECT_GT(templateTailChunks, 0u);
  EXPECT_GT(shortFields, 0u);
}

// The chunks of a worker that could not be had are edited by the others, or by the
// calling thread: the first of two starts fails, or the second.
TEST_F(WritingAhead, ThreadsThatCannotBeHadChangeNoByte) {
  std::mt19937_64 random(4242);
  const Statements run = randomStatements(random, 20000, false, 0);
  const std::string expected = oneByOne(run, true);
  requestWorkersForTests(2);
  for (const testing_support::StartFailure& start : testing_support::kStartFailures) {
    SCOPED_TRACE(testing_support::describe(start));
    failThreadStartsForTests(start.successes, start.failure);
    EXPECT_TRUE(sameBytes(ahead(run, true), expected));
    EXPECT_EQ(fastPathCounts().editingWorkersStarted.load(), start.workersStarted);
    if (start.workersStarted > 0) {
      EXPECT_GT(fastPathCounts().chunksEditedByWorkers.load(), 0u);
    }
  }
}

// A unit that is not connected takes the statements, writes nothing, and is left as it
// was: no worker is started for it, nothing connects it, and nothing of the run waits
// in it for its next connection.
TEST_F(WritingAhead, UnconnectedUnitWritesNothing) {
  requestWorkersForTests(2);
  resetFastPathCounts();
  const VectorValues source(std::vector<double>(4 * 5000, 1.5), 4);
  writeStatements(kTestUnit, app::kPointTableFormat, 5000, 4, source);
  EXPECT_EQ(fastPathCounts().editingWorkersStarted.load(), 0u);
  EXPECT_EQ(testing_support::unitPath(kTestUnit), "");
  const TempDir directory;
  const std::string path = directory.file("after");
  openForWriting(path);
  EXPECT_EQ(testing_support::writeRecord(kTestUnit, "after"), 0);
  EXPECT_EQ(closeAndRead(kTestUnit, path), "after\r\n");
}

// A fixed record length shorter than the record: the first statement fails with 66
// before any record reaches the file, as one by one.
TEST(WritingAheadDeathTest, RecordLongerThanTheFixedLengthEndsTheRun) {
  const TempDir directory;
  const std::string path = directory.file("recl");
  const VectorValues source(std::vector<double>(4 * 5000, 1.5), 4);
  EXPECT_EXIT(
      {
        openForWriting(path);
        testing_support::setRecordLength(kTestUnit, 63);
        writeStatements(kTestUnit, app::kPointTableFormat, 5000, 4, source);
      },
      testing::ExitedWithCode(66), "output statement overflows record, unit 1, file .*recl");
  std::ifstream in(path, std::ios::binary);
  EXPECT_EQ(in.peek(), std::ifstream::traits_type::eof());
}

}  // namespace

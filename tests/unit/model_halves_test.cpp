// The model read in two halves against the model read one statement per cell, and both
// against statements that take every record by the reader's general rules: the same
// outcome and the same bits in every cell, on generated models whose awkward lines sit
// around the split and after the last cell's line; and the runtime's run of
// read statements (read_statements.h) on targets that already hold values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "app/connections.h"
#include "app/grid.h"
#include "app/mesh.h"
#include "app/model.h"
#include "app/names.h"
#include "recio/outcome.h"
#include "recio/reader/input_split.h"
#include "recio/reader/read_statements.h"
#include "recio/reader/reader.h"
#include "recio/transfer.h"
#include "recio/units/unit.h"
#include "recio/units/unit_table.h"
#include "support/run_program.h"
#include "support/temp_dir.h"
#include "support/test_overrides.h"
#include "support/unit_access.h"

namespace {

using testing_support::TempDir;

// 1 + 2^-53, halfway between two doubles, then zeros and a 1 as the 800th digit, which
// rounds it up: a reader that dropped the last digits would round it to even, down.
const std::string kLongMantissa =
    "1.00000000000000011102230246251565404236316680908203125" + std::string(745, '0') + "1";

// Lines that a plain line is not, or that a statement takes differently from one, and
// a few plain ones of unusual shape.
// A table laid out by hand.
// clang-format off
const std::string kAwkwardLines[] = {
    "", "   ", "\t", ",", " , 2.5", ",,", "/", " / 7", "2*1.5", "3*", "1*,", "'text'", "\"q\"", "(1.0, 2.0)",
    "(1.0,", "T", ".true.", "f", ".5", "-.5e1", "1.5,2.5", "1.5 2.5", "1.5/", "1.5)", "1.5(", "1.0+3", "1.5D-3",
    "Inf", "-Infinity", "NaN", "nan(0x1)", "1.5x", "x", "# 1", "1e999", "1e-999", "1e", "+", "--1", "1.5;",
    "1.5\r", "1.5\r\r", "\r2.5", "\x1a", "\x1a\r", "1.5\x1a", "  \t 6.25", "0", "-0", "+7.", "12345678901234567890.5",
    "1.5\n",  // with CR terminators the LF is part of the line
    "4.9e-324", "1.5q0", kLongMantissa, std::string("1.5\0", 4), "5.e3",
};
// clang-format on

std::string plainValue(std::mt19937_64& random) {
  char text[48];
  const double value = std::uniform_real_distribution<double>(-1000.0, 1000.0)(random);
  switch (random() % 4) {
    case 0:
      std::snprintf(text, sizeof text, "%.4f", value / 1000);
      break;
    case 1:
      std::snprintf(text, sizeof text, "%.1E", value / 100);
      break;
    case 2:
      std::snprintf(text, sizeof text, "%.7e", value);
      break;
    default:
      std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
      break;
  }
  return text;
}

std::string awkwardLine(std::mt19937_64& random) {
  if (random() % 8 == 0) return std::string(1 + random() % 300, random() % 2 == 0 ? '1' : ' ') + "2.5";
  return kAwkwardLines[random() % std::size(kAwkwardLines)];
}

// One line per cell, give or take: awkward lines now and then everywhere, often right
// around the middle of the file's bytes, and after the cells' lines.
std::string generateModel(std::mt19937_64& random, std::size_t cells, const char* terminator) {
  const std::size_t lineCount = cells + random() % 3 - (cells > 1 && random() % 4 == 0 ? 1 : 0);
  std::vector<std::string> lines;
  const unsigned awkwardPercent = static_cast<unsigned>(random() % 3);
  for (std::size_t line = 0; line < lineCount; ++line) {
    lines.push_back(random() % 100 < awkwardPercent ? awkwardLine(random)
                                                    : plainValue(random) + (random() % 8 == 0 ? " 9 x" : ""));
  }
  std::size_t bytes = 0;
  for (const std::string& line : lines) bytes += line.size() + 1;
  std::size_t middle = 0;
  for (std::size_t sum = 0; middle < lines.size() && sum < bytes / 2; ++middle) sum += lines[middle].size() + 1;
  const int aroundMiddle = static_cast<int>(random() % 4);
  for (int placed = 0; placed < aroundMiddle && !lines.empty(); ++placed) {
    const std::size_t at = std::min(lines.size() - 1, middle + random() % 5 - std::min<std::size_t>(middle, 2));
    lines[at] = awkwardLine(random);
  }
  for (std::size_t extra = random() % 3; extra > 0; --extra) lines.push_back(awkwardLine(random));
  std::string model;
  for (const std::string& line : lines) {
    model += line;
    model += random() % 16 == 0 ? "\r\n" : terminator;
  }
  if (!model.empty() && random() % 4 == 0) model.pop_back();  // no terminator after the last line
  return model;
}

struct Load {
  app::StageStatus status;
  std::vector<double> values;
};

// The grid's cells, in memory order; the grid is freed.
std::vector<double> takeValues(app::ModelGrid& grid) {
  std::vector<double> values(grid.values, grid.values + grid.nx * grid.ny * grid.nz);
  std::free(grid.values);
  grid.values = nullptr;
  return values;
}

Load load(const std::string& path, std::int32_t nx, std::int32_t ny, std::int32_t nz,
          const recio::ReadAheadPolicy& readAhead) {
  app::ModelGrid grid = app::allocateGrid(nx, ny, nz);
  recio::overrideReadAheadPolicyForTests(readAhead);
  const app::StageStatus status = app::loadModel(app::FileName::fromArgument(path), grid);
  recio::overrideReadAheadPolicyForTests({});
  return {status, takeValues(grid)};
}

// One statement per cell.
Load loadPlainly(const std::string& path, std::int32_t nx, std::int32_t ny, std::int32_t nz) {
  return load(path, nx, ny, nz, {.allowed = false});
}

// One statement per cell with an array item of one element, which the reader takes by
// its general rules alone: the reference for the plain records that a run of read
// statements takes without them.
Load loadByGeneralRules(const std::string& path, std::int32_t nx, std::int32_t ny, std::int32_t nz) {
  app::ModelGrid grid = app::allocateGrid(nx, ny, nz);
  Load result{app::StageStatus::Ok, {}};
  if (app::openForReading(app::FileName::fromArgument(path)) != 0) ADD_FAILURE() << "cannot open " << path;
  recio::FreeFormatReader reader;
  recio::IoOutcome outcome = recio::kSuccess;
  app::FileOrderCells cells(grid, 0);
  for (std::size_t cell = 0; cell < grid.nx * grid.ny * grid.nz && outcome == recio::kSuccess; ++cell, cells.next()) {
    const recio::LengthAddressBlock block = recio::realArrayBlock(cells.cell(), 1);
    outcome = reader.beginStatement(app::kFileUnit, recio::kHandlesErrors | recio::kHandlesEndOfFile,
                                    recio::arrayItem(recio::kTypeReal64, block, recio::kFollowLast));
  }
  recio::closeUnit(app::kFileUnit, false);
  if (outcome != recio::kSuccess) {
    result.status = outcome == recio::kEndOfFile ? app::StageStatus::TooShort : app::StageStatus::ReadError;
  }
  result.values = takeValues(grid);
  return result;
}

// In two halves, with the worker's count awaited where the statements first ask for it.
Load loadInHalves(const std::string& path, std::int32_t nx, std::int32_t ny, std::int32_t nz,
                  std::uint64_t firstMeeting = 0) {
  return load(path, nx, ny, nz, {.minimumBytes = 0, .awaitLineCount = true, .firstCountRequest = firstMeeting});
}

// The bits of every cell, NaN payloads and signed zeros included.
bool sameBits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

// A model read by the general rules, one statement per cell, and in two halves.
struct Readings {
  Load general;
  Load plain;
  Load halves;

  // The same outcome and the same bits in every cell all three ways. Failed reads are
  // compared whole as well, though the program never uses their grid.
  bool alike() const {
    return plain.status == halves.status && sameBits(plain.values, halves.values) && general.status == plain.status &&
           sameBits(general.values, plain.values);
  }
  std::string statuses() const {
    return "statuses " + std::to_string(static_cast<int>(plain.status)) + " and " +
           std::to_string(static_cast<int>(halves.status)) + " (general rules " +
           std::to_string(static_cast<int>(general.status)) + ")";
  }
};

Readings readThreeWays(const std::string& path, std::int32_t nx, std::int32_t ny, std::int32_t nz,
                       std::uint64_t firstMeeting = 0) {
  Readings readings;
  readings.general = loadByGeneralRules(path, nx, ny, nz);
  readings.plain = loadPlainly(path, nx, ny, nz);
  readings.halves = loadInHalves(path, nx, ny, nz, firstMeeting);
  return readings;
}

// Generated models through both ways of reading; returns the number that differed.
int compareOnGeneratedModels(std::uint64_t seed, int models, const char* terminator) {
  TempDir dir;
  std::mt19937_64 random(seed);
  int differing = 0;
  for (int model = 0; model < models; ++model) {
    const auto nx = static_cast<std::int32_t>(1 + random() % 9);
    const auto ny = static_cast<std::int32_t>(1 + random() % 9);
    const auto nz = static_cast<std::int32_t>(1 + random() % 9);
    const std::string path =
        dir.write("model", generateModel(random, static_cast<std::size_t>(nx * ny * nz), terminator));
    // Small buffers make long lines fail with 98, which the second half must leave to
    // the statements.
    const bool smallBuffer = random() % 4 == 0;
    if (smallBuffer) recio::overrideInputBufferLimitsForTests({.initialCapacity = 24, .maximumCapacity = 48});
    // Now and then the statements ask late, before or after the split.
    const std::uint64_t firstMeeting = random() % 4 == 0 ? random() % static_cast<std::uint64_t>(nx * ny * nz) : 0;
    const Readings readings = readThreeWays(path, nx, ny, nz, firstMeeting);
    if (smallBuffer) recio::overrideInputBufferLimitsForTests({});
    if (!readings.alike()) {
      ++differing;
      ADD_FAILURE() << "model " << model << " of seed " << seed << " (" << nx << "x" << ny << "x" << nz
                    << ", first meeting at " << firstMeeting << "): " << readings.statuses() << "\n"
                    << testing_support::readFile(path);
    }
  }
  return differing;
}

// The worker takes part whatever the machine: each test asks for it, and the machine
// has its choice back afterwards.
class ModelHalves : public testing::Test {
 protected:
  void SetUp() override {
    recio::requestWorkersForTests(1);
    recio::resetFastPathCounts();
  }
  testing_support::TestOverridesReset hooksReset_;
};

TEST_F(ModelHalves, SameAsOneByOneWithLineFeeds) {
  testing_support::clearIoEnvironment();
  EXPECT_EQ(compareOnGeneratedModels(20261207, 3000, "\n"), 0);
  EXPECT_GT(recio::fastPathCounts().cellsAdopted.load(), 0u);
  EXPECT_GT(recio::fastPathCounts().plainRecordsRead.load(), 0u);
  EXPECT_GT(recio::fastPathCounts().plainRecordsReadInRuns.load(), 0u);
  EXPECT_GT(recio::fastPathCounts().quickLinesRead.load(), 0u);
  EXPECT_GT(recio::fastPathCounts().quickLinesReadAhead.load(), 0u);
}

// The terminator setting is read once per process: a process of its own.
TEST_F(ModelHalves, SameAsOneByOneWithCarriageReturns) {
  GTEST_FLAG_SET(death_test_style, testing_support::kDeathTestStyle);
  EXPECT_EXIT(
      {
        testing_support::clearIoEnvironment();
        ::setenv("XIO_FMT_TERMINATOR", "CR", 1);
        const bool same = compareOnGeneratedModels(7, 1500, "\r") == 0;
        const recio::FastPathCounts& counts = recio::fastPathCounts();
        std::exit(same && counts.cellsAdopted.load() > 0 && counts.plainRecordsRead.load() > 0 &&
                          counts.plainRecordsReadInRuns.load() > 0 && counts.quickLinesRead.load() > 0 &&
                          counts.quickLinesReadAhead.load() > 0
                      ? 0
                      : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// A model of plain values on lines of equal length, so that where the file is cut does
// not depend on what the lines hold. Shifted, its first line is blank: each cell is read
// from the line after its number, so the statements are past the split when they reach
// the worker's first cell, and that cell's own line is a null value, which leaves the
// cell as the worker wrote it unless the statements give it back.
struct EvenModel {
  static constexpr std::int32_t kNx = 12, kNy = 10, kNz = 8;
  static constexpr std::size_t kLineLength = 7;
  TempDir dir;
  std::string path;
  std::uint64_t firstHalfLines = 0;
  Load plain;

  explicit EvenModel(bool shifted) {
    std::string model;
    for (std::size_t line = 0; line < kNx * kNy * kNz + (shifted ? 1 : 0); ++line) {
      model += std::to_string(100000 + line) + "\n";
    }
    // The file is cut after the first line that ends at or after its middle.
    firstHalfLines = (model.find('\n', model.size() / 2) + 1) / kLineLength;
    if (shifted) {
      model.replace(0, kLineLength - 1, "      ");
      model.replace((firstHalfLines + 1) * kLineLength, kLineLength - 1, "     ,");
    }
    path = dir.write("model", model);
    plain = loadPlainly(path, kNx, kNy, kNz);
    EXPECT_EQ(plain.status, app::StageStatus::Ok);
  }
  Load inHalves(std::uint64_t firstMeeting = 0) const { return loadInHalves(path, kNx, kNy, kNz, firstMeeting); }
};

// The statements ask for the worker's count at their first cell, later but before the
// split, exactly at it, or once they have passed it. They adopt the second half only
// when they stand at the split, and never change a cell by trying.
TEST_F(ModelHalves, SecondHalfIsAdoptedOnlyAtTheSplit) {
  const EvenModel clean(false);
  const EvenModel shifted(true);
  const std::uint64_t split = clean.firstHalfLines;
  const struct {
    const EvenModel& model;
    std::uint64_t firstMeeting;
    bool adopted;
  } meetings[] = {
      {clean, 0, true}, {clean, split / 2, true}, {clean, split, true}, {clean, split + 1, false}, {shifted, 0, false}};
  for (const auto& meeting : meetings) {
    SCOPED_TRACE(std::string(&meeting.model == &shifted ? "shifted" : "clean") + " model, first meeting at cell " +
                 std::to_string(meeting.firstMeeting) + " of a first half of " + std::to_string(split) + " lines");
    recio::resetFastPathCounts();
    const Load halves = meeting.model.inHalves(meeting.firstMeeting);
    EXPECT_EQ(halves.status, app::StageStatus::Ok);
    EXPECT_TRUE(sameBits(halves.values, meeting.model.plain.values));
    EXPECT_EQ(recio::fastPathCounts().readAheadWorkersStarted.load(), 1u);
    EXPECT_EQ(recio::fastPathCounts().cellsAdopted.load() > 0, meeting.adopted);
  }
}

// A model whose line `line` is the first of the second half: before it as many plain
// lines of 7 bytes as put the split there (the file is cut after the first terminator
// at or after its middle byte), after it `linesAfter` more. `lineCount` is set.
std::string modelWithLineAtTheSplit(const std::string& line, std::size_t linesAfter, std::size_t& lineCount) {
  constexpr std::size_t kPlainLineBytes = 7;
  const std::size_t bytesFromTheLine = line.size() + 1 + linesAfter * kPlainLineBytes;
  std::size_t linesBefore = 1;
  while (linesBefore * kPlainLineBytes - 1 < (linesBefore * kPlainLineBytes + bytesFromTheLine) / 2) ++linesBefore;
  std::string model;
  for (std::size_t index = 0; index < linesBefore; ++index) model += std::to_string(100000 + index) + "\n";
  model += line + "\n";
  for (std::size_t index = 0; index < linesAfter; ++index) model += std::to_string(200000 + index) + "\n";
  lineCount = linesBefore + 1 + linesAfter;
  return model;
}

// The worker's first line is awkward, or as long as the worker converts (its terminator
// filling the unit's first buffer) or one byte longer, also where the unit's buffer
// cannot grow past that, so that the statements fail on the longer line with 98.
TEST_F(ModelHalves, AwkwardLinesRightAtTheSplit) {
  testing_support::clearIoEnvironment();
  const std::size_t firstBuffer = recio::inputBufferLimits().initialCapacity;
  ASSERT_EQ(firstBuffer, 128u * 1024);
  const std::string longest = std::string(firstBuffer - 4, ' ') + "2.5";
  const struct {
    std::string line;
    bool takenByTheWorker;
  } cases[] = {
      {"4.9e-324", true}, {"1.5q0", true}, {kLongMantissa, true},  {std::string("1.5\0", 4), false},
      {"5.e3", true},     {longest, true}, {" " + longest, false},
  };
  TempDir dir;
  for (const auto& [line, takenByTheWorker] : cases) {
    for (const std::size_t largestBuffer : {std::size_t{0}, firstBuffer}) {
      SCOPED_TRACE("a line of " + std::to_string(line.size()) + " bytes ending " + line.substr(line.size() - 4) +
                   ", buffer " + (largestBuffer == 0 ? "growing" : "fixed"));
      std::size_t lineCount = 0;
      const std::string path = dir.write("model", modelWithLineAtTheSplit(line, 20, lineCount));
      recio::InputBufferLimits limits;
      if (largestBuffer != 0) limits.maximumCapacity = largestBuffer;
      recio::overrideInputBufferLimitsForTests(limits);
      recio::resetFastPathCounts();
      const Readings readings = readThreeWays(path, static_cast<std::int32_t>(lineCount), 1, 1);
      recio::overrideInputBufferLimitsForTests({});
      EXPECT_TRUE(readings.alike()) << readings.statuses();
      EXPECT_EQ(recio::fastPathCounts().cellsAdopted.load() > 0, takenByTheWorker);
    }
  }
}

// Statement n reads into element n of a vector.
class VectorTargets final : public recio::StatementTargets {
 public:
  explicit VectorTargets(std::vector<double>& values) : values_(values) {}
  void fill(std::uint64_t first, std::size_t count, double** targets) const override {
    for (std::size_t statement = 0; statement < count; ++statement) targets[statement] = &values_[first + statement];
  }

 private:
  std::vector<double>& values_;
};

// The worker writes only targets that hold +0.0, so that it can give them back: where
// the targets already hold values, a null value in the second half must leave its
// target's value, and the worker takes no statement from them. With a blank line in the
// first half, the statements do not stand at the split and give the worker's targets
// back: given back as +0.0, a target the worker had written would keep that through a
// null value.
TEST_F(ModelHalves, TargetsThatHoldValuesAreLeftToTheStatements) {
  constexpr std::int32_t kUnit = 7;
  constexpr std::size_t kStatements = 600;
  for (const bool shifted : {false, true}) {
    SCOPED_TRACE(shifted ? "shifted model" : "model of a line per statement");
    TempDir dir;
    std::string model;
    for (std::size_t line = 0; line < kStatements; ++line) {
      if (shifted && line == 10) model += "\n";
      model += line % 100 == 70 ? std::string(",\n") : std::to_string(100000 + line) + "\n";
    }
    const std::string path = dir.write("model", model);
    const auto read = [&](const recio::ReadAheadPolicy& readAhead) {
      std::vector<double> values(kStatements, 2.5);
      EXPECT_EQ(testing_support::openForReading(kUnit, path), 0);
      recio::overrideReadAheadPolicyForTests(readAhead);
      EXPECT_EQ(recio::readStatements(kUnit, recio::kHandlesErrors | recio::kHandlesEndOfFile, kStatements,
                                      VectorTargets(values)),
                recio::kSuccess);
      recio::overrideReadAheadPolicyForTests({});
      EXPECT_EQ(recio::closeUnit(kUnit, true), 0);
      return values;
    };
    recio::resetFastPathCounts();
    const std::vector<double> alone = read({.allowed = false});
    EXPECT_EQ(alone[370], 2.5);  // the first null value after the middle
    const std::vector<double> ahead = read({.minimumBytes = 0, .awaitLineCount = true});
    EXPECT_TRUE(sameBits(ahead, alone));
    EXPECT_EQ(recio::fastPathCounts().readAheadWorkersStarted.load(), 1u);
    EXPECT_EQ(recio::fastPathCounts().cellsAdopted.load(), 0u);
  }
}

// A model that fails on its third line ends its run at once, however large: the worker,
// counting the first half's lines meanwhile, stops at its next buffer rather than
// reading the whole half first. Cancelled before it begins, it reads nothing.
TEST_F(ModelHalves, FailureNearTheStartStopsTheWorkersReading) {
  constexpr std::int32_t kUnit = 7;
  constexpr std::size_t kStatements = 8 << 20;
  TempDir dir;
  std::string model;
  model.reserve(kStatements * 4);
  for (std::size_t line = 0; line < kStatements; ++line) model += line == 2 ? "x\n" : "1.5\n";
  const std::string path = dir.write("model", model);
  std::vector<double> values(kStatements, 0.0);
  // The statements fail within microseconds and counting the half of 16 MiB takes
  // milliseconds, but a busy machine may starve the statements that long now and then:
  // one of three tries must stop the worker early. A worker that always counts the whole
  // half before the run ends fails all three.
  std::uint64_t fewestBytesRead = model.size();
  for (int attempt = 0; attempt < 3 && fewestBytesRead >= model.size() / 2; ++attempt) {
    recio::resetFastPathCounts();
    ASSERT_EQ(testing_support::openForReading(kUnit, path), 0);
    recio::overrideReadAheadPolicyForTests({.minimumBytes = 0});
    EXPECT_GT(recio::readStatements(kUnit, recio::kHandlesErrors | recio::kHandlesEndOfFile, kStatements,
                                    VectorTargets(values)),
              0);
    recio::overrideReadAheadPolicyForTests({});
    EXPECT_EQ(recio::closeUnit(kUnit, true), 0);
    EXPECT_EQ(recio::fastPathCounts().readAheadWorkersStarted.load(), 1u);
    fewestBytesRead = std::min(fewestBytesRead, recio::fastPathCounts().readAheadBytesRead.load());
  }
  EXPECT_LT(fewestBytesRead, model.size() / 2);

  recio::resetFastPathCounts();
  ASSERT_EQ(testing_support::openForReading(kUnit, path), 0);
  recio::InputSplit split;
  ASSERT_TRUE(split.cut(kUnit, 0));
  split.cancel();
  std::uint64_t lines = 0;
  EXPECT_FALSE(split.countFirstHalfLines(lines));
  EXPECT_EQ(recio::fastPathCounts().readAheadBytesRead.load(), 0u);
  EXPECT_EQ(recio::closeUnit(kUnit, true), 0);
}

// A digit far down a long mantissa still counts, on every way of reading a cell: the
// 27 digits before it are (2^53 + 1) x 2^36, halfway between two doubles, and only its
// last digit, the 800th, makes the value round up rather than to even.
TEST_F(ModelHalves, LastDigitOfALongMantissaDecidesATie) {
  TempDir dir;
  const std::string path = dir.write("model", "6.18970019642690206169038848" + std::string(772, '0') + "1E26\n");
  for (const Load& load : {loadByGeneralRules(path, 1, 1, 1), loadPlainly(path, 1, 1, 1)}) {
    EXPECT_EQ(load.status, app::StageStatus::Ok);
    ASSERT_EQ(load.values.size(), 1u);
    EXPECT_EQ(load.values[0], 0x1.0000000000001p89);
  }
}

// Without its worker the model is read by the statements alone, to the same cells. The
// first start fails, or the second of two: the model's only worker then starts.
TEST_F(ModelHalves, WorkerThatCannotBeHadChangesNoCell) {
  const EvenModel model(false);
  for (const testing_support::StartFailure& start : testing_support::kStartFailures) {
    SCOPED_TRACE(testing_support::describe(start));
    recio::failThreadStartsForTests(start.successes, start.failure);
    recio::resetFastPathCounts();
    const Load halves = model.inHalves();
    EXPECT_EQ(halves.status, app::StageStatus::Ok);
    EXPECT_TRUE(sameBits(halves.values, model.plain.values));
    EXPECT_EQ(recio::fastPathCounts().readAheadWorkersStarted.load(), start.workersStarted);
    EXPECT_EQ(recio::fastPathCounts().cellsAdopted.load() > 0, start.workersStarted > 0);
  }
}

}  // namespace

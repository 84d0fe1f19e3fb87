// Models large enough for the second half to be read on a worker, run as the built
// program: every cell's value in the table, and the messages of models that fail.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <string>

#include "support/run_program.h"
#include "support/temp_dir.h"

namespace {

using testing_support::readFile;
using testing_support::runProgram;
using testing_support::RunResult;
using testing_support::TempDir;

constexpr int kNx = 60;
constexpr int kNy = 50;
constexpr int kNz = 50;
constexpr int kCells = kNx * kNy * kNz;  // lines of about 8 bytes: over a MiB
constexpr std::size_t kRecordBytes = 66;
constexpr std::size_t kValueColumn = 51;

// Quarters below 1000 in magnitude have at most five digits: their E13.5 field is exact.
double valueOf(int cell) { return (cell % 7993) * 0.25 - 999.0; }

std::string line(int cell) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f\n", valueOf(cell));
  return text;
}

std::string field(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%13.5E", value);
  return value == 0.0 ? "  0.00000E+00" : text;
}

// Lines before cell `cell`'s line, the line itself replaced by `replacement` when given.
struct Edit {
  int cell;
  std::string before;
  const char* replacement;
};

std::string model(std::initializer_list<Edit> edits, const std::string& after) {
  std::string text;
  for (int cell = 0; cell < kCells; ++cell) {
    const char* replacement = nullptr;
    for (const Edit& edit : edits) {
      if (edit.cell != cell) continue;
      text += edit.before;
      replacement = edit.replacement;
    }
    text += replacement != nullptr ? std::string(replacement) : line(cell);
  }
  return text + after;
}

RunResult convert(const TempDir& dir, const std::string& modelText) {
  dir.write("mesh", std::to_string(kNx) + " " + std::to_string(kNy) + " " + std::to_string(kNz) + "\n0 0 0\n" +
                        std::to_string(kNx) + "*1\n" + std::to_string(kNy) + "*1\n" + std::to_string(kNz) + "*1\n");
  dir.write("model", modelText);
  return runProgram(CELLCENTRIFY_BINARY, {"mesh", "model", "table"}, {"XIOT_BUFFERED=true"}, dir.path());
}

// Every record's value: records run from the bottom layer up, rows in y order, cells
// in x order; the model's lines run j, i, k with k fastest. `zeroCell` was left 0.
void expectEveryValue(const std::string& table, int zeroCell = -1) {
  ASSERT_EQ(table.size(), kCells * kRecordBytes);
  int wrong = 0;
  std::size_t record = 0;
  for (int k = kNz - 1; k >= 0; --k) {
    for (int j = 0; j < kNy; ++j) {
      for (int i = 0; i < kNx; ++i, ++record) {
        const int cell = (j * kNx + i) * kNz + k;
        const std::string expected = field(cell == zeroCell ? 0.0 : valueOf(cell));
        if (table.compare(record * kRecordBytes + kValueColumn, expected.size(), expected) != 0 && ++wrong <= 3) {
          ADD_FAILURE() << "cell " << cell << ": " << table.substr(record * kRecordBytes, kRecordBytes);
        }
      }
    }
  }
  EXPECT_EQ(wrong, 0);
}

TEST(LargeModel, BadLinesAfterTheLastCellAreNeverRead) {
  TempDir dir;
  const RunResult result = convert(dir, model({}, "abc\n,\n\n'x'\n1e999\n"));
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.status, 0);
  expectEveryValue(readFile(dir.file("table")));
}

// A blank line in the first half: the second half's lines are one cell further than
// a line per cell would put them, and a null value in it leaves its cell 0.
TEST(LargeModel, BlankLineInTheFirstHalfAndNullInTheSecond) {
  TempDir dir;
  const int nullCell = kCells / 2 + 300;  // soon after the split
  const RunResult result = convert(dir, model({{10, "\n", nullptr}, {nullCell, "", ",\n"}}, ""));
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.status, 0);
  expectEveryValue(readFile(dir.file("table")), nullCell);
}

TEST(LargeModel, BadLineInTheSecondHalf) {
  TempDir dir;
  const RunResult result = convert(dir, model({{kCells * 3 / 4, "", "1.5x\n"}}, ""));
  EXPECT_EQ(result.out, "\r\n Error reading model file model\r\n");
  EXPECT_EQ(result.status, 1);
  EXPECT_FALSE(std::filesystem::exists(dir.file("table")));
}

TEST(LargeModel, LastLineMissing) {
  TempDir dir;
  std::string text = model({}, "");
  text.erase(text.rfind('\n', text.size() - 2) + 1);
  const RunResult result = convert(dir, text);
  EXPECT_EQ(result.out, "\r\n Error: not enough values in model file model\r\n");
  EXPECT_EQ(result.status, 1);
  EXPECT_FALSE(std::filesystem::exists(dir.file("table")));
}

}  // namespace

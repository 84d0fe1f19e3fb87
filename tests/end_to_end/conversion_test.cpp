// The whole conversion, run as the built program in a temporary directory: console
// bytes, exit status and table bytes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "support/run_program.h"
#include "support/sanitizer.h"
#include "support/temp_dir.h"

namespace {

using testing_support::readFile;
using testing_support::runProgram;
using testing_support::RunResult;
using testing_support::TempDir;

RunResult convert(const TempDir& dir, const std::vector<std::string>& arguments,
                  const std::vector<std::string>& environment = {}) {
  return runProgram(CELLCENTRIFY_BINARY, arguments, environment, dir.path());
}

std::string record(const char* x, const char* y, const char* z, const char* value) {
  return std::string(x) + y + z + value + "\r\n";
}

struct ConversionCase {
  const char* name;
  const char* mesh;
  const char* model;
  const char* expectedTable;  // nullptr: no table file afterwards
  const char* expectedOut;
  int expectedStatus;
};

// Names the case in test listings instead of its bytes.
void PrintTo(const ConversionCase& c, std::ostream* out) { *out << c.name; }

const std::string kRecords2x1x2 =
    record("  5.000000000E-01", "  5.000000000E-01", " -1.500000000E+00", "  2.00000E+00") +
    record("  1.500000000E+00", "  5.000000000E-01", " -1.500000000E+00", "  4.00000E+00") +
    record("  5.000000000E-01", "  5.000000000E-01", " -5.000000000E-01", "  1.00000E+00") +
    record("  1.500000000E+00", "  5.000000000E-01", " -5.000000000E-01", "  3.00000E+00");

const ConversionCase kCases[] = {
    // File order j, i, k (k fastest); record order k from the bottom, then j, then i.
    {"RecordOrder2x1x2", "2 1 2\n0 0 0\n1 1\n1\n1 1\n", "1\n2\n3\n4\n", kRecords2x1x2.c_str(), "", 0},
    {"RepeatCountsReadLikeWrittenOut", "2 1 2\n0 0 0\n2*1\n1\n2*1.0\n", "1\n2\n3\n4\n", kRecords2x1x2.c_str(), "", 0},
    {"WidthsOverSeveralRecordsAndExtraWidthsIgnored", "2 1 2\n0 0 0\n1\n1 9 9\n1 7\n1 1\n", "1\n2\n3\n4\n",
     kRecords2x1x2.c_str(), "", 0},
    {"CountsWrittenAsRealsAreTruncated", "2.9 1.2 2.0\n0,0,0\n1,1\n1\n1,1\n", "1\n2\n3\n4\n", kRecords2x1x2.c_str(), "",
     0},
    {"BlankLinesAndCommentFreeCrLf", "2 1 2\r\n\r\n0 0 0\r\n1 1\r\n\r\n1\r\n1 1", "1\r\n\r\n2\r\n3\r\n\r\n4\r\n",
     kRecords2x1x2.c_str(), "", 0},
    {"ZeroElevationPrintsWithoutSign", "1 1 1\n0 0 5\n1\n1\n10\n", "0\n",
     "  5.000000000E-01  5.000000000E-01  0.000000000E+00  0.00000E+00\r\n", "", 0},
    // A centre is the mean of its two nodes, not a node plus half the width: the two
    // differ in the last printed digit of each axis here.
    {"CentreIsTheMeanOfItsTwoNodes", "1 1 1\n-0.167483494865 -0.401574070745 0.53627025265\n0.5\n1\n3\n", "1\n",
     "  8.251650513E-02  9.842592926E-02 -9.637297473E-01  1.00000E+00\r\n", "", 0},
    {"SpecialValues", "3 1 1\n0 0 0\n3*1\n1\n1\n", "Inf\n-Infinity\nNaN\n",
     "  5.000000000E-01  5.000000000E-01 -5.000000000E-01     Infinity\r\n"
     "  1.500000000E+00  5.000000000E-01 -5.000000000E-01    -Infinity\r\n"
     "  2.500000000E+00  5.000000000E-01 -5.000000000E-01          NaN\r\n",
     "", 0},
    {"NullValueLeavesZero", "2 1 1\n0 0 0\n1 1\n1\n1\n", ",\n/\n",
     "  5.000000000E-01  5.000000000E-01 -5.000000000E-01  0.00000E+00\r\n"
     "  1.500000000E+00  5.000000000E-01 -5.000000000E-01  0.00000E+00\r\n",
     "", 0},
    {"EmptyGridGivesEmptyTable", "0 3 3\n0 0 0\n\n1 1 1\n1 1 1\n", "", "", "", 0},
    {"NegativeCountGivesEmptyTable", "-2 1 1\n0 0 0\n\n1\n1\n", "", "", "", 0},
    {"MeshEndsInsideDz", "1 1 3\n0 0 0\n1\n1\n1 1\n", "1\n2\n3\n", nullptr, "\r\n Error reading mesh file mesh\r\n", 1},
    {"MeshCommentLine", "# nx ny nz\n1 1 1\n0 0 0\n1\n1\n1\n", "1\n", nullptr, "\r\n Error reading mesh file mesh\r\n",
     1},
    {"MeshEmpty", "", "1\n", nullptr, "\r\n Error reading mesh file mesh\r\n", 1},
    {"ModelOneLineShort", "1 1 3\n0 0 0\n1\n1\n1 1 1\n", "1\n2\n", nullptr,
     "\r\n Error: not enough values in model file model\r\n", 1},
    {"ModelTwoValuesPerLine", "1 1 4\n0 0 0\n1\n1\n4*1\n", "1 2\n3 4\n", nullptr,
     "\r\n Error: not enough values in model file model\r\n", 1},
    {"ModelCtrlZEndsTheFile", "1 1 2\n0 0 0\n1\n1\n1 1\n", "1\r\n\x1a\r\n2\r\n", nullptr,
     "\r\n Error: not enough values in model file model\r\n", 1},
    {"ModelBadValue", "1 1 2\n0 0 0\n1\n1\n1 1\n", "1\nabc\n", nullptr, "\r\n Error reading model file model\r\n", 1},
};

class ConversionCases : public testing::TestWithParam<ConversionCase> {};

TEST_P(ConversionCases, ConsoleStatusAndTable) {
  const ConversionCase& c = GetParam();
  TempDir dir;
  dir.write("mesh", c.mesh);
  dir.write("model", c.model);
  RunResult result = convert(dir, {"mesh", "model", "table"});
  EXPECT_EQ(result.out, c.expectedOut);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, c.expectedStatus);
  if (c.expectedTable != nullptr) {
    EXPECT_EQ(readFile(dir.file("table")), c.expectedTable);
  }
  if (c.expectedStatus != 0) {
    EXPECT_FALSE(std::filesystem::exists(dir.file("table")));
  }
}

INSTANTIATE_TEST_SUITE_P(Conversion, ConversionCases, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<ConversionCase>& info) { return info.param.name; });

TEST(Conversion, ModelTakesFirstValueOfEachLine) {
  TempDir dir;
  dir.write("mesh", "1 1 4\n0 0 0\n1\n1\n4*1\n");
  dir.write("model", "1 9\n2,9\n3*3\n4 x\n");
  RunResult result = convert(dir, {"mesh", "model", "table"});
  ASSERT_EQ(result.status, 0);
  const std::string table = readFile(dir.file("table"));
  // Bottom layer first: values 4, 3, 2, 1.
  EXPECT_EQ(table.substr(51, 13), "  4.00000E+00");
  EXPECT_EQ(table.substr(66 + 51, 13), "  3.00000E+00");
  EXPECT_EQ(table.substr(132 + 51, 13), "  2.00000E+00");
  EXPECT_EQ(table.substr(198 + 51, 13), "  1.00000E+00");
}

TEST(Conversion, ElevationsFallFromTheTop) {
  for (const auto& [top, lower, upper] : {std::tuple{"0", " -2.000000000E+01", " -5.000000000E+00"},
                                          std::tuple{"100", "  8.000000000E+01", "  9.500000000E+01"}}) {
    TempDir dir;
    dir.write("mesh", std::string("1 1 2\n0 0 ") + top + "\n1\n1\n10 20\n");
    dir.write("model", "1\n2\n");
    ASSERT_EQ(convert(dir, {"mesh", "model", "table"}).status, 0);
    const std::string table = readFile(dir.file("table"));
    ASSERT_EQ(table.size(), 2u * 66);
    EXPECT_EQ(table.substr(34, 17), lower) << "z0 = " << top;  // the lower layer is written first
    EXPECT_EQ(table.substr(66 + 34, 17), upper) << "z0 = " << top;
  }
}

TEST(Conversion, ExamplesGiveTheShippedTable) {
  TempDir dir;
  const std::string examples = std::string(CELLCENTRIFY_SOURCE_DIR) + "/examples/";
  RunResult result = convert(dir, {examples + "mesh.txt", examples + "model.txt", "table.xyz"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(readFile(dir.file("table.xyz")), readFile(examples + "table.xyz"));
}

TEST(Conversion, LongerExistingTableIsReplacedExactly) {
  TempDir dir;
  dir.write("mesh", "2 1 2\n0 0 0\n1 1\n1\n1 1\n");
  dir.write("model", "1\n2\n3\n4\n");
  dir.write("table", std::string(10000, 'x'));
  ASSERT_EQ(convert(dir, {"mesh", "model", "table"}).status, 0);
  EXPECT_EQ(readFile(dir.file("table")), kRecords2x1x2);
}

TEST(Conversion, EmptyGridEmptiesAnExistingTable) {
  TempDir dir;
  dir.write("mesh", "0 0 0\n0 0 0\n\n\n\n");
  dir.write("model", "");
  dir.write("table", "an earlier run's table\r\n");
  ASSERT_EQ(convert(dir, {"mesh", "model", "table"}).status, 0);
  EXPECT_EQ(readFile(dir.file("table")), "");
}

TEST(Conversion, MissingMeshStopsBeforeAnythingElse) {
  TempDir dir;
  RunResult result = convert(dir, {"no-mesh", "no-model", "table"});
  EXPECT_EQ(result.out, "  Error: Mesh file not found: no-mesh\r\n");
  EXPECT_EQ(result.status, 1);
  EXPECT_FALSE(std::filesystem::exists(dir.file("table")));
}

TEST(Conversion, MissingModelIsReportedWithItsName) {
  TempDir dir;
  dir.write("mesh", "1 1 1\n0 0 0\n1\n1\n1\n");
  RunResult result = convert(dir, {"mesh   ", "no-model   ", "table"});
  EXPECT_EQ(result.out, "  Error: Model file not found: no-model\r\n");
  EXPECT_EQ(result.status, 1);
  EXPECT_FALSE(std::filesystem::exists(dir.file("table")));
}

TEST(Conversion, EmptyNamesAreNotFound) {
  TempDir dir;
  RunResult result = convert(dir, {"", "model", "table"});
  EXPECT_EQ(result.out, "  Error: Mesh file not found: \r\n");
  EXPECT_EQ(result.status, 1);
}

TEST(Conversion, TableInMissingDirectoryIsASevereReport) {
  TempDir dir;
  dir.write("mesh", "1 1 1\n0 0 0\n1\n1\n1\n");
  dir.write("model", "1\n");
  RunResult result = convert(dir, {"mesh", "model", "missing/table"});
  EXPECT_EQ(result.status, 29);
  EXPECT_EQ(result.out, "");
  const std::string expectedLine = "xiorun: severe (29): file not found, unit 1, file " +
                                   testing_support::reportedPath(dir.file("missing/table")) + "\n";
  EXPECT_EQ(result.err.substr(0, expectedLine.size()), expectedLine);
  EXPECT_NE(result.err.find("Image              PC        Routine            Line        Source"), std::string::npos);

  result = convert(dir, {"mesh", "model", "missing/table"}, {"XIO_DISABLE_STACK_TRACE=1"});
  EXPECT_EQ(result.status, 29);
  EXPECT_EQ(result.err, expectedLine);
}

// A table named relative to the working directory is opened, and reported, by its full
// path, for a full path of up to 256 characters: here of exactly 256, the whole of it in
// the report of a failed write (a file-size limit; the program ignores SIGXFSZ itself).
TEST(Conversion, FailedWriteReportsTheFullPathOfTheLongestName) {
  TempDir dir;
  dir.write("mesh", "40 30 1\n0 0 0\n40*1\n30*1\n1\n");  // 79200 bytes of table
  std::string model;
  for (int cell = 0; cell < 40 * 30; ++cell) model += "1.5\n";
  dir.write("model", model);
  // The full path as the program shows it is 256 characters long (under wine, with the
  // drive before it).
  const std::size_t length = 256 - (testing_support::reportedPath("/").size() - 1);
  ASSERT_LT(dir.path().size(), length - 6);
  // Directories of 100 characters, then a name for the rest.
  std::string table = dir.path();
  while (length - table.size() > 102) {
    table += "/" + std::string(100, 'd');
    ASSERT_TRUE(std::filesystem::create_directory(table));
  }
  table += "/" + std::string(length - table.size() - 1, 't');
  ASSERT_EQ(testing_support::reportedPath(table).size(), 256u);
  const std::string script =
      testing_support::fileSizeLimit(64) + " " + testing_support::execProgram() + "\"$0\" \"$@\"";
  const RunResult result =
      runProgram("/bin/bash", {"-c", script, CELLCENTRIFY_BINARY, "mesh", "model", table.substr(dir.path().size() + 1)},
                 {}, dir.path());
  EXPECT_EQ(result.status, 38);
  EXPECT_EQ(testing_support::firstLine(result.err),
            "xiorun: severe (38): error during write, unit 1, file " + testing_support::reportedPath(table) + "\n");
}

TEST(Conversion, TerminatorSettingReachesTableAndConsole) {
  TempDir dir;
  dir.write("mesh", "1 1 1\n0 0 0\n1\n1\n1\n");
  dir.write("model", "1\n");
  RunResult result = convert(dir, {"mesh", "model", "table"}, {"XIO_FMT_TERMINATOR=LF"});
  ASSERT_EQ(result.status, 0);
  EXPECT_EQ(readFile(dir.file("table")), "  5.000000000E-01  5.000000000E-01 -5.000000000E-01  1.00000E+00\n");
  result = convert(dir, {"mesh", "nothing", "table"}, {"XIO_FMT_TERMINATOR=LF"});
  EXPECT_EQ(result.out, "  Error: Model file not found: nothing\n");
}

// Buffered blocks of 33280 bytes hold 512 LF records of 65 bytes exactly: the last
// record of each block fills it to its end (a byte written past it shows under the
// address sanitizer).
TEST(Conversion, LfRecordsThatFillBufferedBlocksExactly) {
  constexpr int kNx = 40, kNy = 30;  // 1200 records: two full blocks and part of a third
  TempDir dir;
  dir.write("mesh", "40 30 1\n0 0 0\n40*1\n30*1\n1\n");
  // One layer: the model's lines and the table's records are both in row order, and
  // each record's value is its line number.
  std::string model;
  std::string expected;
  for (int j = 0; j < kNy; ++j) {
    for (int i = 0; i < kNx; ++i) {
      const int line = j * kNx + i;
      model += std::to_string(line) + "\n";
      char record[80];
      std::snprintf(record, sizeof record, "%17.9E%17.9E%17.9E%13.5E\n", i + 0.5, j + 0.5, -0.5,
                    static_cast<double>(line));
      expected += record;
    }
  }
  ASSERT_EQ(expected.size(), 1200u * 65);
  dir.write("model", model);
  RunResult result =
      convert(dir, {"mesh", "model", "table"}, {"XIO_FMT_TERMINATOR=LF", "XIOT_BUFFERED=yes", "XIOT_BLOCKSIZE=33280"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "");
  EXPECT_TRUE(readFile(dir.file("table")) == expected) << "the table differs from the expected records";
}

// Files as they are found in the wild: every mesh converts with a model of the right
// size. Each cell's value is its line number in the model, exact in the table's
// six digits, so that every record shows the model line its value came from; the
// larger models are read in two halves.
TEST(Conversion, RealMeshFiles) {
  struct RealMesh {
    const char* path;
    long nx, ny, nz;
  };
  const RealMesh meshes[] = {
      {"discretize-78x50x51/tensor_mesh.msh", 78, 50, 51},
      {"evo-94x87x40/Magnetic_Susc.msh", 94, 87, 40},
      {"evo-94x87x40/block_mesh.msh", 8, 8, 8},
      {"gravity-45x33x15/mesh.txt", 45, 33, 15},
      {"laguna-69x69x40/craig_chile.msh", 69, 69, 40},
  };
  constexpr std::size_t kRecord = 66, kValueField = 51;
  for (const RealMesh& mesh : meshes) {
    SCOPED_TRACE(mesh.path);
    TempDir dir;
    const long cells = mesh.nx * mesh.ny * mesh.nz;
    std::string model;
    for (long cell = 0; cell < cells; ++cell) {
      char exponentForm[32];
      std::snprintf(exponentForm, sizeof exponentForm, "%.5E\n", static_cast<double>(cell));
      model += cell % 3 == 0 ? std::string(exponentForm) : std::to_string(cell) + ".0\r\n";
    }
    dir.write("model", model);
    RunResult result = convert(dir, {std::string(CELLCENTRIFY_TESTDATA_DIR) + "/" + mesh.path, "model", "table"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    const std::string table = readFile(dir.file("table"));
    ASSERT_EQ(table.size(), static_cast<std::size_t>(cells) * kRecord);
    // Records go from the bottom layer up, rows in y order, cells in x order; the model's
    // lines go by y, then x, then z from the top.
    long wrong = 0;
    for (long record = 0; record < cells; ++record) {
      const long k = mesh.nz - 1 - record / (mesh.nx * mesh.ny), j = record % (mesh.nx * mesh.ny) / mesh.nx,
                 i = record % mesh.nx;
      const long line = (j * mesh.nx + i) * mesh.nz + k;
      const double value = std::strtod(table.substr(record * kRecord + kValueField, 13).c_str(), nullptr);
      if (value != static_cast<double>(line) && wrong++ == 0) {
        ADD_FAILURE() << "record " << record << " holds " << value << ", the value of model line " << line;
      }
    }
    EXPECT_EQ(wrong, 0);
  }
}

TEST(Conversion, RealMeshAndModelPair) {
  TempDir dir;
  const std::string base = std::string(CELLCENTRIFY_TESTDATA_DIR) + "/gravity-45x33x15/";
  RunResult result = convert(dir, {base + "mesh.txt", base + "model_dens.txt", "table"});
  EXPECT_EQ(result.status, 0);
  const std::string table = readFile(dir.file("table"));
  ASSERT_EQ(table.size(), 45u * 33 * 15 * 66);
  // The first record is the bottom layer's first cell: x0 + 250, y0 + 250.
  EXPECT_EQ(table.substr(0, 34), "  5.849210000E+05  4.784653000E+06");
}

TEST(Conversion, MeshWithCommentLinesIsAReadError) {
  TempDir dir;
  dir.write("model", "1\n");
  const std::string mesh =
      std::string(CELLCENTRIFY_TESTDATA_DIR) + "/discretize-78x50x51/tensor_mesh_with_comments.msh";
  RunResult result = convert(dir, {mesh, "model", "table"});
  EXPECT_EQ(result.out, "\r\n Error reading mesh file " + mesh + "\r\n");
  EXPECT_EQ(result.status, 1);
}

// A mesh of nx x ny x nz unit cells.
std::string meshOfUnitCells(long long nx, long long ny, long long nz) {
  const std::string x = std::to_string(nx), y = std::to_string(ny), z = std::to_string(nz);
  return x + " " + y + " " + z + "\n0 0 0\n" + x + "*1\n" + y + "*1\n" + z + "*1\n";
}

// The grid holds at most 2^29 - 1 cells, 4294967288 bytes of doubles: the largest array
// whose byte count fits 32 bits. So many cells are allowed, and an empty model then ends
// the run as any short model does, before anything touches the grid's memory.
TEST(Conversion, GridOfTheMostCellsIsAllowed) {
  if (testing_support::kSanitized) GTEST_SKIP() << "a sanitizer fills or shadows the grid's 4 GiB of memory";
  ASSERT_EQ(233LL * 1103 * 2089, (1LL << 29) - 1);
  TempDir dir;
  dir.write("mesh", meshOfUnitCells(233, 1103, 2089));
  dir.write("model", "");
  const RunResult result = convert(dir, {"mesh", "model", "table"});
  if (result.status == 41) GTEST_SKIP() << "this machine cannot lend the grid's 4 GiB of memory";
  EXPECT_EQ(result.out, "\r\n Error: not enough values in model file model\r\n");
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, 1);
  EXPECT_FALSE(std::filesystem::exists(dir.file("table")));
}

// One cell more along any axis, or 2^29 cells exactly, is the overflow report.
TEST(Conversion, GridOfMoreCellsIsAnOverflow) {
  const long long counts[][3] = {{234, 1103, 2089}, {233, 1104, 2089}, {233, 1103, 2090}, {1024, 1024, 512}};
  for (const auto& [nx, ny, nz] : counts) {
    SCOPED_TRACE(std::to_string(nx) + " x " + std::to_string(ny) + " x " + std::to_string(nz));
    TempDir dir;
    dir.write("mesh", meshOfUnitCells(nx, ny, nz));
    dir.write("model", "");
    const RunResult result = convert(dir, {"mesh", "model", "table"});
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(testing_support::firstLine(result.err),
              "xiorun: severe (179): Cannot allocate array - overflow on array size calculation.\n");
    EXPECT_EQ(result.status, 179);
    EXPECT_FALSE(std::filesystem::exists(dir.file("table")));
  }
}

}  // namespace

// The free-format reader (recio/reader/reader.h): the program's item lists read statement
// by statement from files of every shape, the token and comma rules, numbers against their
// correctly rounded values, long lines across reads and buffer growth, real files, random
// input, and the failures that end a run.
#include "recio/reader/reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "recio/decimal/decimal.h"
#include "recio/reader/read_statements.h"
#include "recio/stop/messages.h"
#include "recio/threads/fast_path_counts.h"
#include "recio/units/unit.h"
#include "recio/units/unit_table.h"
#include "support/run_program.h"
#include "support/sanitizer.h"
#include "support/temp_dir.h"
#include "support/test_overrides.h"
#include "support/unit_access.h"

namespace {

using namespace std::string_view_literals;
using recio::FreeFormatReader;
using recio::IoOutcome;

constexpr std::int32_t kUnit = 1;
constexpr std::uint32_t kHandlesBoth = recio::kHandlesErrors | recio::kHandlesEndOfFile;
constexpr IoOutcome kEof = recio::kEndOfFile;
constexpr IoOutcome kSyntax = recio::kMsgSyntax;
constexpr IoOutcome kConversion = recio::kMsgConversion;

// Every item is filled with this before a statement: an expected value of kKeep means
// "left unchanged".
constexpr double kKeep = -99999.0;
constexpr double kIntMin = -2147483648.0;
const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

constexpr int kRandomScale = testing_support::kSanitized ? 2 : 8;

// The item lists of the program: three integers, three doubles, a double array of n,
// and the model file's one-element array per statement.
enum class List { Integers, Doubles, Array, Model };

struct Statement {
  List list;
  IoOutcome outcome;
  std::vector<double> values;  // expected contents after the statement
};

Statement ints(IoOutcome outcome, std::vector<double> values) { return {List::Integers, outcome, std::move(values)}; }
Statement reals(IoOutcome outcome, std::vector<double> values) { return {List::Doubles, outcome, std::move(values)}; }
Statement array(IoOutcome outcome, std::vector<double> values) { return {List::Array, outcome, std::move(values)}; }
Statement model(IoOutcome outcome, double value) { return {List::Model, outcome, {value}}; }

recio::TransferItem makeItem(recio::TypeCode type, recio::FormCode form, bool last, const void* argument) {
  return {{type, form, static_cast<std::uint8_t>(last ? recio::kFollowLast : recio::kFollowMore), 0}, argument};
}

// Runs the statement's items in order, stopping at the first outcome that is not 0,
// as the program's readers do.
IoOutcome runItems(FreeFormatReader& reader, const std::vector<recio::TransferItem>& items, std::uint32_t options) {
  IoOutcome outcome = reader.beginStatement(kUnit, options, items[0]);
  for (std::size_t index = 1; index < items.size() && outcome == 0; ++index)
    outcome = reader.transferItem(items[index]);
  return outcome;
}

// One statement of `list` with `count` values; returns the outcome and what the items hold.
IoOutcome runStatement(FreeFormatReader& reader, List list, std::size_t count, std::vector<double>& got,
                       std::uint32_t options = kHandlesBoth) {
  std::vector<recio::TransferItem> items;
  IoOutcome outcome;
  if (list == List::Integers) {
    std::int32_t values[3] = {-99999, -99999, -99999};
    recio::AddressBlock blocks[3];
    for (int i = 0; i < 3; ++i) {
      blocks[i].address = &values[i];
      items.push_back(makeItem(recio::kTypeInteger32, recio::kFormScalarAddress, i == 2, &blocks[i]));
    }
    outcome = runItems(reader, items, options);
    got.assign(values, values + 3);
  } else if (list == List::Doubles) {
    double values[3] = {kKeep, kKeep, kKeep};
    recio::AddressBlock blocks[3];
    for (int i = 0; i < 3; ++i) {
      blocks[i].address = &values[i];
      items.push_back(makeItem(recio::kTypeReal64, recio::kFormScalarAddress, i == 2, &blocks[i]));
    }
    outcome = runItems(reader, items, options);
    got.assign(values, values + 3);
  } else {
    std::vector<double> values(count, kKeep);
    const recio::LengthAddressBlock block{static_cast<std::intptr_t>(count * sizeof(double)), values.data()};
    items.push_back(makeItem(recio::kTypeReal64, recio::kFormArray, true, &block));
    outcome = runItems(reader, items, options);
    got = values;
  }
  return outcome;
}

bool sameValue(double expected, double got) {
  if (std::isnan(expected)) return std::isnan(got);
  return std::bit_cast<std::uint64_t>(expected) == std::bit_cast<std::uint64_t>(got);
}

std::string visible(std::string_view text) {
  std::string shown;
  for (unsigned char byte : text) {
    if (byte == '\n') {
      shown += "\\n";
    } else if (byte < 32 || byte > 126) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", byte);
      shown += escape;
    } else {
      shown += static_cast<char>(byte);
    }
  }
  return shown;
}

struct Case {
  std::string_view input;
  std::vector<Statement> statements;
};

class ReaderTest : public ::testing::Test {
 public:
  // Connects kUnit to a new file holding `contents`.
  void connect(std::string_view contents) {
    const std::string path = dir_.write("input" + std::to_string(files_++) + ".txt", contents);
    ASSERT_EQ(testing_support::openForReading(kUnit, path), 0);
  }
  void disconnect() { EXPECT_EQ(recio::closeUnit(kUnit, true), 0); }

  // Runs the statements one after another on one file and checks each.
  void check(std::string_view input, const std::vector<Statement>& statements) {
    SCOPED_TRACE("input \"" + visible(input) + "\"");
    connect(input);
    for (std::size_t index = 0; index < statements.size(); ++index) {
      const Statement& expected = statements[index];
      SCOPED_TRACE("statement " + std::to_string(index + 1));
      std::vector<double> got;
      const IoOutcome outcome = runStatement(reader_, expected.list, expected.values.size(), got);
      EXPECT_EQ(outcome, expected.outcome);
      ASSERT_EQ(got.size(), expected.values.size());
      for (std::size_t value = 0; value < got.size(); ++value) {
        EXPECT_TRUE(sameValue(expected.values[value], got[value]))
            << "item " << value + 1 << ": expected " << expected.values[value] << ", got " << got[value];
      }
    }
    disconnect();
  }

  void checkAll(const std::vector<Case>& cases) {
    for (const Case& row : cases) check(row.input, row.statements);
  }

  testing_support::TempDir dir_;
  FreeFormatReader reader_;
  int files_ = 0;
  testing_support::TestOverridesReset hooksReset_;
};

TEST_F(ReaderTest, ThreeIntegers) {
  const std::vector<Case> cases = {
      // End of file and record ends.
      {"", {ints(kEof, {kKeep, kKeep, kKeep})}},
      {"   \t \r\n", {ints(kEof, {kKeep, kKeep, kKeep})}},
      {"3 4", {ints(kEof, {3, 4, kKeep})}},
      {"3\n4\n", {ints(kEof, {3, 4, kKeep})}},
      {"3 4 5", {ints(0, {3, 4, 5})}},
      {"3,4,5\r\n", {ints(0, {3, 4, 5})}},
      {"3\t4\t5\r\r\n", {ints(0, {3, 4, 5})}},
      {" 3 , 4 , 5 ", {ints(0, {3, 4, 5})}},
      {"3\n\n4\r\n \n5\n", {ints(0, {3, 4, 5})}},
      {"3 4\n5 9\n6 7 8\n", {ints(0, {3, 4, 5}), ints(0, {6, 7, 8}), ints(kEof, {kKeep, kKeep, kKeep})}},
      {"3 4 5 6 junk", {ints(0, {3, 4, 5})}},
      {"3 4 5)", {ints(0, {3, 4, 5})}},
      // Ctrl-Z lines end the file.
      {"\x1a", {ints(kEof, {kKeep, kKeep, kKeep})}},
      {"\x1a\r\n3 4 5\n", {ints(kEof, {kKeep, kKeep, kKeep})}},
      {"\x1a\n3 4 5", {ints(kEof, {kKeep, kKeep, kKeep})}},
      {"3\n\x1a\n4 5\n", {ints(kEof, {3, kKeep, kKeep})}},
      {"3 4 5\n\x1a\n6 7 8\n", {ints(0, {3, 4, 5}), ints(kEof, {kKeep, kKeep, kKeep})}},
      // Bytes that belong to no number.
      {"# nx ny nz\n3 4 5\n", {ints(kSyntax, {kKeep, kKeep, kKeep})}},
      {"3 4 x", {ints(kSyntax, {3, 4, kKeep})}},
      {"3 4 5x", {ints(kSyntax, {3, 4, kKeep})}},
      {"3;4;5", {ints(kSyntax, {kKeep, kKeep, kKeep})}},
      {"3 4 )", {ints(kSyntax, {3, 4, kKeep})}},
      {"3 4 +", {ints(kSyntax, {3, 4, kKeep})}},
      {"3 4 5\rmore\n", {ints(kSyntax, {3, 4, kKeep})}},
      {"3 4 5\0\n"sv, {ints(kSyntax, {3, 4, kKeep})}},
      {"3 4 \r 5\n", {ints(0, {3, 4, 5})}},
      {"3 4 0x10", {ints(kSyntax, {3, 4, kKeep})}},
      {"3 4 1_000", {ints(kSyntax, {3, 4, kKeep})}},
      {"3 4 \xC3\xA9", {ints(kSyntax, {3, 4, kKeep})}},
      // Token syntax.
      {"3 4 -", {ints(kSyntax, {3, 4, kKeep})}},
      {"3 4 .", {ints(kSyntax, {3, 4, kKeep})}},
      {"3 4 +.", {ints(kSyntax, {3, 4, kKeep})}},
      {"3 4 1e+", {ints(kSyntax, {3, 4, kKeep})}},
      {"3 4 5+", {ints(kSyntax, {3, 4, kKeep})}},
      {"3 4 ++5", {ints(kSyntax, {3, 4, kKeep})}},
      {"3 4 -+5", {ints(kSyntax, {3, 4, kKeep})}},
      {"3 4 1+-2", {ints(kSyntax, {3, 4, kKeep})}},
      {"3 4 1e5e5", {ints(kSyntax, {3, 4, kKeep})}},
      {"3 4 1d5e5", {ints(kSyntax, {3, 4, kKeep})}},
      {"3 4 1..2", {ints(kSyntax, {3, 4, kKeep})}},
      {"3 4 e5", {ints(kSyntax, {3, 4, kKeep})}},
      {"3 4 +e5", {ints(kSyntax, {3, 4, kKeep})}},
      {"3 4 1+e5", {ints(kSyntax, {3, 4, kKeep})}},
      {"3 4 1N", {ints(kSyntax, {3, 4, kKeep})}},
      {"3 4 +1I", {ints(kSyntax, {3, 4, kKeep})}},
      {"3 4 1e", {ints(0, {3, 4, 1})}},
      {"3 4 5.", {ints(0, {3, 4, 5})}},
      {"3 4 .5", {ints(0, {3, 4, 0})}},
      {"3 4 1.5-3", {ints(0, {3, 4, 0})}},
      {"3 4 1-2", {ints(kConversion, {3, 4, kKeep})}},
      {"3 4 1.5d2", {ints(0, {3, 4, 150})}},
      {"3 4 5e+3", {ints(0, {3, 4, 5000})}},
      {"3 4 1e5.5", {ints(kConversion, {3, 4, kKeep})}},
      {"+3 -4 0005", {ints(0, {3, -4, 5})}},
      // Real tokens into integers: truncated; no 32-bit integer gives the most negative.
      {"3 4 5.7", {ints(0, {3, 4, 5})}},
      {"3 4 -5.7", {ints(0, {3, 4, -5})}},
      {"3 4 -0.9", {ints(0, {3, 4, 0})}},
      {"3 4 1e10", {ints(0, {3, 4, kIntMin})}},
      {"3 4 -1e10", {ints(0, {3, 4, kIntMin})}},
      {"3 4 2147483647.9", {ints(0, {3, 4, 2147483647})}},
      {"3 4 2147483648.0", {ints(0, {3, 4, kIntMin})}},
      {"3 4 -2147483648.9", {ints(0, {3, 4, kIntMin})}},
      {"3 4 -2147483649.0", {ints(0, {3, 4, kIntMin})}},
      {"3 4 1e999", {ints(kConversion, {3, 4, kKeep})}},
      {"3 4 2147483648", {ints(kConversion, {3, 4, kKeep})}},
      {"3 4 -2147483648", {ints(0, {3, 4, kIntMin})}},
      {"3 4 3000000000", {ints(kConversion, {3, 4, kKeep})}},
      {"10.0 10.7 5", {ints(0, {10, 10, 5})}},
      // Logical, quoted and infinity or NaN values convert into no integer.
      {"3 4 T", {ints(kConversion, {3, 4, kKeep})}},
      {"3 4 .false.", {ints(kConversion, {3, 4, kKeep})}},
      {"3 4 .t", {ints(kConversion, {3, 4, kKeep})}},
      {"3 4 '5'", {ints(kConversion, {3, 4, kKeep})}},
      {"3 4 \"5\"", {ints(kConversion, {3, 4, kKeep})}},
      {"3 4 INF", {ints(kConversion, {3, 4, kKeep})}},
      {"3 4 +INF", {ints(kConversion, {3, 4, kKeep})}},
      {"3 4 -nan(x y)", {ints(kConversion, {3, 4, kKeep})}},
      {"3 4 NaN", {ints(kConversion, {3, 4, kKeep})}},
      // Commas and nulls.
      {"3, ,5", {ints(0, {3, kKeep, 5})}},
      {"3,,5", {ints(0, {3, kKeep, 5})}},
      {",4,5", {ints(0, {kKeep, 4, 5})}},
      {"  ,4,5", {ints(0, {kKeep, 4, 5})}},
      {"\n,4,5", {ints(0, {kKeep, 4, 5})}},
      {"3,\n,5", {ints(0, {3, kKeep, 5})}},
      {"3 ,\n\n , 5", {ints(0, {3, kKeep, 5})}},
      {"3\n,4,5", {ints(0, {3, 4, 5})}},
      {"3\n\n,4\n,5", {ints(0, {3, 4, 5})}},
      {"3 ,4 ,5", {ints(0, {3, 4, 5})}},
      {"3,4,\n5", {ints(0, {3, 4, 5})}},
      {",,,", {ints(0, {kKeep, kKeep, kKeep})}},
      {", , ,", {ints(0, {kKeep, kKeep, kKeep})}},
      {"3,,,4", {ints(0, {3, kKeep, kKeep})}},
      {"3;,4", {ints(kSyntax, {kKeep, kKeep, kKeep})}},
      // Slash.
      {"3 /", {ints(0, {3, kKeep, kKeep})}},
      {"3/", {ints(0, {3, kKeep, kKeep})}},
      {"3,/", {ints(0, {3, kKeep, kKeep})}},
      {"/ 4 5", {ints(0, {kKeep, kKeep, kKeep})}},
      {"3 4\n/\n6\n", {ints(0, {3, 4, kKeep}), ints(kEof, {6, kKeep, kKeep})}},
      // Repeat counts.
      {"3*7", {ints(0, {7, 7, 7})}},
      {"2*7 8", {ints(0, {7, 7, 8})}},
      {"1*5 6 7", {ints(0, {5, 6, 7})}},
      {"4*9\n1 2 3\n", {ints(0, {9, 9, 9}), ints(0, {1, 2, 3})}},
      {"3*", {ints(0, {kKeep, kKeep, kKeep})}},
      {"3*,", {ints(0, {kKeep, kKeep, kKeep})}},
      {"3* 8", {ints(0, {kKeep, kKeep, kKeep})}},
      {"2*\t8", {ints(0, {kKeep, kKeep, 8})}},  // a TAB after the '*' is a blank like any other
      {"2* ,7", {ints(0, {kKeep, kKeep, 7})}},
      {"2*,7", {ints(0, {kKeep, kKeep, 7})}},
      {"2*, ,7", {ints(0, {kKeep, kKeep, kKeep})}},
      {"2*\n,7", {ints(0, {kKeep, kKeep, 7})}},
      {"0*7 8 9", {ints(0, {7, 8, 9})}},
      {"-2*7 8 9", {ints(0, {7, 8, 9})}},
      {"+3*2", {ints(0, {2, 2, 2})}},
      {"2*/ 5", {ints(0, {kKeep, kKeep, kKeep})}},
      {"2*5.9 -1.5", {ints(0, {5, 5, -1})}},
      {"1.5*7", {ints(kConversion, {kKeep, kKeep, kKeep})}},
      {"1e2*2", {ints(kConversion, {kKeep, kKeep, kKeep})}},
      {"2147483648*1", {ints(kConversion, {kKeep, kKeep, kKeep})}},
      {"*7", {ints(kSyntax, {kKeep, kKeep, kKeep})}},
      {"+*7", {ints(kSyntax, {kKeep, kKeep, kKeep})}},
      {"x*7", {ints(kSyntax, {kKeep, kKeep, kKeep})}},
      {"2**7", {ints(kSyntax, {kKeep, kKeep, kKeep})}},
      {"2*3*4", {ints(kSyntax, {kKeep, kKeep, kKeep})}},
      {"2*x", {ints(kSyntax, {kKeep, kKeep, kKeep})}},
      {"2*\r5", {ints(kSyntax, {kKeep, kKeep, kKeep})}},
      {"2*'a'", {ints(kConversion, {kKeep, kKeep, kKeep})}},
      {"2*T", {ints(kConversion, {kKeep, kKeep, kKeep})}},
      {"1 2*3000000000", {ints(kConversion, {1, kKeep, kKeep})}},
      // Quoted values.
      {"3 4 'abc", {ints(kSyntax, {3, 4, kKeep})}},
      {"3 4 '", {ints(kSyntax, {3, 4, kKeep})}},
      {"3 4 'ab\ncd'", {ints(kConversion, {3, 4, kKeep})}},
      {"3 4 'it''s'", {ints(kConversion, {3, 4, kKeep})}},
      {"3 4 'ab''", {ints(kSyntax, {3, 4, kKeep})}},
      {"3 4 'ab'''", {ints(kConversion, {3, 4, kKeep})}},
      {"3 4 'ab'\n'", {ints(kConversion, {3, 4, kKeep})}},
      {"3 4 \"a'b\"\"", {ints(kSyntax, {3, 4, kKeep})}},
      // Parentheses around integers hold plain values.
      {"(3 4 5", {ints(0, {3, 4, 5})}},
      {"(3, 4) 5", {ints(kSyntax, {3, 4, kKeep})}},
      {"(3, 4, 5)", {ints(0, {3, 4, kKeep})}},
      {"((3", {ints(kSyntax, {kKeep, kKeep, kKeep})}},
      {"(3 (4", {ints(kSyntax, {3, kKeep, kKeep})}},
      {")", {ints(kSyntax, {kKeep, kKeep, kKeep})}},
  };
  checkAll(cases);
}

TEST_F(ReaderTest, ThreeDoubles) {
  const std::vector<Case> cases = {
      {"7 1.5d0 1.5q0", {reals(0, {7, 1.5, 1.5})}},
      {"INF -0 NaN", {reals(0, {kInf, -0.0, kNaN})}},
      {"-Infinity +nan 0", {reals(0, {-kInf, kNaN, 0})}},
      {"3000000000 1E3 -2.9", {reals(0, {3e9, 1000, -2.9})}},
      {"1.5-3 1-2 1e", {reals(0, {0.0015, 0.01, 1})}},
      {"0.0123,1.5E-03,-2.3456789e+02", {reals(0, {0.0123, 1.5e-3, -234.56789})}},
      {"1.0 2.0 bad", {reals(kSyntax, {1, 2, kKeep})}},
      {"1 2 1e999", {reals(kConversion, {1, 2, kKeep})}},
      {"1 2 NaN(1 2)", {reals(kConversion, {1, 2, kKeep})}},
      {"1 2 INFx", {reals(kConversion, {1, 2, kKeep})}},
      {"1 2 NaN(x", {reals(kConversion, {1, 2, kKeep})}},
      {"1 2 NaN(x)", {reals(0, {1, 2, kNaN})}},
      {"2*1e-2", {reals(kEof, {0.01, 0.01, kKeep})}},
      // Parenthesised pairs give their first number.
      {"(1.5, 2) 3 4", {reals(0, {1.5, 3, 4})}},
      {"( 1.5 ,\n 2 ) 3 4", {reals(0, {1.5, 3, 4})}},
      {"(1.5\n,\n2\n)3,4", {reals(0, {1.5, 3, 4})}},
      {"(1, 2)(3, 4)(5, 6)", {reals(0, {1, 3, 5})}},
      {"(1.5, -inf) 3 4", {reals(0, {1.5, 3, 4})}},
      {"(1.5, +Infin) 3 4", {reals(0, {1.5, 3, 4})}},
      {"(1.5, i) 3 4", {reals(0, {1.5, 3, 4})}},
      {"(1.5, NaN (x y)) 3 4", {reals(0, {1.5, 3, 4})}},
      {"(1.5, nan(x) ) 3 4", {reals(0, {1.5, 3, 4})}},
      {"(1.5, 2.5e3) 3 4", {reals(0, {1.5, 3, 4})}},
      {"(1.5, 2.) 3 4", {reals(0, {1.5, 3, 4})}},
      {"(1.5, 2d) 3 4", {reals(0, {1.5, 3, 4})}},
      {"(1.5,-007q12) 3 4", {reals(0, {1.5, 3, 4})}},
      {"(1.5 2) 3 4", {reals(kSyntax, {1.5, kKeep, kKeep})}},
      // No comma: the rest would still pass for a second number and its ')' if the byte
      // in the comma's place were passed over.
      {"(1.5 25) 3 4", {reals(kSyntax, {1.5, kKeep, kKeep})}},
      {"(1.5, ) 3 4", {reals(kSyntax, {1.5, kKeep, kKeep})}},
      {"(1.5, 2 3) 4", {reals(kSyntax, {1.5, kKeep, kKeep})}},
      {"(1.5, 2e+3) 3 4", {reals(kSyntax, {1.5, kKeep, kKeep})}},
      {"(1.5, 2e-3) 3 4", {reals(kSyntax, {1.5, kKeep, kKeep})}},
      {"(1.5, .5) 3 4", {reals(kSyntax, {1.5, kKeep, kKeep})}},
      {"(1.5, -) 3 4", {reals(kSyntax, {1.5, kKeep, kKeep})}},
      {"(1.5, +\n2) 3 4", {reals(kSyntax, {1.5, kKeep, kKeep})}},
      {"(1.5, inx) 3 4", {reals(kSyntax, {1.5, kKeep, kKeep})}},
      {"(1.5, nanx) 3 4", {reals(kSyntax, {1.5, kKeep, kKeep})}},
      {"(1.5, nan(x 3 4", {reals(kSyntax, {1.5, kKeep, kKeep})}},
      {"(1.5, 2x) 3 4", {reals(kSyntax, {1.5, kKeep, kKeep})}},
      {"(1.5, 2", {reals(kEof, {1.5, kKeep, kKeep})}},
      {"(1.5, 2) (3", {reals(kEof, {1.5, 3, kKeep})}},
      {"((1.5, 2)", {reals(kSyntax, {kKeep, kKeep, kKeep})}},
      {"(x, 2)", {reals(kSyntax, {kKeep, kKeep, kKeep})}},
      {"(T, 2)", {reals(kConversion, {kKeep, kKeep, kKeep})}},
      {"(1e999, 2)", {reals(kConversion, {kKeep, kKeep, kKeep})}},
      // A repeated pair value, also when the pair's rest lies on later records.
      {"2*(1.5, 2) 9", {reals(0, {1.5, 1.5, 9})}},
      {"(2*1.5,\n\n2) 9", {reals(0, {1.5, 1.5, 9})}},
      {"(3*1.5,\n2) 9\n8 7 6", {reals(0, {1.5, 1.5, 1.5}), reals(0, {8, 7, 6})}},
  };
  checkAll(cases);
}

// A NaN's payload three ways: the conversion of the text alone, the reader's value (a
// token it cuts, then converts) and a pair's second number (checked, never converted).
// The conversion takes the word NaN, then optionally white space, '(', letters, digits
// and '_', and ')', the payload only whole. The reader differs where its rules say so:
//  - a blank ends a token, so "NaN (x)" is NaN followed by a value "(x)" of its own;
//  - a NaN's token runs over its group up to the first ')' in the record (or to the
//    record's end), whatever lies inside, and the conversion then judges the token; so
//    only bytes that are white space to the conversion but do not end a token (a lone
//    CR, VT) may stand before the '(' of a value's payload;
//  - a pair's second number takes its group after blanks (the reader's white space),
//    after as much of the word as matches, and up to the first ')' in the record
//    whatever lies inside: it is looser than the conversion and is kept as it has been.
TEST_F(ReaderTest, NaNPayloadsAsTheConversionAndTheReaderTakeThem) {
  struct Row {
    std::string_view text;
    bool converts;       // the conversion of the text alone gives NaN
    Statement asValue;   // "<text> 2 3" into three doubles
    Statement asSecond;  // "(1, <text>) 2 3" into three doubles
  };
  const Row rows[] = {
      {"NaN", true, reals(0, {kNaN, 2, 3}), reals(0, {1, 2, 3})},
      {"NaN()", true, reals(0, {kNaN, 2, 3}), reals(0, {1, 2, 3})},
      {"nan(Q_7)", true, reals(0, {kNaN, 2, 3}), reals(0, {1, 2, 3})},
      // White space before the '('.
      {"NaN (x)", true, reals(kSyntax, {kNaN, kKeep, kKeep}), reals(0, {1, 2, 3})},
      {"NaN\t(x)", true, reals(kSyntax, {kNaN, kKeep, kKeep}), reals(0, {1, 2, 3})},
      {"NaN\r(x)", true, reals(0, {kNaN, 2, 3}), reals(0, {1, 2, 3})},
      {"NaN\v(x)", true, reals(0, {kNaN, 2, 3}), reals(kSyntax, {1, kKeep, kKeep})},
      // Bytes inside that are not letters, digits or '_'.
      {"NaN(x y)", false, reals(kConversion, {kKeep, kKeep, kKeep}), reals(0, {1, 2, 3})},
      {"NaN(x,y)", false, reals(kConversion, {kKeep, kKeep, kKeep}), reals(0, {1, 2, 3})},
      {"NaN(x/y)", false, reals(kConversion, {kKeep, kKeep, kKeep}), reals(0, {1, 2, 3})},
      {"NaN(+)", false, reals(kConversion, {kKeep, kKeep, kKeep}), reals(0, {1, 2, 3})},
      // No ')': in the pair the pair's own ')' closes the group, and no ')' is left.
      {"NaN(x", false, reals(kConversion, {kKeep, kKeep, kKeep}), reals(kSyntax, {1, kKeep, kKeep})},
      // Not the whole word.
      {"Na(x)", false, reals(kConversion, {kKeep, kKeep, kKeep}), reals(0, {1, 2, 3})},
      {"NaNx(x)", false, reals(kConversion, {kKeep, kKeep, kKeep}), reals(kSyntax, {1, kKeep, kKeep})},
  };
  for (const Row& row : rows) {
    const std::string text(row.text);
    EXPECT_EQ(recio::decimal::parseReal64(text.data(), text.size()).status == recio::decimal::ConversionStatus::Ok,
              row.converts)
        << visible(text);
    check(text + " 2 3", {row.asValue});
    check("(1, " + text + ") 2 3", {row.asSecond});
  }
}

TEST_F(ReaderTest, DoubleArrays) {
  const std::vector<Case> cases = {
      {"1.0 2.0\n\n3.0,4.0", {array(0, {1, 2, 3, 4})}},
      {"4*0.5", {array(0, {0.5, 0.5, 0.5, 0.5})}},
      {"2*1.0 2*", {array(0, {1, 1, kKeep, kKeep})}},
      {"2*\t2*100.0", {array(0, {kKeep, kKeep, 100, 100})}},
      {"1 2 3", {array(kEof, {1, 2, 3, kKeep})}},
      {"1, ,3 /", {array(0, {1, kKeep, 3, kKeep})}},
      {"2*1.5 3*2.5", {array(0, {1.5, 1.5, 2.5, 2.5})}},
      {"5*1\n2 3 4 5\n", {array(0, {1, 1, 1, 1}), array(0, {2, 3, 4, 5})}},
      {"1 2\n3 4 5\n6 7\n", {array(0, {1, 2, 3}), array(0, {6, 7})}},
      {"1 2 x\n", {array(kSyntax, {1, 2, kKeep, kKeep})}},
      // A statement without values still takes a record.
      {"junk ) ' (\n\n", {array(0, {}), array(0, {}), array(kEof, {})}},
      // A mesh: counts, origin, then the widths of each axis from a record of their own.
      {"3 2 1\n0 0 0\n2*10.0 5 99\n1 2\n7\n",
       {ints(0, {3, 2, 1}), reals(0, {0, 0, 0}), array(0, {10, 10, 5}), array(0, {1, 2}), array(0, {7})}},
      {"5 5 5\n1 2\n", {array(0, {5, 5}), array(0, {1, 2})}},
  };
  checkAll(cases);
}

TEST_F(ReaderTest, OneValuePerStatement) {
  const std::vector<Case> cases = {
      {"3*1.5\n2.0\n", {model(0, 1.5), model(0, 2.0), model(kEof, kKeep)}},
      {"1.0 2.0\n3.0", {model(0, 1.0), model(0, 3.0), model(kEof, kKeep)}},
      {"\n\n4.5\n\n", {model(0, 4.5), model(kEof, kKeep)}},
      {"abc\n1\n", {model(kSyntax, kKeep), model(0, 1)}},
      {"1\n\x1a\n2\n", {model(0, 1), model(kEof, kKeep)}},
      {",\n5\n", {model(0, kKeep), model(0, 5)}},
      {"/\n5", {model(0, kKeep), model(0, 5)}},
      {"1.5E-03\r\n-2.3456789e+02\r\n0.0123", {model(0, 1.5e-3), model(0, -234.56789), model(0, 0.0123)}},
      {"  7 \t\r\n", {model(0, 7), model(kEof, kKeep)}},
      {"(1.5, 2)\n6", {model(0, 1.5), model(0, 6)}},
  };
  checkAll(cases);
}

// Quoted text is collected up to 2049 characters, over as many records as it takes.
TEST_F(ReaderTest, QuotedTextLimit) {
  const std::string limit(FreeFormatReader::kTextCapacity - 1, 'q');
  check("1 2 '" + limit + "'", {ints(kConversion, {1, 2, kKeep})});
  check("1 2 '" + limit + "q'", {ints(kSyntax, {1, 2, kKeep})});
  check("1 2 '" + limit.substr(0, 2000) + "\n" + limit.substr(2000) + "'", {ints(kConversion, {1, 2, kKeep})});
  check("1 2 '" + limit.substr(0, 2000) + "\n" + limit.substr(2000) + "x'", {ints(kSyntax, {1, 2, kKeep})});
  // Doubled quotes count once.
  check("1 2 '" + std::string(2 * (FreeFormatReader::kTextCapacity - 1), '\'') + "'",
        {ints(kConversion, {1, 2, kKeep})});
}

TEST_F(ReaderTest, LongLinesAreReadWhole) {
  std::string values;
  while (values.size() < 100000) values += "1 ";
  const std::size_t count = values.size() / 2;
  const std::vector<double> ones(count, 1.0);
  for (std::size_t initialCapacity : {0u, 16u}) {
    SCOPED_TRACE(initialCapacity);
    recio::InputBufferLimits limits;
    if (initialCapacity != 0) limits.initialCapacity = initialCapacity;
    recio::overrideInputBufferLimitsForTests(limits);
    check(values + "\n2\n", {array(0, ones), model(0, 2)});
    // One token of 100 000 bytes is converted where it lies.
    check(std::string(100000, '0') + "1\n2", {model(0, 1), model(0, 2)});
  }
}

TEST_F(ReaderTest, BufferThatCannotGrow) {
  recio::overrideInputBufferLimitsForTests({.initialCapacity = 16, .maximumCapacity = 64});
  check("1 2 3\n" + std::string(100, ' ') + "4\n", {ints(0, {1, 2, 3}), model(recio::kMsgBufferMemory, kKeep)});
}

// The last line needs no terminator, wherever the ends of the reads fall.
TEST_F(ReaderTest, RecordsAcrossReadBoundaries) {
  const std::vector<std::string_view> endings = {"\n", "\r\n", "\r\r\n"};
  for (std::size_t initialCapacity = 1; initialCapacity <= 24; ++initialCapacity) {
    recio::overrideInputBufferLimitsForTests({.initialCapacity = initialCapacity});
    for (std::string_view ending : endings) {
      for (bool finalTerminator : {false, true}) {
        std::string text;
        std::vector<Statement> statements;
        for (int line = 1; line <= 7; ++line) {
          text += std::string(static_cast<std::size_t>(line), '0') + std::to_string(line);
          if (line == 4) text += std::string(ending) + "  ";  // a blank line between
          if (line < 7 || finalTerminator) text += ending;
          statements.push_back(model(0, line));
        }
        statements.push_back(model(kEof, kKeep));
        SCOPED_TRACE("capacity " + std::to_string(initialCapacity));
        check(text, statements);
        // A Ctrl-Z line ends the file although more lines follow.
        if (finalTerminator) check(text + "\x1a" + std::string(ending) + "9\n", statements);
      }
    }
  }
}

// A last line without terminator ends where the file ends, and the buffer behind it
// still holds digits of the lines read before: a scan that ran past the record would
// take them into the number.
TEST_F(ReaderTest, NothingBeyondTheLastRecordIsRead) {
  const std::string first(30, '5');
  const double firstValue = recio::decimal::parseReal64(first.data(), first.size()).value;
  for (std::size_t initialCapacity = 8; initialCapacity <= 40; ++initialCapacity) {
    recio::overrideInputBufferLimitsForTests({.initialCapacity = initialCapacity});
    for (std::size_t fraction = 0; fraction <= 12; ++fraction) {
      const std::string last = "1." + std::string(fraction, '2');
      const double value = recio::decimal::parseReal64(last.data(), last.size()).value;
      check(first + "\n" + last, {model(0, firstValue), model(0, value), model(kEof, kKeep)});
      check(first + "\n 7 " + last, {model(0, firstValue), model(0, 7), model(kEof, kKeep)});
      check(first + "\n1 2 " + last, {model(0, firstValue), array(0, {1, 2, value})});
    }
  }
}

TEST_F(ReaderTest, UnconnectedUnit) {
  std::vector<double> got;
  EXPECT_EQ(runStatement(reader_, List::Model, 1, got), recio::kMsgFileNotFound);
}

// Without the matching option bit a failure is a fatal report, raised after the unit's
// lock has been given up (the report closes every unit).
TEST_F(ReaderTest, UnhandledFailuresEndTheRun) {
  GTEST_FLAG_SET(death_test_style, testing_support::kDeathTestStyle);
  setenv("XIO_DISABLE_STACK_TRACE", "1", 1);
  struct Row {
    std::string_view input;
    std::uint32_t options;
    int status;
    const char* message;
  };
  const Row rows[] = {
      {"", 0, recio::kMsgEndOfFile, "severe \\(24\\): end-of-file during read, unit 1, file .*input"},
      {"", recio::kHandlesErrors, recio::kMsgEndOfFile, "end-of-file during read"},
      {"x", 0, recio::kMsgSyntax, "severe \\(59\\): list-directed I/O syntax error, unit 1, file .*input"},
      {"x", recio::kHandlesEndOfFile, recio::kMsgSyntax, "list-directed I/O syntax error"},
      {"1e999", recio::kHandlesEndOfFile, recio::kMsgConversion, "input conversion error, unit 1"},
  };
  for (const Row& row : rows) {
    connect(row.input);
    std::vector<double> got;
    EXPECT_EXIT(runStatement(reader_, List::Model, 1, got, row.options), ::testing::ExitedWithCode(row.status),
                row.message);
    disconnect();
  }
  // With the matching bit the same failures come back as outcomes.
  check("", {model(kEof, kKeep)});
  connect("x");
  std::vector<double> got;
  EXPECT_EQ(runStatement(reader_, List::Model, 1, got, recio::kHandlesErrors), kSyntax);
  disconnect();
  connect("");
  EXPECT_EQ(runStatement(reader_, List::Model, 1, got, recio::kHandlesEndOfFile), kEof);
  disconnect();
}

// Files from real projects: the mesh files read as the mesh reader reads them, and a
// model file value by value, each value exactly the conversion of its line.
TEST_F(ReaderTest, RealFiles) {
  const std::string root = CELLCENTRIFY_TESTDATA_DIR;
  const char* meshes[] = {"discretize-78x50x51/tensor_mesh.msh", "evo-94x87x40/Magnetic_Susc.msh",
                          "evo-94x87x40/block_mesh.msh", "gravity-45x33x15/mesh.txt",
                          "laguna-69x69x40/craig_chile.msh"};
  for (const char* name : meshes) {
    SCOPED_TRACE(name);
    connect(testing_support::readFile(root + "/" + name));
    std::vector<double> counts;
    ASSERT_EQ(runStatement(reader_, List::Integers, 3, counts), 0);
    std::vector<double> origin;
    EXPECT_EQ(runStatement(reader_, List::Doubles, 3, origin), 0);
    for (double count : counts) {
      std::vector<double> widths;
      EXPECT_EQ(runStatement(reader_, List::Array, static_cast<std::size_t>(count), widths), 0);
      for (double width : widths) EXPECT_GT(width, 0.0);
    }
    disconnect();
  }
  connect(testing_support::readFile(root + "/discretize-78x50x51/tensor_mesh_with_comments.msh"));
  std::vector<double> got;
  EXPECT_EQ(runStatement(reader_, List::Integers, 3, got), kSyntax);
  disconnect();

  const std::string model = testing_support::readFile(root + "/gravity-45x33x15/model_dens.txt");
  connect(model);
  std::size_t values = 0;
  for (std::size_t begin = 0; begin < model.size();) {
    std::size_t end = model.find('\n', begin);
    if (end == std::string::npos) end = model.size();
    std::size_t last = end;
    while (last > begin && (model[last - 1] == '\r' || model[last - 1] == ' ')) --last;
    const recio::decimal::ParseResult<double> line = recio::decimal::parseReal64(model.data() + begin, last - begin);
    ASSERT_EQ(runStatement(reader_, List::Model, 1, got), 0) << "line " << values + 1;
    ASSERT_TRUE(sameValue(line.value, got[0])) << "line " << values + 1;
    ++values;
    begin = end + 1;
  }
  EXPECT_EQ(values, 45u * 33u * 15u);
  EXPECT_EQ(runStatement(reader_, List::Model, 1, got), kEof);
  disconnect();
}

// Where a run of read statements stores: statement n into values[n].
class VectorTargets final : public recio::StatementTargets {
 public:
  explicit VectorTargets(std::vector<double>& values) : values_(values) {}
  void fill(std::uint64_t first, std::size_t count, double** targets) const override {
    for (std::size_t index = 0; index < count; ++index) targets[index] = &values_[first + index];
  }

 private:
  std::vector<double>& values_;
};

// The lines of a model near the quick lines' shape, read by a run of read statements
// (which takes quick lines where they lie whole in the bytes read, through an input
// buffer of `capacity` bytes) and statement by statement by the general rules: the same
// outcome, and the same bits in every target.
void expectRunAsGeneralRules(ReaderTest& test, const std::string& text, std::size_t statements, std::size_t capacity) {
  SCOPED_TRACE("input \"" + visible(text.substr(0, 400)) + "\", buffer " + std::to_string(capacity));
  if (capacity != 0) recio::overrideInputBufferLimitsForTests({.initialCapacity = capacity});
  std::vector<double> run(statements, kKeep);
  test.connect(text);
  const IoOutcome runOutcome = recio::readStatements(kUnit, kHandlesBoth, statements, VectorTargets(run));
  test.disconnect();
  recio::overrideInputBufferLimitsForTests({});
  std::vector<double> general(statements, kKeep);
  IoOutcome generalOutcome = 0;
  test.connect(text);
  FreeFormatReader reader;
  for (std::size_t statement = 0; statement < statements && generalOutcome == 0; ++statement) {
    std::vector<double> got;
    generalOutcome = runStatement(reader, List::Model, 1, got);
    general[statement] = got[0];
  }
  test.disconnect();
  EXPECT_EQ(runOutcome, generalOutcome);
  for (std::size_t statement = 0; statement < statements; ++statement) {
    ASSERT_TRUE(sameValue(general[statement], run[statement]))
        << "statement " << statement + 1 << ": " << general[statement] << " by the general rules, " << run[statement]
        << " in the run";
  }
}

// The lines where a quick line's reading could go wrong, each among quick lines, the
// edge of the bytes read falling at every place of it: 15, 19 and 20 digits, digits
// from 2^53 on, scales at and past 10^22, one, three and four exponent digits, a sign
// and two digits followed by anything but the terminator, bytes next to a sign in the
// sign's place, signed zeros, blanks before and after, CR LF and lone CRs, bytes after
// the number, the other exponent letters.
TEST_F(ReaderTest, QuickLinesAtTheirEdgesReadAsByTheGeneralRules) {
  static constexpr std::string_view kLines[] = {
      "123456789012345",
      "1.234567890123456789e-03",
      "-9.182015930275367124e-03",
      "12345678901234567890",
      "1.2345678901234567890",
      "9007199254740991",
      "9007199254740992",
      "9007199254740993",
      "90071992547409.93",
      "1e22",
      "1e23",
      "1.5e-21",
      "1.5e-22",
      "123.4e-20",
      "1.5e+100",
      "1.5e-100",
      "1e1000",
      "1.5e0001",
      "-0.0",
      "0e5",
      "+0.000",
      "   1.5",
      "       -2.5E-03",
      "        1.5",
      "\t1.5",
      "1.5 ",
      "1.5E-03\r",
      "1.5\r\r",
      "1.5\rx",
      "1.5x",
      "1.5,2",
      "1.5/",
      "2.5d0",
      "2.5Q+1",
      "1.5e",
      "1.5e+",
      "1.",
      "5.e3",
      ".5",
      "-.5",
      "+",
      "1.2.3",
      "12345678.5",
      "1234567.5",
      "1e-5",
      "1E+5",
      "-12e+02",
      "3*1.5",
      "9.007199254740991",
      "9.007199254740992",
      "-9.007199254740993e-3",
      "1234567.890123456789",
      "1.2345678901234567x",
      "8.765432109876543e+300\r",
      "1.00000000000000011102230246251565404236316680908203125",
      "1.5e)05",
      "1.5e/05",
      "1.5e,05",
      "1.5e+0:",
      "1.5e-05\r",
      "1.5e+05 ",
      "1.5e+05x",
      "1.5E-5",
      "1.5e+099",
  };
  for (const std::string_view line : kLines) {
    for (std::size_t before = 0; before < 8; ++before) {
      std::string text;
      for (std::size_t quick = 0; quick < before; ++quick) text += "-1.6659879e+02\n";
      text += std::string(line) + "\n0.0178\n";
      for (const std::size_t capacity : {std::size_t{0}, std::size_t{40}, std::size_t{64}, std::size_t{80}}) {
        expectRunAsGeneralRules(*this, text, before + 2, capacity);
      }
    }
  }
}

// Random lines of the quick shape and next to it, with either terminator: read as the
// general rules read them, and most of them as quick lines.
TEST_F(ReaderTest, RandomQuickLinesReadAsByTheGeneralRules) {
  recio::resetFastPathCounts();
  std::mt19937_64 random(20261209);
  const auto digits = [&](std::size_t count) {
    std::string run;
    const bool zeros = random() % 8 == 0;
    while (run.size() < count) run += zeros ? '0' : static_cast<char>('0' + random() % 10);
    return run;
  };
  const auto pick = [&](std::initializer_list<std::string_view> choices) {
    return std::string(choices.begin()[random() % choices.size()]);
  };
  // Now and then a wild line, which may end the run; the others read.
  const auto quickish = [&] {
    const bool wild = random() % 32 == 0;
    std::string line(random() % 10 == 0 ? random() % 10 : 0, ' ');
    line += wild ? pick({"-", "+", "\t", ".", "x", "--"}) : pick({"", "", "-", "+"});
    std::string mantissa = digits(random() % 4 == 0 ? random() % 10 : 1 + random() % 3);
    if (random() % 6 != 0) mantissa += '.' + digits(random() % 3 == 0 ? random() % 22 : random() % 9);
    if (!wild && mantissa.find_first_of("0123456789") == std::string::npos) mantissa += '7';
    line += mantissa;
    if (random() % 2 == 0) {
      line +=
          pick({"e", "E", "e", "E", "d", "Q"}) + (wild ? pick({"+", "-", "", ")", "/", ","}) : pick({"+", "-", ""}));
      const std::size_t count = wild ? random() % 5 : 1 + random() % 3;
      line += count == 3 ? static_cast<char>('0' + random() % 3) + digits(2) : digits(count);
    }
    return line + (wild ? pick({"x", "\r\r", ".", "e", "\rx", "*"})
                        : pick({"", "", "", "", "\r", " ", "  7", ",", "/", "\t"}));
  };
  const int models = 40 * kRandomScale;
  for (int model = 0; model < models; ++model) {
    const std::size_t lines = 1 + random() % 400;
    std::string text;
    for (std::size_t line = 0; line < lines; ++line) text += quickish() + (random() % 16 == 0 ? "\r\n" : "\n");
    const std::size_t capacities[] = {0, 48, 100, 1000};
    expectRunAsGeneralRules(*this, text, lines + random() % 2, capacities[random() % std::size(capacities)]);
    if (HasFailure()) return;
  }
  EXPECT_GT(recio::fastPathCounts().quickLinesRead.load(), 0u);
}

// ---------------------------------------------------------------------------------
// Random inputs.

// The rules of a numeric token, written out one by one: the token is whole (no blank
// or separator in it). Says whether it passes to conversion and in which form.
bool referenceTokenSyntax(const std::string& token, bool& integerForm) {
  const auto isSign = [](char c) { return c == '+' || c == '-'; };
  const auto isWordLetter = [](char c) { return c == 'I' || c == 'i' || c == 'N' || c == 'n'; };
  const auto digitBetween = [&](std::ptrdiff_t from, std::ptrdiff_t to) {
    for (std::ptrdiff_t i = from + 1; i < to; ++i) {
      if (token[static_cast<std::size_t>(i)] >= '0' && token[static_cast<std::size_t>(i)] <= '9') return true;
    }
    return false;
  };
  const std::size_t wordAt = !token.empty() && isSign(token[0]) ? 1 : 0;
  if (token.size() > wordAt && isWordLetter(token[wordAt])) {
    integerForm = true;
    return true;
  }
  int points = 0;
  int exponents = 0;
  std::ptrdiff_t lastSign = -1;
  for (std::size_t i = 0; i < token.size(); ++i) {
    const char c = token[i];
    if (c >= '0' && c <= '9') continue;
    if (isSign(c)) {
      if (lastSign >= 0 && !digitBetween(lastSign, static_cast<std::ptrdiff_t>(i))) return false;
      lastSign = static_cast<std::ptrdiff_t>(i);
    } else if (c == '.') {
      if (++points > 1) return false;
    } else if ("DEQdeq"sv.find(c) != std::string_view::npos) {
      if (++exponents > 1 || !digitBetween(lastSign, static_cast<std::ptrdiff_t>(i))) return false;
    } else {
      return false;
    }
  }
  if (!digitBetween(lastSign, static_cast<std::ptrdiff_t>(token.size()))) return false;
  integerForm = points == 0 && exponents == 0;
  return true;
}

double referenceTruncation(double value) {
  if (std::isnan(value)) return kIntMin;
  const double whole = std::trunc(value);
  // Through an integer, so that -0.5 gives the integer 0, not -0.0.
  return whole >= -2147483648.0 && whole <= 2147483647.0 ? static_cast<double>(static_cast<std::int64_t>(whole))
                                                         : kIntMin;
}

TEST_F(ReaderTest, RandomTokensFollowTheTokenRules) {
  std::mt19937 random(20240611);
  // No blanks, separators, parentheses, quotes, '*' or logical letters: each token
  // stays one numeric token. NUL and a byte above 127 stand for the foreign bytes.
  static constexpr char kAlphabet[] = "0123456789012345+-+-..eEdDqQiInNaAyx;\x80";
  const std::size_t alphabetSize = sizeof kAlphabet - 1 + 1;  // with the NUL
  const int rounds = 600 * kRandomScale;
  for (int round = 0; round < rounds; ++round) {
    std::string token;
    const std::size_t length = 1 + random() % 7;
    for (std::size_t i = 0; i < length; ++i) token += kAlphabet[random() % alphabetSize];
    bool integerForm = false;
    const bool passes = referenceTokenSyntax(token, integerForm);

    const recio::decimal::ParseResult<double> real = recio::decimal::parseReal64(token.data(), token.size());
    if (!passes) {
      check(token + "\n", {model(kSyntax, kKeep)});
      check(token + " 1 2\n", {ints(kSyntax, {kKeep, kKeep, kKeep})});
      continue;
    }
    check(token + "\n",
          {real.status == recio::decimal::ConversionStatus::Ok ? model(0, real.value) : model(kConversion, kKeep)});
    if (integerForm) {
      const recio::decimal::ParseResult<std::int32_t> integer =
          recio::decimal::parseInteger32(token.data(), token.size());
      check(token + " 1 2\n",
            {integer.status == recio::decimal::ConversionStatus::Ok ? ints(0, {double(integer.value), 1, 2})
                                                                    : ints(kConversion, {kKeep, kKeep, kKeep})});
    } else {
      check(token + " 1 2\n",
            {real.status == recio::decimal::ConversionStatus::Ok ? ints(0, {referenceTruncation(real.value), 1, 2})
                                                                 : ints(kConversion, {kKeep, kKeep, kKeep})});
    }
    if (HasFailure()) break;
  }
}

// Plain numbers of every length, with leading zeros, long fractions and long exponents:
// the reader converts the parts its own scan cut, and they must give exactly what the
// token gives when the conversion scans it afresh.
TEST_F(ReaderTest, PlainNumbersReadAsTheirTokensConvert) {
  std::mt19937 random(1207);
  // Zeros, nines or any digits, after a run of zeros: the all-zero runs, the carries, and
  // significant digits that start late.
  const auto digits = [&](std::size_t count) {
    std::string run(random() % (count + 1), '0');
    const unsigned kind = random() % 3;
    while (run.size() < count) run += kind == 0 ? '0' : kind == 1 ? '9' : static_cast<char>('0' + random() % 10);
    return run;
  };
  const auto length = [&] { return random() % 3 == 0 ? random() % 30 : random() % 4; };
  const auto plainNumber = [&](bool integerForm) {
    std::string token = std::string(1, "+- "[random() % 3]);
    if (token == " ") token.clear();
    token += digits(length());
    if (!integerForm && random() % 2 == 0) token += '.' + digits(length());
    if (token.find_first_of("0123456789") == std::string::npos) token += static_cast<char>('0' + random() % 10);
    if (!integerForm && random() % 2 == 0) {
      token += "EeDdQq"[random() % 6];
      token += std::string(1, "+- "[random() % 3]);
      if (token.back() == ' ') token.pop_back();
      token += digits(random() % 8) + std::to_string(random() % 400).substr(0, 1 + random() % 3);
    }
    return token;
  };
  static constexpr std::string_view kEnds[] = {"", " ", ",", "/", "\t7"};

  std::string text;
  std::vector<std::string> tokens;
  for (int line = 0; line < 500 * kRandomScale; ++line) {
    tokens.push_back(plainNumber(false));
    text += tokens.back() + std::string(kEnds[random() % std::size(kEnds)]) + "\n";
  }
  connect(text);
  for (const std::string& token : tokens) {
    const recio::decimal::ParseResult<double> real = recio::decimal::parseReal64(token.data(), token.size());
    std::vector<double> got;
    const IoOutcome outcome = runStatement(reader_, List::Model, 1, got);
    ASSERT_EQ(outcome, real.status == recio::decimal::ConversionStatus::Ok ? 0 : kConversion) << token;
    if (outcome == 0) {
      ASSERT_TRUE(sameValue(real.value, got[0])) << token;
    }
  }
  disconnect();

  text.clear();
  tokens.clear();
  for (int line = 0; line < 500 * kRandomScale; ++line) {
    tokens.push_back(plainNumber(random() % 2 == 0));
    text += tokens.back() + " 1 2\n";
  }
  connect(text);
  for (const std::string& token : tokens) {
    const bool integerForm = token.find_first_of(".EeDdQq") == std::string::npos;
    const recio::decimal::ParseResult<std::int32_t> integer =
        recio::decimal::parseInteger32(token.data(), token.size());
    const recio::decimal::ParseResult<double> real = recio::decimal::parseReal64(token.data(), token.size());
    const bool ok = (integerForm ? integer.status : real.status) == recio::decimal::ConversionStatus::Ok;
    std::vector<double> got;
    ASSERT_EQ(runStatement(reader_, List::Integers, 3, got), ok ? 0 : kConversion) << token;
    if (ok) {
      ASSERT_TRUE(sameValue(integerForm ? integer.value : referenceTruncation(real.value), got[0])) << token;
    }
  }
  disconnect();
}

// Plain numbers of up to 15 digits, the ones converted from the digits that the reader's
// scan adds up (eight at a time where the record holds eight more bytes, one at a time
// near its end): each must read as the correctly rounded value of its text.
TEST_F(ReaderTest, ScannedDigitsGiveTheCorrectlyRoundedValue) {
  std::mt19937 random(2026);
  static constexpr std::string_view kTails[] = {"", " ", " 1234567", ",98765432109", "\t0.5"};
  std::string text;
  std::vector<std::string> tokens;
  for (int line = 0; line < 600 * kRandomScale; ++line) {
    const std::size_t integerDigits = random() % 4;
    const std::size_t fractionDigits = (integerDigits == 0 ? 1 : 0) + random() % (16 - integerDigits);
    std::string token = random() % 2 == 0 ? "-" : "";
    for (std::size_t digit = 0; digit < integerDigits; ++digit) token += static_cast<char>('0' + random() % 10);
    token += '.';
    for (std::size_t digit = 0; digit < fractionDigits; ++digit) token += static_cast<char>('0' + random() % 10);
    if (random() % 2 == 0) token += "E+0" + std::to_string(random() % 8);
    tokens.push_back(token);
    text += token + std::string(kTails[random() % std::size(kTails)]) + "\n";
  }
  connect(text);
  for (const std::string& token : tokens) {
    double expected = 0.0;
    std::from_chars(token.data(), token.data() + token.size(), expected);
    std::vector<double> got;
    ASSERT_EQ(runStatement(reader_, List::Model, 1, got), 0) << token;
    ASSERT_TRUE(sameValue(expected, got[0])) << token;
  }
  disconnect();
}

// Every byte value at every place of a long fraction, where digits are taken eight at
// a time: the token ends at a separator, and any other byte is judged by the rules.
TEST_F(ReaderTest, EveryByteInsideALongFraction) {
  for (int byte = 0; byte < 256; ++byte) {
    if (byte == '\n') continue;  // ends the record
    for (std::size_t place = 0; place <= 17; ++place) {
      const std::string head = "-1." + std::string(place, '7');
      const std::string line = head + static_cast<char>(byte) + "25";
      std::string token = line;
      if (" \t,/)"sv.find(static_cast<char>(byte)) != std::string_view::npos) token = head;
      bool integerForm = false;
      Statement expected = model(kSyntax, kKeep);
      if (byte == '*') {
        expected = model(kConversion, kKeep);  // "-1.77*25": a count that is no integer
      } else if (referenceTokenSyntax(token, integerForm)) {
        const recio::decimal::ParseResult<double> real = recio::decimal::parseReal64(token.data(), token.size());
        expected =
            real.status == recio::decimal::ConversionStatus::Ok ? model(0, real.value) : model(kConversion, kKeep);
      }
      check(line + "\n", {expected});
      if (HasFailure()) return;
    }
  }
}

// Values, commas, blanks, line ends, slashes and repeat counts in random order against
// the rule in words: a comma after a value (blanks and line ends between) separates; a
// comma after another comma, or before any text of the statement, is a null value.
TEST_F(ReaderTest, RandomValueListsFollowTheCommaRules) {
  std::mt19937 random(77);
  const int rounds = 400 * kRandomScale;
  for (int round = 0; round < rounds; ++round) {
    const std::size_t count = 1 + random() % 6;
    std::vector<double> expected(count, kKeep);
    std::size_t filled = 0;
    bool afterComma = true;  // the statement's start counts as a comma
    bool slash = false;
    std::string text;
    bool needBlank = false;  // a value just ended: another value needs a blank first
    const int atoms = 1 + static_cast<int>(random() % 14);
    for (int atom = 0; atom < atoms; ++atom) {
      const unsigned kind = random() % 10;
      const auto fill = [&](int repeat, double value) {
        for (int i = 0; i < std::max(repeat, 1) && filled < count; ++i) {
          if (value != kKeep && !slash) expected[filled] = value;
          ++filled;
        }
      };
      const bool open = filled < count && !slash;
      if (kind <= 2) {  // a value
        if (needBlank) text += ' ';
        const int digit = 1 + static_cast<int>(random() % 9);
        text += static_cast<char>('0' + digit);
        if (open) fill(1, digit);
        afterComma = false;
        needBlank = true;
      } else if (kind <= 4) {
        text += ',';
        if (open && afterComma) fill(1, kKeep);
        afterComma = true;
        needBlank = false;
      } else if (kind == 5) {
        static constexpr const char* kBlanks[] = {" ", "\t", "\n", "\r\n", "  \n  "};
        text += kBlanks[random() % 5];
        needBlank = false;
      } else if (kind == 6) {
        text += '/';
        if (open) slash = true;
        needBlank = false;
      } else if (kind == 7) {  // r*value
        if (needBlank) text += ' ';
        const int repeat = static_cast<int>(random() % 5) - 1;
        const int digit = 1 + static_cast<int>(random() % 9);
        text += std::to_string(repeat) + "*" + std::to_string(digit);
        if (open) fill(repeat, digit);
        afterComma = false;
        needBlank = true;
      } else {  // r* followed by a blank, a comma or a line end: nulls
        if (needBlank) text += ' ';
        const int repeat = static_cast<int>(random() % 5) - 1;
        static constexpr const char* kTails[] = {" ", ",", "\n"};
        const char* tail = kTails[random() % 3];
        text += std::to_string(repeat) + "*" + tail;
        if (open) fill(repeat, kKeep);
        afterComma = *tail == ',';
        needBlank = false;
      }
    }
    const IoOutcome outcome = filled >= count || slash ? 0 : kEof;
    check(text, {array(outcome, expected)});
    if (HasFailure()) break;
  }
}

// Any bytes at all, through every item list: the reader ends each statement with one
// of the outcomes the input can give, and never reads outside the record.
TEST_F(ReaderTest, RandomBytesGiveDefinedOutcomes) {
  std::mt19937 random(4711);
  static constexpr std::string_view kLikely = "0123456789+-.eEdDiInN*,/ \t()'\"TF;\r\x1a"sv;
  static constexpr std::string_view kEndings[] = {"\n", "\r\n", "\r\r\n", "\r", ""};
  const int rounds = 250 * kRandomScale;
  for (int round = 0; round < rounds; ++round) {
    std::string text;
    const int lines = 1 + static_cast<int>(random() % 4);
    for (int line = 0; line < lines; ++line) {
      const std::size_t length = random() % 24;
      for (std::size_t i = 0; i < length; ++i) {
        text += random() % 2 == 0 ? static_cast<char>(random() % 256) : kLikely[random() % kLikely.size()];
      }
      if (line + 1 < lines || random() % 2 == 0) text += kEndings[random() % 5];
    }
    SCOPED_TRACE("input \"" + visible(text) + "\"");
    // Small buffers put record ends at the end of the buffer's memory.
    recio::overrideInputBufferLimitsForTests({.initialCapacity = 1 + random() % 32});
    for (List list : {List::Integers, List::Doubles, List::Array, List::Model}) {
      connect(text);
      for (int statement = 0; statement < 6; ++statement) {
        std::vector<double> got;
        const IoOutcome outcome = runStatement(reader_, list, list == List::Array ? 1 + random() % 5 : 1, got);
        ASSERT_TRUE(outcome == 0 || outcome == kEof || outcome == kSyntax || outcome == kConversion) << outcome;
        if (outcome != 0) break;
      }
      disconnect();
    }
  }
}

}  // namespace

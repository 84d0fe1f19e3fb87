// The record-terminator setting XIO_FMT_TERMINATOR as a pure function: its grammar over
// every form and malformation, and the record format it gives each unit.
#include "recio/units/terminator_setting.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

using recio::RecordFormat;
using recio::TerminatorSetting;

constexpr RecordFormat kCrLf = RecordFormat::CrLf;
constexpr RecordFormat kLf = RecordFormat::Lf;
constexpr RecordFormat kCr = RecordFormat::Cr;

struct SettingCase {
  std::string value;
  RecordFormat unlisted;      // the console and every unit not listed
  RecordFormat listed;        // the listed units
  std::set<int> listedUnits;  // among the units looked at below
};

// Units looked at for every value: the console, the ends of small ranges, and beyond.
const std::vector<int> kUnits = {-1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 63, 64, 65, 100, 2147483647};

std::string numberList(int first, int last) {
  std::string list;
  for (int number = first; number <= last; ++number) list += (list.empty() ? "" : ",") + std::to_string(number);
  return list;
}

std::set<int> unitsBetween(int first, int last) {
  std::set<int> units;
  for (int unit : kUnits) {
    if (unit >= first && unit <= last) units.insert(unit);
  }
  return units;
}

std::vector<SettingCase> validCases() {
  return {
      {"", kCrLf, kCrLf, {}},
      {"CR", kCr, kCr, {}},
      {"LF", kLf, kLf, {}},
      {"CRLF", kCrLf, kCrLf, {}},
      {"CRLF;LF:1", kCrLf, kLf, {1}},
      {"LF:1-3,7", kCrLf, kLf, {1, 2, 3, 7}},
      {"1", kCrLf, kCr, {1}},
      {"CR:0", kCrLf, kCr, {0}},
      {"LF;1,4", kLf, kCr, {1, 4}},
      {"LF;CRLF:2-3", kLf, kCrLf, {2, 3}},
      {"CR;CR:5", kCr, kCr, {}},
      {"LF;LF:1-100", kLf, kLf, {}},
      {"CRLF:2", kCrLf, kCrLf, {}},
      {"01,002-003", kCrLf, kCr, {1, 2, 3}},
      {"1-1", kCrLf, kCr, {1}},
      {"7,1-3,2-2", kCrLf, kCr, {1, 2, 3, 7}},
      {"CR;LF:0-2147483647", kCr, kLf, unitsBetween(0, 2147483647)},
      {"LF:" + numberList(1, 64), kCrLf, kLf, unitsBetween(1, 64)},
      {numberList(1, 63) + ",100-200", kCrLf, kCr, {1, 2, 3, 4, 5, 6, 7, 8, 63, 100}},
  };
}

TEST(TerminatorSetting, ValidValues) {
  for (const SettingCase& test : validCases()) {
    TerminatorSetting setting;
    ASSERT_TRUE(recio::parseTerminatorSetting(test.value.c_str(), setting)) << "[" << test.value << "]";
    for (int unit : kUnits) {
      const RecordFormat expected = test.listedUnits.count(unit) != 0 ? test.listed : test.unlisted;
      EXPECT_EQ(setting.formatFor(unit), expected) << "[" << test.value << "] unit " << unit;
    }
  }
}

TEST(TerminatorSetting, UnsetChangesNothing) {
  TerminatorSetting setting;
  ASSERT_TRUE(recio::parseTerminatorSetting(nullptr, setting));
  for (int unit : kUnits) EXPECT_EQ(setting.formatFor(unit), kCrLf);
}

TEST(TerminatorSetting, MalformedValuesAreDiscardedWhole) {
  // A table laid out by hand.
  // clang-format off
  const std::vector<std::string> values = {
      "CRLF;", "LF:", "CR;", ";", ":", "3-1", " LF", "LF ", "LF: 1", "1 ,2", "1, 2", "1,", "1-", "-1", "+1",
      "1,-2", "1--2", "1-2-3", ",1", "1,,2", "lf", "Lf", "lf:1", "Lf:1", "crlf;1", "CRLF;LF", "LF;CR",
      "LF;CR;1", "CR:LF:1", "LF;1:2", "CRLF;LF:1;2", "X", "CRLFLF", "CR LF", "\tLF", "LF\n", "1.5", "a-b",
      "1-a", "LF:1-3,7,", "LF :1", "LF; 1", "CR;CR", "CRLF:", "LF::1", "LF;;1", "1;LF:2", "LF:1 ",
      "LF:" + numberList(1, 65), numberList(0, 64),
  };
  // clang-format on
  for (const std::string& value : values) {
    TerminatorSetting setting;
    EXPECT_FALSE(recio::parseTerminatorSetting(value.c_str(), setting)) << "[" << value << "]";
    for (int unit : kUnits) EXPECT_EQ(setting.formatFor(unit), kCrLf) << "[" << value << "] unit " << unit;
  }
}

}  // namespace

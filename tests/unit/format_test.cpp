// Formatted output: the compiled formats, the interpreter, the plans of formats of E
// fields alone, and the E and A fields, checked through the records that reach a file.
#include "recio/format/formatted_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "app/formats.h"
#include "recio/format/builder.h"
#include "recio/format/edit.h"
#include "recio/format/plan.h"
#include "recio/format/short_field.h"
#include "support/doubles.h"
#include "support/e_field_format.h"
#include "support/sanitizer.h"
#include "support/temp_dir.h"
#include "support/unit_access.h"

namespace {

using namespace recio;
using namespace recio::format;

using testing_support::kSanitized;
using testing_support::readFile;
using testing_support::TempDir;

constexpr std::int32_t kTestUnit = 1;

void openForWriting(const std::string& path) { ASSERT_EQ(testing_support::openForWriting(kTestUnit, path), 0) << path; }

// Splits CR LF terminated records; a missing final terminator is a failure.
std::vector<std::string> splitRecords(const std::string& contents) {
  std::vector<std::string> records;
  std::size_t start = 0;
  while (start < contents.size()) {
    const std::size_t end = contents.find("\r\n", start);
    if (end == std::string::npos) {
      ADD_FAILURE() << "unterminated record: " << contents.substr(start);
      break;
    }
    records.push_back(contents.substr(start, end - start));
    start = end + 2;
  }
  return records;
}

// Runs `statements` with unit 1 connected to a fresh file and returns its records.
template <class Statements>
std::vector<std::string> writeRecords(const std::string& name, Statements statements) {
  const TempDir directory;
  const std::string path = directory.file(name);
  openForWriting(path);
  statements();
  return splitRecords(testing_support::closeAndRead(kTestUnit, path));
}

FollowCode followOf(bool last) { return last ? kFollowLast : kFollowMore; }

// One statement with double items.
void writeReals(const FormatProgram& program, std::initializer_list<double> values) {
  FormattedWriter writer;
  writer.begin(kTestUnit, program);
  std::size_t index = 0;
  for (const double& value : values) {
    const bool last = ++index == values.size();
    writer.transfer(realItem(value, followOf(last)));
  }
}

void writeCharacters(const FormatProgram& program, const std::string& text) {
  const LengthAddressBlock block{static_cast<std::intptr_t>(text.size()), text.data()};
  FormattedWriter writer;
  writer.begin(kTestUnit, program);
  writer.transfer(characterItem(block, kFollowLast));
}

// --- The compiled formats ------------------------------------------------------

std::vector<std::uint8_t> bytesOf(const FormatProgram& program) {
  return {program.bytes, program.bytes + program.size};
}

std::vector<std::uint8_t> hexBytes(const char* hex) {
  std::vector<std::uint8_t> bytes;
  std::istringstream in(hex);
  unsigned byte = 0;
  while (in >> std::hex >> byte) {
    bytes.push_back(static_cast<std::uint8_t>(byte));
  }
  return bytes;
}

std::vector<std::uint8_t> messageBytes(const std::string& text, std::size_t padding) {
  std::vector<std::uint8_t> bytes = hexBytes("36 00 00 00  47 00 01 00  1C 00");
  bytes.push_back(static_cast<std::uint8_t>(text.size()));
  bytes.push_back(0);
  bytes.insert(bytes.end(), text.begin(), text.end());
  bytes.insert(bytes.end(), padding, 0);
  const std::vector<std::uint8_t> tail = hexBytes("48 00 01 00  37 00 00 00");
  bytes.insert(bytes.end(), tail.begin(), tail.end());
  return bytes;
}

TEST(CompiledFormats, AreTheDocumentedBytes) {
  EXPECT_EQ(bytesOf(app::kPointTableFormat),
            hexBytes("36 00 00 00  0A 00 00 00 01 00 00 00 01 00 00 00  1F 00 00 09 03 00 00 00 11 00 00 00"
                     "  1F 00 00 05 01 00 00 00 0D 00 00 00  37 00 00 00"));
  EXPECT_EQ(bytesOf(app::kMeshReadFailureFormat), messageBytes(" Error reading mesh file ", 3));
  EXPECT_EQ(bytesOf(app::kModelReadFailureFormat), messageBytes(" Error reading model file ", 2));
  EXPECT_EQ(bytesOf(app::kModelTooShortFormat), messageBytes(" Error: not enough values in model file ", 0));
  for (const FormatProgram* program : {&app::kPointTableFormat, &app::kMeshReadFailureFormat,
                                       &app::kModelReadFailureFormat, &app::kModelTooShortFormat}) {
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(program->bytes) % kItemAlignment, 0u);
  }
}

TEST(CodeTable, MapsTheCodesInUse) {
  struct Expected {
    std::uint8_t code;
    ItemForm form;
    std::uint8_t size;
    Meaning meaning;
  };
  const Expected rows[] = {
      {0x36, ItemForm::Short, 4, Meaning::FormatStart},   {0x37, ItemForm::Short, 4, Meaning::FormatEnd},
      {0x0A, ItemForm::Long, 12, Meaning::ScaleFactor},   {0x1F, ItemForm::Long, 12, Meaning::EditReal},
      {0x1C, ItemForm::Literal, 4, Meaning::Literal},     {0x47, ItemForm::Short, 4, Meaning::EndRecord},
      {0x48, ItemForm::Short, 4, Meaning::EditCharacter}, {0x01, ItemForm::Long, 12, Meaning::FormatStart},
      {0x02, ItemForm::Long, 12, Meaning::FormatEnd},     {0x12, ItemForm::Long, 12, Meaning::EndRecord},
      {0x13, ItemForm::Long, 12, Meaning::EditCharacter},
  };
  for (const Expected& row : rows) {
    SCOPED_TRACE(row.code);
    EXPECT_EQ(kCodeTable[row.code].form, row.form);
    EXPECT_EQ(kCodeTable[row.code].size, row.size);
    EXPECT_EQ(kCodeTable[row.code].meaning, row.meaning);
  }
  // The boundaries of the three code ranges.
  EXPECT_EQ(kCodeTable[0x33].form, ItemForm::Long);
  EXPECT_EQ(kCodeTable[0x34].form, ItemForm::Invalid);
  EXPECT_EQ(kCodeTable[0x35].form, ItemForm::Short);
  EXPECT_EQ(kCodeTable[0x6B].form, ItemForm::Short);
  EXPECT_EQ(kCodeTable[0x6C].form, ItemForm::Long);
  EXPECT_EQ(kCodeTable[0x73].form, ItemForm::Long);
  EXPECT_EQ(kCodeTable[0x74].form, ItemForm::Invalid);
}

// --- E editing -------------------------------------------------------------------

constexpr auto kTwoFieldsBytes =
    compileFormat(formatStart(), scaleFactor(1), editE(1, 17, 9), editE(1, 13, 5), formatEnd());
constexpr FormatProgram kTwoFields = kTwoFieldsBytes.program();

struct EditCase {
  double value;
  const char* wide;    // E17.9, k = 1
  const char* narrow;  // E13.5, k = 1
};

TEST(RealEditing, DocumentedFieldsForBothWidths) {
  const EditCase cases[] = {
      {1234.5678, "  1.234567800E+03", "  1.23457E+03"},
      {-0.5, " -5.000000000E-01", " -5.00000E-01"},
      {0.0, "  0.000000000E+00", "  0.00000E+00"},
      {-0.0, "  0.000000000E+00", "  0.00000E+00"},
      {9.9999999999, "  1.000000000E+01", "  1.00000E+01"},
      {1.0e100, "  1.000000000+100", "  1.00000+100"},
      {-1.0e100, " -1.000000000+100", " -1.00000+100"},
      {1.0e-100, "  1.000000000-100", "  1.00000-100"},
      {std::numeric_limits<double>::denorm_min(), "  4.940656458-324", "  4.94066-324"},
      {std::numeric_limits<double>::max(), "  1.797693135+308", "  1.79769+308"},
      {std::numeric_limits<double>::infinity(), "         Infinity", "     Infinity"},
      {-std::numeric_limits<double>::infinity(), "        -Infinity", "    -Infinity"},
      {std::numeric_limits<double>::quiet_NaN(), "              NaN", "          NaN"},
      {-std::numeric_limits<double>::quiet_NaN(), "              NaN", "          NaN"},
      // Exponents at the edges of two and three digits, and ties to even on the last digit.
      {9.9e99, "  9.900000000E+99", "  9.90000E+99"},
      {1.0e-99, "  1.000000000E-99", "  1.00000E-99"},
      {1024.125, "  1.024125000E+03", "  1.02412E+03"},
      {1024.375, "  1.024375000E+03", "  1.02438E+03"},
      {0.015625, "  1.562500000E-02", "  1.56250E-02"},
  };
  const std::vector<std::string> records = writeRecords("table", [&] {
    for (const EditCase& edit : cases) {
      writeReals(kTwoFields, {edit.value, edit.value});
    }
  });
  ASSERT_EQ(records.size(), std::size(cases));
  for (std::size_t i = 0; i < records.size(); ++i) {
    EXPECT_EQ(records[i], std::string(cases[i].wide) + cases[i].narrow) << "value " << cases[i].value;
  }
}

struct DirectCase {
  double value;
  std::int32_t width;
  std::int32_t fractionDigits;
  std::int32_t scaleFactor;
  const char* field;
};

TEST(RealEditing, NarrowFieldsAndOtherScaleFactors) {
  const double infinity = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const DirectCase cases[] = {
      // Too wide for the field: asterisks, never an error.
      {1234.5678, 10, 5, 1, "**********"},
      {-1234.5678, 11, 5, 1, "***********"},
      {-1234.5678, 13, 5, 1, " -1.23457E+03"},
      {infinity, 8, 1, 1, "Infinity"},
      {-infinity, 8, 1, 1, "    -Inf"},
      {-infinity, 9, 1, 1, "-Infinity"},
      {infinity, 3, 1, 1, "Inf"},
      {-infinity, 3, 1, 1, "***"},
      {infinity, 2, 1, 1, "**"},
      {nan, 3, 1, 1, "NaN"},
      {nan, 2, 1, 1, "**"},
      // Zero: the 0 before the point only when there is room for it.
      {0.0, 7, 1, 1, "0.0E+00"},
      {-0.0, 6, 1, 1, ".0E+00"},
      {0.0, 5, 1, 1, "*****"},
      {0.0, 12, 5, -3, " 0.00000E+00"},
      // k = 0 and negative k: zeros after the point, the 0 before it when it fits.
      {1234.5678, 13, 5, 0, "  0.12346E+04"},
      {-1234.5678, 12, 5, 0, "-0.12346E+04"},
      {-1234.5678, 11, 5, 0, "-.12346E+04"},
      {1234.5678, 13, 5, -2, "  0.00123E+06"},
      {1.0e-110, 13, 5, -2, "  0.00100-107"},
      {1234.5678, 13, 5, -5, "*************"},  // no significant digit left
      // k > 1: more digits before the point, the same count of significant digits.
      {1234.5678, 13, 5, 3, "  123.457E+01"},
      {1234.5678, 13, 5, 6, "  123457.E-02"},
      {1234.5678, 13, 5, 7, "*************"},
      {0.5, 9, 2, 3, " 500.E-03"},
      // No digits after the point (Ew.0). k = 1: the one significant digit before the
      // point, rounded to nearest with ties to even. k = 0: no significant digit is
      // left, so only zero, written as if k were 0, has a field.
      {1.5, 8, 0, 1, "  2.E+00"},
      {2.5, 8, 0, 1, "  2.E+00"},
      {-3.5, 8, 0, 1, " -4.E+00"},
      {9.6, 8, 0, 1, "  1.E+01"},
      {1.0e-100, 8, 0, 1, "  1.-100"},
      {1.5, 6, 0, 1, "2.E+00"},
      {-1.5, 6, 0, 1, "******"},
      {0.0, 8, 0, 1, "  0.E+00"},
      {1.5, 8, 0, 0, "********"},
      {0.0, 8, 0, 0, "  0.E+00"},
      {-0.0, 5, 0, 0, ".E+00"},
  };
  for (const DirectCase& edit : cases) {
    std::string field(static_cast<std::size_t>(edit.width), '?');
    editReal(edit.value, edit.width, edit.fractionDigits, edit.scaleFactor, field.data());
    EXPECT_EQ(field, edit.field) << "E" << edit.width << "." << edit.fractionDigits << " k=" << edit.scaleFactor
                                 << " of " << edit.value;
  }
}

TEST(RealEditing, FourDigitExponentsGiveAsterisks) {
  // Only a strongly negative scale factor moves the exponent past three digits.
  std::string field(800, '?');
  editReal(1.0e300, 800, 710, -698, field.data());
  EXPECT_EQ(field.substr(field.size() - 16), "100000000000+999");
  editReal(1.0e300, 800, 710, -699, field.data());
  EXPECT_EQ(field, std::string(800, '*'));
}

// The exact reference: glibc's %E rounds the exact binary value to nearest, ties to
// even. Only the layout rules are applied on top of it.
std::string referenceField(double value, int width, int fractionDigits) {
  std::string text;
  if (std::isnan(value)) {
    text = "NaN";
  } else if (std::isinf(value)) {
    text = value < 0 ? "-Infinity" : "Infinity";
  } else if (value == 0.0) {
    text = "0." + std::string(static_cast<std::size_t>(fractionDigits), '0') + "E+00";
  } else {
    char printed[64];
    std::snprintf(printed, sizeof printed, "%#.*E", fractionDigits, value);  // a point also without digits after it
    const char* letter = std::strchr(printed, 'E');
    const int exponent = std::atoi(letter + 1);
    char exponentText[16];
    if (std::abs(exponent) < 100) {
      std::snprintf(exponentText, sizeof exponentText, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
    } else {
      std::snprintf(exponentText, sizeof exponentText, "%c%03d", exponent < 0 ? '-' : '+', std::abs(exponent));
    }
    text = std::string(printed, static_cast<std::size_t>(letter - printed)) + exponentText;
  }
  return std::string(static_cast<std::size_t>(width) - text.size(), ' ') + text;
}

TEST(RealEditing, RandomValuesMatchTheExactReference) {
  const std::size_t total = kSanitized ? 500'000 : 2'000'000;
  const std::size_t perFile = 250'000;
  std::mt19937_64 random(20240611);
  std::vector<double> values;
  std::size_t compared = 0;
  while (compared < total) {
    values.clear();
    for (std::size_t i = 0; i < std::min(perFile, total - compared); ++i) {
      values.push_back(testing_support::awkwardDouble(random));
    }
    const std::vector<std::string> records = writeRecords("random", [&] {
      for (const double value : values) {
        writeReals(kTwoFields, {value, value});
      }
    });
    ASSERT_EQ(records.size(), values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
      const std::string expected = referenceField(values[i], 17, 9) + referenceField(values[i], 13, 5);
      if (records[i] != expected) {
        std::uint64_t pattern;
        std::memcpy(&pattern, &values[i], sizeof pattern);
        FAIL() << "bits " << std::hex << pattern << ": \"" << records[i] << "\" expected \"" << expected << "\"";
      }
    }
    compared += values.size();
  }
}

// Fields of at most eight digits under the scale factor 1 take the digits as one integer
// and are laid out in a buffer of their own up to 32 characters: every width around that
// and every digit count, against the exact reference, asterisks where the text is wider.
TEST(RealEditing, ShortFieldsOfEveryWidthMatchTheExactReference) {
  std::mt19937_64 random(20261208);
  for (int trial = 0; trial < 20000; ++trial) {
    const double value = testing_support::awkwardDouble(random);
    if (value == 0 || !std::isfinite(value)) continue;  // their own layouts, tested above
    const int fractionDigits = static_cast<int>(random() % 8);
    const int width = 1 + static_cast<int>(random() % 40);
    std::string field(static_cast<std::size_t>(width) + 8, '#');  // a mark past the field
    editReal(value, width, fractionDigits, 1, field.data());
    const std::string text = referenceField(value, 40, fractionDigits);
    const std::size_t length = 40 - text.find_first_not_of(' ');
    const std::string expected = static_cast<std::size_t>(width) < length
                                     ? std::string(static_cast<std::size_t>(width), '*')
                                     : text.substr(40 - static_cast<std::size_t>(width));
    ASSERT_EQ(field, expected + std::string(8, '#'))
        << std::hexfloat << value << " w=" << width << " d=" << fractionDigits;
  }
}

// The short field laid out in registers (short_field.h) writes what editReal writes, or
// leaves the field untouched for editReal: the values whose rounding carries into a new
// digit, the widest exponents of two digits and the first of three, subnormals, signed
// zeros, infinities and NaN, then random values, widths and digit counts. The fast layout
// must take most of them, or the test would pass with it never used.
TEST(RealEditing, ShortFieldLayoutWritesWhatEditRealWrites) {
  struct Case {
    double value;
    bool taken;
  };
  const Case kCases[] = {{9.999995, true},
                         {-9.999995, true},
                         {9.9999949999, true},
                         {0.99999951, true},
                         {1.0e99, true},
                         {9.9999951e99, false},
                         {1.0e-99, true},
                         {9.99999e-100, false},
                         {1.0e100, false},
                         {5e-324, false},
                         {0.0, false},
                         {-0.0, false},
                         {std::numeric_limits<double>::infinity(), false},
                         {std::numeric_limits<double>::quiet_NaN(), false}};
  const ShortFieldShape table(13, 5, 1);
  ASSERT_TRUE(table.usable());
  for (const Case& check : kCases) {
    std::string expected(13, '#');
    std::string field(16, '#');
    editReal(check.value, 13, 5, 1, expected.data());
    EXPECT_EQ(table.edit(check.value, field.data()), check.taken) << check.value;
    if (check.taken) {
      EXPECT_EQ(field, expected + "###") << check.value;
    }
  }
  std::mt19937_64 random(20261209);
  int taken = 0;
  constexpr int kTrials = 200000;
  for (int trial = 0; trial < kTrials; ++trial) {
    const double value = trial % 2 == 0 ? testing_support::awkwardDouble(random)
                                        : (static_cast<double>(random() % 2000001) - 1e6) * 1e-3;
    const auto width = static_cast<std::int32_t>(1 + random() % 20);
    const auto fractionDigits = static_cast<std::int32_t>(random() % 9);
    const ShortFieldShape shape(width, fractionDigits, 1 + static_cast<std::int32_t>(random() % 8 == 0));
    if (!shape.usable()) continue;
    std::string expected(static_cast<std::size_t>(width), '#');
    std::string field(static_cast<std::size_t>(width) + 4, '#');
    editReal(value, width, fractionDigits, 1, expected.data());
    if (!shape.edit(value, field.data())) continue;
    ++taken;
    ASSERT_EQ(field, expected + "####") << std::hexfloat << value << " w=" << width << " d=" << fractionDigits;
  }
  EXPECT_GT(taken, kTrials / 8);
}

// A format of E fields alone, edited by its plan, writes what the interpreter writes for
// the same format kept from a plan by an empty literal: repeat counts, widths, digits
// and scale factors at random, statements of fewer, as many and more items than fields.
TEST(PlannedFormats, WriteWhatTheInterpreterWrites) {
  std::mt19937_64 random(20250314);
  for (int format = 0; format < testing_support::sanitizedCount(200, 4); ++format) {
    std::vector<LongDescriptor> fields;
    std::size_t fieldCount = 0;
    for (std::size_t field = 0, descriptors = 1 + random() % 5; field < descriptors; ++field) {
      const auto repeat = static_cast<std::int32_t>(random() % 4);  // 0 edits one item, as 1 does
      fields.push_back(
          editE(repeat, 1 + static_cast<std::int32_t>(random() % 40), static_cast<std::uint8_t>(random() % 20)));
      fieldCount += repeat == 0 ? 1 : static_cast<std::size_t>(repeat);
    }
    const auto scale = static_cast<std::int32_t>(random() % 7) - 3;
    std::vector<std::vector<double>> statements(50);
    for (std::vector<double>& items : statements) {
      items.resize(1 + random() % (fieldCount + 2));
      for (double& item : items) item = testing_support::awkwardDouble(random);
    }
    const auto write = [&](bool interpreted) {
      const std::vector<std::uint32_t> words = testing_support::eFieldFormat(fields, scale, interpreted);
      const FormatProgram program{reinterpret_cast<const std::uint8_t*>(words.data()), words.size() * 4};
      EXPECT_EQ(compilePlan(program).usable, !interpreted);
      return writeRecords(interpreted ? "interpreted" : "planned", [&] {
        FormattedWriter writer;
        for (const std::vector<double>& items : statements) {
          writer.begin(kTestUnit, program);
          for (std::size_t item = 0; item < items.size(); ++item) {
            writer.transfer(realItem(items[item], followOf(item + 1 == items.size())));
          }
        }
      });
    };
    ASSERT_EQ(write(false), write(true)) << "format " << format << ": " << fieldCount << " fields, scale " << scale;
  }
}

// A writer reused with a format rebuilt in place, at the same address and of the same
// size: the second statement follows the new format, not the plan of the old one.
TEST(PlannedFormats, FormatRebuiltInPlaceIsPlannedAnew) {
  std::vector<std::uint32_t> words = testing_support::eFieldFormat({editE(2, 12, 3)}, 0, false);
  const FormatProgram program{reinterpret_cast<const std::uint8_t*>(words.data()), words.size() * 4};
  const std::vector<std::string> records = writeRecords("rebuilt", [&] {
    FormattedWriter writer;
    writer.begin(kTestUnit, program);
    writer.transfer(realItem(1.5, kFollowMore));
    writer.transfer(realItem(-2.0, kFollowLast));
    const std::vector<std::uint32_t> rebuilt = testing_support::eFieldFormat({editE(2, 10, 1)}, 1, false);
    ASSERT_EQ(rebuilt.size(), words.size());
    std::copy(rebuilt.begin(), rebuilt.end(), words.begin());
    writer.begin(kTestUnit, program);
    writer.transfer(realItem(1.5, kFollowMore));
    writer.transfer(realItem(-2.0, kFollowLast));
  });
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0], "   0.150E+01  -0.200E+01");
  EXPECT_EQ(records[1], "   1.5E+00  -2.0E+00");
}

// --- Records and the interpreter ------------------------------------------------------

TEST(PointTable, ExampleRecord) {
  const std::vector<std::string> records = writeRecords("example", [] {
    writeReals(app::kPointTableFormat, {500.0, 1250.0, 25.0, 0.01});
  });
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0], "  5.000000000E+02  1.250000000E+03  2.500000000E+01  1.00000E-02");
  EXPECT_EQ(records[0].size(), 64u);
}

TEST(PointTable, RepeatCountCoversTheFirstThreeItems) {
  // The repeated descriptor must give the same record as three separate ones.
  constexpr auto kUnrolled = compileFormat(formatStart(), scaleFactor(1), editE(1, 17, 9), editE(1, 17, 9),
                                           editE(1, 17, 9), editE(1, 13, 5), formatEnd());
  // Literals after a repeated descriptor come only after its last item, and a literal
  // after the last data descriptor is still written.
  constexpr auto kMarked = compileFormat(formatStart(), scaleFactor(1), editE(3, 13, 5), literal(" |"), editE(1, 17, 9),
                                         literal("|"), formatEnd());
  const std::vector<std::string> records = writeRecords("repeat", [&] {
    writeReals(app::kPointTableFormat, {-1.5, 2.25, 1.0e-7, 3.0e12});
    writeReals(kUnrolled.program(), {-1.5, 2.25, 1.0e-7, 3.0e12});
    writeReals(kMarked.program(), {-1.5, 2.25, 1.0e-7, 3.0e12});
  });
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0], " -1.500000000E+00  2.250000000E+00  1.000000000E-07  3.00000E+12");
  EXPECT_EQ(records[1], records[0]);
  EXPECT_EQ(records[2], " -1.50000E+00  2.25000E+00  1.00000E-07 |  3.000000000E+12|");
}

TEST(PointTable, ScaleFactorStartsAtZeroInEveryStatement) {
  constexpr auto kNoScale = compileFormat(formatStart(), editE(1, 13, 5), formatEnd());
  const std::vector<std::string> records = writeRecords("scale", [&] {
    writeReals(kNoScale.program(), {1234.5678});
    writeReals(app::kPointTableFormat, {1.0, 2.0, 3.0, 4.0});
    writeReals(kNoScale.program(), {1234.5678});
  });
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0], "  0.12346E+04");
  EXPECT_EQ(records[2], "  0.12346E+04");
}

struct MessageCase {
  const FormatProgram* program;
  std::string literal;
};

TEST(Messages, EmptyRecordThenLiteralAndName) {
  const MessageCase cases[] = {
      {&app::kMeshReadFailureFormat, " Error reading mesh file "},
      {&app::kModelReadFailureFormat, " Error reading model file "},
      {&app::kModelTooShortFormat, " Error: not enough values in model file "},
  };
  const std::string longName = "/data/" + std::string(90, 'x') + ".dat";
  ASSERT_EQ(longName.size(), 100u);
  for (const MessageCase& message : cases) {
    SCOPED_TRACE(message.literal);
    const std::vector<std::string> records = writeRecords("message", [&] {
      writeCharacters(*message.program, "mesh.txt");
      writeCharacters(*message.program, "");
      writeCharacters(*message.program, longName);
    });
    const std::vector<std::string> expected = {
        "", message.literal + "mesh.txt", "", message.literal, "", message.literal + longName,
    };
    EXPECT_EQ(records, expected);
  }
}

TEST(Records, SlashesAndRecordsLongerThanTheFirstBuffer) {
  constexpr auto kTwoSlashes = compileFormat(formatStart(), endRecord(2), editA(), formatEnd());
  constexpr auto kLabelled =
      compileFormat(formatStart(), literal("label:"), editA(), literal(":end"), endRecord(), formatEnd());
  std::string text(5000, ' ');
  for (std::size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char>('a' + i % 26);
  }
  const std::vector<std::string> records = writeRecords("long", [&] {
    writeCharacters(kTwoSlashes.program(), text);
    writeCharacters(kLabelled.program(), text);
  });
  // A slash after the last item still ends a record, and the end of the statement
  // ends the (empty) one after it.
  const std::vector<std::string> expected = {"", "", text, "label:" + text + ":end", ""};
  EXPECT_EQ(records, expected);
}

TEST(Records, FixedRecordLengthAdmitsExactlyItsLength) {
  const std::vector<std::string> records = writeRecords("recl", [] {
    testing_support::setRecordLength(kTestUnit, 64);
    writeReals(app::kPointTableFormat, {500.0, 1250.0, 25.0, 0.01});
  });
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].size(), 64u);
}

TEST(RecordsDeathTest, LongerRecordThanTheFixedLengthEndsTheRun) {
  const TempDir directory;
  const std::string path = directory.file("recl_short");
  EXPECT_EXIT(
      {
        openForWriting(path);
        testing_support::setRecordLength(kTestUnit, 63);
        writeReals(app::kPointTableFormat, {500.0, 1250.0, 25.0, 0.01});
      },
      testing::ExitedWithCode(66), "output statement overflows record, unit 1, file .*recl_short");
  // The record was never handed over.
  EXPECT_EQ(readFile(path), "");
}

TEST(RecordsDeathTest, FailedWriteEndsTheRun) {
#if defined(_WIN32)
  GTEST_SKIP() << "/dev/full is a Linux device; the Windows build's failed writes are tested end to end under wine";
#endif
  EXPECT_EXIT(
      {
        openForWriting("/dev/full");
        writeReals(app::kPointTableFormat, {500.0, 1250.0, 25.0, 0.01});
      },
      testing::ExitedWithCode(38), "error during write, unit 1, file /dev/full");
}

}  // namespace

// Decimal conversion: the listed behaviours, table by table, the constant tables against
// an exact rebuild, and the conversions under flush-to-zero arithmetic.
#include "recio/decimal/decimal.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "recio/decimal/powers.h"
#include "recio/platform/platform.h"
#include "support/bigint.h"
#include "support/doubles.h"

namespace {

using recio::decimal::ConversionStatus;
using recio::decimal::DecimalDigits;
using recio::decimal::DigitsKind;
using testing_support::BigInt;

constexpr ConversionStatus kOk = ConversionStatus::Ok;
constexpr ConversionStatus kInvalid = ConversionStatus::Invalid;
constexpr ConversionStatus kOverflow = ConversionStatus::Overflow;

using testing_support::bitsOf;

// Every token is handed over in a heap block of exactly its length, so that the address
// sanitizer reports any read past its end.
recio::decimal::ParseResult<double> parseReal(const std::string& token) {
  const std::vector<char> exact(token.begin(), token.end());
  return recio::decimal::parseReal64(exact.data(), exact.size());
}

recio::decimal::ParseResult<std::int32_t> parseInteger(const std::string& token) {
  const std::vector<char> exact(token.begin(), token.end());
  return recio::decimal::parseInteger32(exact.data(), exact.size());
}

double correctlyRounded(const std::string& text) {
  double value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  EXPECT_EQ(result.ec, std::errc{}) << text;
  return value;
}

// ---------------------------------------------------------------- parseInteger32

struct IntegerCase {
  std::string token;
  ConversionStatus status;
  std::int32_t value;
};

TEST(ParseInteger32, ReadsTokensAsListed) {
  const std::vector<IntegerCase> cases = {
      {"42", kOk, 42},
      {"+42", kOk, 42},
      {"-0042", kOk, -42},
      {"2147483647", kOk, 2147483647},
      {"-2147483648", kOk, std::numeric_limits<std::int32_t>::min()},
      {"2147483648", kOverflow, 0},
      {"-2147483649", kOverflow, 0},
      {std::string(23, '9'), kOverflow, 0},
      {std::string(28, '0') + "1", kOk, 1},
      {std::string(100, '0') + "2147483647", kOk, 2147483647},
      {"-" + std::string(100, '0') + "2147483648", kOk, std::numeric_limits<std::int32_t>::min()},
      {"12a", kInvalid, 0},
      {"1.0", kInvalid, 0},
      {"1_000", kInvalid, 0},
      {"0x10", kInvalid, 0},
      {"A", kInvalid, 0},
      {"f", kInvalid, 0},
      {"", kOk, 0},
      {"-", kOk, 0},
      {"+", kOk, 0},
      {"-0", kOk, 0},
      {"   ", kOk, 0},
      {"  7", kOk, 7},
      {"- 7", kOk, -7},
      {"  +  7", kOk, 7},
      {"\t7", kInvalid, 0},
      {"  \t7", kInvalid, 0},
      {"-\t7", kInvalid, 0},
      {"7 ", kInvalid, 0},
      {"7\t", kInvalid, 0},
      {"--7", kInvalid, 0},
      {"+-7", kInvalid, 0},
      {"7-", kInvalid, 0},
      {"1e3", kInvalid, 0},
  };
  for (const IntegerCase& c : cases) {
    const auto result = parseInteger(c.token);
    EXPECT_EQ(result.status, c.status) << "token '" << c.token << "'";
    EXPECT_EQ(result.value, c.value) << "token '" << c.token << "'";
  }
}

TEST(ParseInteger32, StatusBoundaries) {
  // The 64-bit accumulator: 2^64 - 1 itself fits (and then fails the range test), one
  // more does not; both are Overflow. A bad character anywhere outranks an overflow.
  const std::vector<IntegerCase> cases = {
      {"18446744073709551615", kOverflow, 0},
      {"18446744073709551616", kOverflow, 0},
      {"1844674407370955161", kOverflow, 0},
      {"184467440737095516150", kOverflow, 0},
      {"99999999999999999999999x", kInvalid, 0},
      {"-9223372036854775808", kOverflow, 0},
      {"-2147483647", kOk, -2147483647},
      {"2147483646", kOk, 2147483646},
      {"4294967296", kOverflow, 0},
      {"-4294967296", kOverflow, 0},
  };
  for (const IntegerCase& c : cases) {
    const auto result = parseInteger(c.token);
    EXPECT_EQ(result.status, c.status) << "token '" << c.token << "'";
    EXPECT_EQ(result.value, c.value) << "token '" << c.token << "'";
  }
}

TEST(ParseInteger32, ReadsOnlyItsToken) {
  const std::string text = "-12345";
  for (std::size_t length = 0; length <= text.size(); ++length) {
    const auto result = parseInteger(text.substr(0, length));
    EXPECT_EQ(result.status, kOk);
    EXPECT_EQ(result.value, length <= 1 ? 0 : std::stoi(text.substr(0, length)));
  }
}

// ---------------------------------------------------------------- parseReal64

struct RealCase {
  std::string token;
  ConversionStatus status;
  std::uint64_t bits;  // of the value; 0 with any status but Ok
};

constexpr std::uint64_t kPositiveInfinity = 0x7FF0000000000000;
constexpr std::uint64_t kNegativeInfinity = 0xFFF0000000000000;
constexpr std::uint64_t kNaNMinus = 0xFFF8000000000000;
constexpr std::uint64_t kNaNPlus = 0x7FF8000000000000;
constexpr std::uint64_t kMinusZero = 0x8000000000000000;

void expectReal(const std::vector<RealCase>& cases) {
  for (const RealCase& c : cases) {
    const auto result = parseReal(c.token);
    EXPECT_EQ(result.status, c.status) << "token '" << c.token << "'";
    EXPECT_EQ(bitsOf(result.value), c.bits) << std::hex << "token '" << c.token << "' gives " << result.value;
  }
}

TEST(ParseReal64, ReadsTheListedForms) {
  expectReal({
      {"1", kOk, bitsOf(1.0)},
      {"1.", kOk, bitsOf(1.0)},
      {".5", kOk, bitsOf(0.5)},
      {"-.5E1", kOk, bitsOf(-5.0)},
      {"2.5D-1", kOk, bitsOf(0.25)},
      {"2.5q+1", kOk, bitsOf(25.0)},
      {"25e-1", kOk, bitsOf(2.5)},
      {"1.0+3", kOk, bitsOf(1000.0)},
      {"1.0-3", kOk, bitsOf(0.001)},
      {"1.0E", kOk, bitsOf(1.0)},
      {"1.0E+", kOk, bitsOf(1.0)},
      {"1.5x", kInvalid, 0},
      {"1.2.3", kInvalid, 0},
      {"1E5E3", kInvalid, 0},
      {"1E+-3", kInvalid, 0},
      {"1,5", kInvalid, 0},
      {"INFIN", kInvalid, 0},
      {"inf", kOk, kPositiveInfinity},
      {"INF", kOk, kPositiveInfinity},
      {"-Infinity", kOk, kNegativeInfinity},
      {"iNfInItY", kOk, kPositiveInfinity},
      {"NaN", kOk, kNaNMinus},
      {"nan()", kOk, kNaNMinus},
      {"NAN(q_1)", kOk, kNaNMinus},
      {"+nan", kOk, kNaNPlus},
      {"0.1", kOk, 0x3FB999999999999A},
      {"9007199254740993", kOk, bitsOf(9007199254740992.0)},
      {"9007199254740995", kOk, bitsOf(9007199254740996.0)},
      {"1E309", kOverflow, 0},
      {"1E1000000", kOverflow, 0},
      {"1E-400", kOk, 0},
      {"1E-1000000", kOk, 0},
      {"-1E-400", kOk, kMinusZero},
      {"4.9406564584124654E-324", kOk, 1},
      {"2E-324", kOk, 0},
      {"-0", kOk, kMinusZero},
      {"-0.000", kOk, kMinusZero},
      {"-0E5", kOk, kMinusZero},
      {"-", kOk, 0},
      {"+", kOk, 0},
      {".", kOk, 0},
      {"-.", kOk, 0},
      {"E5", kOk, 0},
      {"", kOk, 0},
  });
}

TEST(ParseReal64, ScanningCorners) {
  expectReal({
      // White space before the number only.
      {" \t\n\v\f\r1.5", kOk, bitsOf(1.5)},
      {"1.5 ", kInvalid, 0},
      {"- 1", kInvalid, 0},
      // Words.
      {"+inf", kOk, kPositiveInfinity},
      {"-inf", kOk, kNegativeInfinity},
      {"infinity", kOk, kPositiveInfinity},
      {"infx", kInvalid, 0},
      {"infinityx", kInvalid, 0},
      {"infinit", kInvalid, 0},
      {"in", kInvalid, 0},
      {"i", kInvalid, 0},
      {"1inf", kInvalid, 0},
      {".inf", kInvalid, 0},
      {"-nan", kOk, kNaNMinus},
      {"nan", kOk, kNaNMinus},
      {"+NaN(_)", kOk, kNaNPlus},
      {"nan (Ab9_)", kOk, kNaNMinus},
      {"nan \t\r\n\v\f()", kOk, kNaNMinus},
      {"nan (", kInvalid, 0},
      {"nan(a b)", kInvalid, 0},
      {"nan(a))", kInvalid, 0},
      {"nan((a))", kInvalid, 0},
      {"na(a)", kInvalid, 0},
      {"nan(", kInvalid, 0},
      {"nan(abc", kInvalid, 0},
      {"nan(a-b)", kInvalid, 0},
      {"nan()x", kInvalid, 0},
      {"nanx", kInvalid, 0},
      {"na", kInvalid, 0},
      {"n", kInvalid, 0},
      // Exponent forms.
      {"1.5E+03", kOk, bitsOf(1500.0)},
      {"1.5e-03", kOk, bitsOf(0.0015)},
      {"1D2", kOk, bitsOf(100.0)},
      {"1d-2", kOk, bitsOf(0.01)},
      {"1Q2", kOk, bitsOf(100.0)},
      {"1-2", kOk, bitsOf(0.01)},
      {"1.5-3", kOk, bitsOf(0.0015)},
      {".5+1", kOk, bitsOf(5.0)},
      {"1+", kOk, bitsOf(1.0)},
      {"1-", kOk, bitsOf(1.0)},
      {"1E-", kOk, bitsOf(1.0)},
      {"1E3-2", kInvalid, 0},
      {"1E3+", kInvalid, 0},
      {"1E3.", kInvalid, 0},
      {"1E0000000005", kOk, bitsOf(1e5)},
      {"1E+000000000000000000000000000000000000000308", kOk, bitsOf(1e308)},
      {"1E1234567", kOverflow, 0},
      {"1E-1234567", kOk, 0},
      {"-1E-1234567", kOk, kMinusZero},
      {"0E9999999999", kOk, 0},
      {"-0E-9999999999", kOk, kMinusZero},
      {"1E999999", kOverflow, 0},
      {"1E-999999", kOk, 0},
      {"E", kOk, 0},
      {"e5", kOk, 0},
      {"-E5", kOk, 0},
      {"-.E5", kOk, 0},
      {"-.0E5", kOk, kMinusZero},
      {"+0", kOk, 0},
      // A sign starts an exponent only after a mantissa.
      {"+-1", kInvalid, 0},
      {"--1", kInvalid, 0},
      {"1..", kInvalid, 0},
      {"..", kInvalid, 0},
      {"1._", kInvalid, 0},
      {"1e5_", kInvalid, 0},
      // Leading zeros never count; zeros after the point do as places.
      {"000000000000000000000000000000000001.5", kOk, bitsOf(1.5)},
      {"0.000000000000000000000000000000000015", kOk, bitsOf(1.5e-35)},
      {"-00.00", kOk, kMinusZero},
  });
}

TEST(ParseReal64, LimitsOfTheRange) {
  expectReal({
      {"1.7976931348623157e308", kOk, 0x7FEFFFFFFFFFFFFF},
      {"1.7976931348623158e308", kOk, 0x7FEFFFFFFFFFFFFF},  // just below the midpoint to 2^1024
      {"1.7976931348623159e308", kOverflow, 0},
      {"-1.7976931348623159e308", kOverflow, 0},
      {"9.99e308", kOverflow, 0},
      {"0.1e309", kOk, bitsOf(1e308)},
      {"0.18e309", kOverflow, 0},
      {"2.2250738585072014e-308", kOk, 0x0010000000000000},
      {"2.2250738585072011e-308", kOk, 0x000FFFFFFFFFFFFF},
      {"2.4703282292062328E-324", kOk, 1},  // just above 2^-1075: the smallest subnormal
      {"2.4703282292062327E-324", kOk, 0},  // just below: zero
      {"-2.4703282292062328E-324", kOk, kMinusZero | 1},
      {"7.4109846876186982E-324", kOk, 2},  // 1.5 * 2^-1074 rounds to even: 2
      {"1E-323", kOk, 2},
      {"9.9E-324", kOk, 2},
      {"0.000001E-317", kOk, 2},
      {"1E-324", kOk, 0},
      {"999E-327", kOk, 0},
  });
}

TEST(ParseReal64, KeepsTwentySevenDigitsAndAStickyFlag) {
  const std::string first27 = "123456789012345678901234567";
  const double expected = parseReal(first27 + "E13").value;
  for (const std::string& token : {first27 + "8901234567890", first27 + "0000000000000",
                                   "0.0000" + first27 + "8901234567890E+44", "-" + first27 + "8901234567890"}) {
    const auto result = parseReal(token);
    EXPECT_EQ(result.status, kOk);
    EXPECT_EQ(std::abs(result.value), expected) << token;
  }
  EXPECT_EQ(parseReal(first27 + "8901234567890").value, 1.2345678901234568e39);
}

TEST(ParseReal64, DroppedDigitsDecideAnExactMidpoint) {
  // The 27 kept digits put the value exactly on a midpoint between two doubles, and only
  // the digits after them say on which side it lies. With D and the power exact the
  // general case is correctly rounded, so these must agree with a correct conversion.
  const std::string twoTo87 = "154742504910672534362390528";           // 2^87; 2^87 * 10^23 = 2^110 * 5^23,
  const std::string twoTo87Plus2To34 = "154742504910672551542259712";  // and 5^23 has 54 bits
  for (const std::string& token :
       {twoTo87 + "e23", twoTo87 + "1e22", twoTo87 + "00000000000000000000001e1", "2" + twoTo87.substr(1) + "1e22",
        twoTo87Plus2To34, twoTo87Plus2To34 + "1e-1", twoTo87Plus2To34 + "0000000000000000000000001e-25"}) {
    const auto result = parseReal(token);
    EXPECT_EQ(result.status, kOk) << token;
    EXPECT_EQ(bitsOf(result.value), bitsOf(correctlyRounded(token))) << token;
  }
  EXPECT_NE(parseReal(twoTo87 + "e23").value, parseReal(twoTo87 + "1e22").value);
  EXPECT_NE(parseReal(twoTo87Plus2To34).value, parseReal(twoTo87Plus2To34 + "1e-1").value);
}

TEST(ParseReal64, ReadsOnlyItsToken) {
  // Every prefix of tokens in each form: a prefix read from inside a longer buffer gives
  // what the prefix alone gives.
  for (const std::string text : {"-1.25E+17999", " +infinity", "-nan(q_1)", "0.000123456789012345678901234567890e-3",
                                 "1.0+3", "12345678901234567"}) {
    for (std::size_t length = 0; length <= text.size(); ++length) {
      const auto inside = recio::decimal::parseReal64(text.data(), length);
      const auto alone = parseReal(text.substr(0, length));
      EXPECT_EQ(inside.status, alone.status) << text.substr(0, length);
      EXPECT_EQ(bitsOf(inside.value), bitsOf(alone.value)) << text.substr(0, length);
    }
  }
}

// Tokens whose value by the defined steps is one unit in the last place away from the
// correctly rounded double (or Overflow instead of the largest double). Each lies within
// about 2^-62 of a midpoint between two doubles, or on one; the column says which step
// is inexact. The defined values were also checked against an independent evaluation.
struct DifferingCase {
  std::string token;
  ConversionStatus status;
  std::uint64_t definedBits;
  std::uint64_t correctBits;
};

TEST(ParseReal64, DefinedResultWhereItDiffersFromCorrectRounding) {
  const std::vector<DifferingCase> cases = {
      // Exactly on a midpoint; 10^-1 rounded up lifts the product above it.
      {"9007199254740993.0", kOk, 0x4340000000000001, 0x4340000000000000},
      {"4503599627370496.5", kOk, 0x4330000000000001, 0x4330000000000000},
      {"67430184142562005e-1", kOk, 0x4337F4BD514BB049, 0x4337F4BD514BB048},
      // D of more than 64 bits cut to 64, with an exact power.
      {"28642945792961368883e1", kOk, 0x442F0E03B4D65CA3, 0x442F0E03B4D65CA2},
      {"550000010000900000000000000e23", kOk, 0x4A42D0F6ABC8884E, 0x4A42D0F6ABC8884F},
      // Both D and the power inexact.
      {"27879738218989524848e57", kOk, 0x4FCED1AFB2683B5A, 0x4FCED1AFB2683B59},
      {"649919999999999999999e-297", kOk, 0x06970AB1ABA9C45A, 0x06970AB1ABA9C459},
      // Fast case: 27 kept digits form an exact D, D * 10^o is a midpoint, and the
      // non-zero digits dropped after the 27th do not enter its rounding.
      {"1562699015454402772373340165", kOk, 0x459432898D7FD3BA, 0x459432898D7FD3BB},
      {"1907614077775549719495311361", kOk, 0x4598A7C3F97A4664, 0x4598A7C3F97A4665},
      // Just below the midpoint between the largest double and 2^1024.
      {"17976931348623158079e289", kOverflow, 0, 0x7FEFFFFFFFFFFFFF},
      {"179769313486231580793e288", kOverflow, 0, 0x7FEFFFFFFFFFFFFF},
  };
  for (const DifferingCase& c : cases) {
    const auto result = parseReal(c.token);
    EXPECT_EQ(result.status, c.status) << c.token;
    EXPECT_EQ(bitsOf(result.value), c.definedBits) << c.token;
    EXPECT_EQ(bitsOf(correctlyRounded(c.token)), c.correctBits) << c.token;
    if (c.status == kOk) {
      EXPECT_EQ(std::max(c.definedBits, c.correctBits) - std::min(c.definedBits, c.correctBits), 1u) << c.token;
    }
  }
  // Without the point, the same digits are the fast case and correctly rounded.
  EXPECT_EQ(bitsOf(parseReal("9007199254740993").value), 0x4340000000000000u);
}

// ---------------------------------------------------------------- generateDigits

struct DigitsCase {
  double value;
  int digitCount;
  DigitsKind kind;
  bool negative;
  std::string digits;
  int exponent;
  std::string text;
};

TEST(GenerateDigits, ListedValues) {
  const double infinity = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<DigitsCase> cases = {
      {1.0 / 64, 10, DigitsKind::Finite, false, "1562500000", -1, ""},
      {0.99999999996, 10, DigitsKind::Finite, false, "1000000000", 1, ""},
      {1024.125, 6, DigitsKind::Finite, false, "102412", 4, ""},
      {1024.375, 6, DigitsKind::Finite, false, "102438", 4, ""},
      {0.0, 10, DigitsKind::Zero, false, "0000000000", 0, ""},
      {-0.0, 10, DigitsKind::Zero, true, "0000000000", 0, ""},
      {DBL_MAX, 10, DigitsKind::Finite, false, "1797693135", 309, ""},
      {std::numeric_limits<double>::denorm_min(), 10, DigitsKind::Finite, false, "4940656458", -323, ""},
      {1.0, 6, DigitsKind::Finite, false, "100000", 1, ""},
      {-2.5, 1, DigitsKind::Finite, true, "2", 1, ""},
      {0.125, 2, DigitsKind::Finite, false, "12", 0, ""},
      {infinity, 10, DigitsKind::Infinite, false, "", 0, "Infinity"},
      {-infinity, 6, DigitsKind::Infinite, true, "", 0, "Infinity"},
      {nan, 10, DigitsKind::NaN, false, "", 0, "NaN"},
      {-nan, 10, DigitsKind::NaN, false, "", 0, "NaN"},
      // Ties on the last digit in both directions, and a carry through all digits.
      {0.5, 1, DigitsKind::Finite, false, "5", 0, ""},
      {1234565.0, 6, DigitsKind::Finite, false, "123456", 7, ""},
      {1234575.0, 6, DigitsKind::Finite, false, "123458", 7, ""},
      {9999995.0, 6, DigitsKind::Finite, false, "100000", 8, ""},
      {999999.5, 6, DigitsKind::Finite, false, "100000", 7, ""},
      {1e22, 6, DigitsKind::Finite, false, "100000", 23, ""},
      {1e23, 6, DigitsKind::Finite, false, "100000", 24, ""},  // the double just below 10^23
      {1e23, 17, DigitsKind::Finite, false, "99999999999999992", 23, ""},
      {DBL_MIN, 17, DigitsKind::Finite, false, "22250738585072014", -307, ""},
      // The digit count is clamped to 1 .. 40.
      {123.456, 0, DigitsKind::Finite, false, "1", 3, ""},
      {123.456, 99, DigitsKind::Finite, false, "1234560000000000030695446184836328029633", 3, ""},
  };
  for (const DigitsCase& c : cases) {
    DecimalDigits result{};
    recio::decimal::generateDigits(c.value, c.digitCount, result);
    EXPECT_EQ(result.kind, c.kind) << c.value;
    EXPECT_EQ(result.negative, c.negative) << c.value;
    EXPECT_EQ(std::string(result.digits, static_cast<std::size_t>(result.count)), c.digits) << c.value;
    EXPECT_EQ(result.exponent, c.exponent) << c.value;
    EXPECT_STREQ(result.text, c.text.c_str()) << c.value;
  }
}

// ---------------------------------------------------------------- constant tables

using testing_support::Power64;

Power64 referencePower(int k) {
  const Power64 power = testing_support::powerOfTenRounded64(k);
  EXPECT_FALSE(power.tie) << "10^" << k;
  return power;
}

TEST(PowerTables, MatchAnExactRebuild) {
  using namespace recio::decimal;
  for (int k = 0; k <= kMaxExactBinary64Power; ++k) {
    EXPECT_EQ(kBinary64Powers[static_cast<std::size_t>(k)], correctlyRounded("1e" + std::to_string(k))) << k;
  }
  for (int k = -kFinePowerLimit; k <= kFinePowerLimit; ++k) {
    const Power64 expected = referencePower(k);
    const NormalizedPower& entry = kFinePowers[static_cast<std::size_t>(k + kFinePowerLimit)];
    EXPECT_EQ(entry.significand, expected.significand) << k;
    EXPECT_EQ(entry.binaryExponent, expected.binaryExponent) << k;
    if (k >= 0 && k <= kMaxExactPower) {
      EXPECT_EQ(BigInt(entry.significand) << std::max(0, entry.binaryExponent - 64),
                BigInt::power(10, k) << std::max(0, 64 - entry.binaryExponent))
          << "10^" << k << " is exact";
    }
  }
  const std::vector<int> coarseExponents = {-395, -367, -342, -314, -289, -261, -233, -210, -184,
                                            -157, -132, -104, -81,  -53,  27,   55,   77,   105,
                                            133,  161,  188,  214,  242,  269,  297,  320,  345};
  ASSERT_EQ(coarseExponents.size(), kCoarsePowers.size());
  for (std::size_t i = 0; i < coarseExponents.size(); ++i) {
    EXPECT_EQ(kCoarseExponents[i], coarseExponents[i]);
    const Power64 expected = referencePower(coarseExponents[i]);
    EXPECT_EQ(kCoarsePowers[i].significand, expected.significand) << coarseExponents[i];
    EXPECT_EQ(kCoarsePowers[i].binaryExponent, expected.binaryExponent) << coarseExponents[i];
  }
}

TEST(PowerTables, CombinedPowersAreTheReducedProducts) {
  using namespace recio::decimal;
  for (int k = kMinPowerOfTen; k <= kMaxPowerOfTen; ++k) {
    const NormalizedPower power = powerOfTen64(k);
    if (k >= -kFinePowerLimit && k <= kFinePowerLimit) {
      const Power64 expected = referencePower(k);
      EXPECT_EQ(power.significand, expected.significand) << k;
      continue;
    }
    int coarse = kMinPowerOfTen;
    for (int candidate : kCoarseExponents) {
      if (candidate <= k) coarse = candidate;
    }
    ASSERT_LE(k - coarse, kMaxExactPower) << k;
    const Power64 coarsePower = referencePower(coarse);
    const Power64 finePower = referencePower(k - coarse);
    const BigInt product = BigInt(coarsePower.significand) * BigInt(finePower.significand);
    const int length = product.bitLength();
    BigInt reduced = (product >> (length - 64)) + BigInt(product.bit(length - 65) ? 1 : 0);
    int binaryExponent = coarsePower.binaryExponent + finePower.binaryExponent + (length - 128);
    if (reduced.bitLength() == 65) {
      reduced = reduced >> 1;
      ++binaryExponent;
    }
    EXPECT_EQ(power.significand, reduced.low64()) << k;
    EXPECT_EQ(power.binaryExponent, binaryExponent) << k;
  }
}

// ---------------------------------------------------------------- flush-to-zero

// The program runs with the flush-to-zero bit set; subnormal results of either
// direction must not depend on it.
TEST(DecimalConversion, SameResultsUnderFlushToZero) {
  const std::vector<std::string> tokens = {"4.9406564584124654E-324",
                                           "2.2250738585072011e-308",
                                           "1e-310",
                                           "123456789012345678901234567890e-340",
                                           "0.1",
                                           "1e-22",
                                           "3.5e-320"};
  std::vector<double> values = {std::numeric_limits<double>::denorm_min(), 2.2250738585072009e-308, 1e-310, 0.1,
                                DBL_MAX};
  std::vector<std::uint64_t> parsed;
  std::vector<std::string> digits;
  const auto collect = [&](std::vector<std::uint64_t>& bits, std::vector<std::string>& text) {
    for (const std::string& token : tokens) bits.push_back(bitsOf(parseReal(token).value));
    for (double value : values) {
      for (int n : {6, 10, 17, 25}) {
        DecimalDigits result{};
        recio::decimal::generateDigits(value, n, result);
        text.push_back(std::string(result.digits, static_cast<std::size_t>(result.count)) + "e" +
                       std::to_string(result.exponent));
      }
    }
  };
  collect(parsed, digits);
  // The mode belongs to a thread: one of its own is set so, and the test's stays as it was.
  std::vector<std::uint64_t> parsedFlushing;
  std::vector<std::string> digitsFlushing;
  std::thread([&] {
    recio::platform::enableFlushToZero();
    collect(parsedFlushing, digitsFlushing);
  }).join();
  EXPECT_EQ(parsed, parsedFlushing);
  EXPECT_EQ(digits, digitsFlushing);
  EXPECT_NE(parsed[0], 0u);
}

}  // namespace

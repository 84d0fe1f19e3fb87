// generateDigits against the exact decimal expansion of the value, rounded by hand on
// its digit string, over random bit patterns and the values that stress the rounding.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>

#include "recio/decimal/decimal.h"
#include "recio/decimal/short_digits.h"
#include "support/bigint.h"
#include "support/doubles.h"
#include "support/sanitizer.h"
#include "support/sweeps.h"

namespace {

using recio::decimal::DecimalDigits;
using recio::decimal::DigitsKind;
using testing_support::caseCount;
using testing_support::ExactDecimal;
using testing_support::finiteDouble;
using testing_support::sweepCount;

double nearestDouble(const std::string& text) {
  double value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

// Checks one value and digit count; returns whether it matched. `expansion` is the exact
// expansion of |value| (finite, non-zero).
class DigitsChecker {
 public:
  bool check(double value, int digitCount) {
    const ExactDecimal expansion = testing_support::exactDecimal(std::abs(value));
    return check(value, digitCount, expansion);
  }

  bool check(double value, int digitCount, const ExactDecimal& expansion) {
    ++checked_;
    const ExactDecimal expected = testing_support::roundDecimal(expansion, digitCount);
    DecimalDigits result{};
    recio::decimal::generateDigits(value, digitCount, result);
    const std::string digits(result.digits, static_cast<std::size_t>(result.count));
    const bool same = result.kind == DigitsKind::Finite && result.negative == std::signbit(value) &&
                      digits == expected.digits && result.exponent == expected.exponent;
    if (!same && ++mismatches_ <= 10) {
      ADD_FAILURE() << "value " << std::hexfloat << value << std::defaultfloat << " n=" << digitCount << ": got "
                    << digits << "e" << result.exponent << ", expected " << expected.digits << "e" << expected.exponent;
    }
    return same;
  }

  long checked() const { return checked_; }
  long mismatches() const { return mismatches_; }

 private:
  long checked_ = 0;
  long mismatches_ = 0;
};

TEST(GenerateDigitsExact, RandomBitPatternsForTheTableFields) {
  std::mt19937_64 random(20240611);
  DigitsChecker checker;
  const int count = sweepCount(1000000);
  for (int i = 0; i < count; ++i) {
    const double value = finiteDouble(random);
    const ExactDecimal expansion = testing_support::exactDecimal(std::abs(value));
    checker.check(value, 6, expansion);
    checker.check(value, 10, expansion);
  }
  EXPECT_EQ(checker.mismatches(), 0) << "of " << checker.checked();
}

TEST(GenerateDigitsExact, RandomValuesOfModestSize) {
  // Values a model or a mesh holds: magnitudes from 1e-12 to 1e12, and short dyadic
  // fractions, which are often exact ties.
  std::mt19937_64 random(7);
  std::uniform_real_distribution<double> logMagnitude(-12.0, 12.0);
  DigitsChecker checker;
  const int count = sweepCount(300000);
  for (int i = 0; i < count; ++i) {
    const double modest = std::pow(10.0, logMagnitude(random)) * (random() % 2 != 0 ? -1 : 1);
    const double dyadic = std::ldexp(static_cast<double>(random() % 100000000 + 1), -static_cast<int>(random() % 40));
    for (double value : {modest, dyadic}) {
      const ExactDecimal expansion = testing_support::exactDecimal(std::abs(value));
      checker.check(value, 6, expansion);
      checker.check(value, 10, expansion);
    }
  }
  EXPECT_EQ(checker.mismatches(), 0) << "of " << checker.checked();
}

TEST(GenerateDigitsExact, OtherDigitCounts) {
  std::mt19937_64 random(99);
  DigitsChecker checker;
  for (int digitCount = 1; digitCount <= recio::decimal::DecimalDigits::kMaxDigits; ++digitCount) {
    // Every digit count draws all its values, so that the next one's are those of the
    // full sweep; a short sweep checks the first of them.
    const int drawn = caseCount(digitCount <= 20 ? 30000 : 3000);
    const int checked = sweepCount(digitCount <= 20 ? 30000 : 3000);
    for (int i = 0; i < drawn; ++i) {
      const double value = i % 2 == 0
                               ? finiteDouble(random)
                               : std::ldexp(static_cast<double>(random() >> 11), static_cast<int>(random() % 120) - 90);
      if (i < checked && value != 0) checker.check(value, digitCount);
    }
  }
  EXPECT_EQ(checker.mismatches(), 0) << "of " << checker.checked();
}

TEST(GenerateDigitsExact, PowersOfTenAndTheirNeighbours) {
  DigitsChecker checker;
  for (int exponent = -323; exponent <= 308; ++exponent) {
    const double nearest = nearestDouble("1e" + std::to_string(exponent));
    for (double value : {std::nextafter(nearest, 0.0), nearest, std::nextafter(nearest, HUGE_VAL)}) {
      if (value == 0 || std::isinf(value)) continue;
      for (int digitCount = 1; digitCount <= 20; ++digitCount) checker.check(value, digitCount);
      checker.check(-value, 6);
    }
  }
  EXPECT_EQ(checker.mismatches(), 0) << "of " << checker.checked();
}

// Doubles nearest to the midpoint between two consecutive n-digit decimals, with both of
// their neighbours: the rounding of each of them is decided within a few units in the
// last place, and exact ties are among them where the midpoint is a double.
void checkMidpoints(int digitCount, int count, std::uint64_t seed) {
  std::mt19937_64 random(seed);
  DigitsChecker checker;
  for (int i = 0; i < count; ++i) {
    std::string digits(1, static_cast<char>('1' + random() % 9));
    for (int d = 1; d < digitCount; ++d) digits.push_back(static_cast<char>('0' + random() % 10));
    // Mostly moderate exponents, where ties are exact doubles; some across the range.
    const int exponent = i % 4 == 0 ? static_cast<int>(random() % 600) - 300 : static_cast<int>(random() % 40) - 20;
    const double nearest = nearestDouble(digits + "5e" + std::to_string(exponent));
    for (double value : {std::nextafter(nearest, 0.0), nearest, std::nextafter(nearest, HUGE_VAL)}) {
      if (value != 0 && std::isfinite(value)) checker.check(value, digitCount);
    }
  }
  EXPECT_EQ(checker.mismatches(), 0) << "of " << checker.checked();
}

TEST(GenerateDigitsExact, MidpointsOfSixDigitDecimals) { checkMidpoints(6, sweepCount(200000), 61); }

TEST(GenerateDigitsExact, MidpointsOfTenDigitDecimals) { checkMidpoints(10, sweepCount(200000), 101); }

// The short fields' digits as one integer: wherever shortDigits answers, its digits and
// exponent are the exact ones, on every binary exponent, on random significands and on
// the doubles around the midpoints of n-digit decimals; and it answers nearly always.
TEST(ShortDigits, AreTheExactDigitsWheneverTheyAnswer) {
  std::mt19937_64 random(20261208);
  long checked = 0, answered = 0, mismatches = 0;
  const auto check = [&](double value, int digitCount) {
    ++checked;
    const auto [digits, exponent] = recio::decimal::shortDigits(value, digitCount);
    if (digits == 0) return;
    ++answered;
    const ExactDecimal expected =
        testing_support::roundDecimal(testing_support::exactDecimal(std::abs(value)), digitCount);
    if ((std::to_string(digits) != expected.digits || exponent != expected.exponent) && ++mismatches <= 10) {
      ADD_FAILURE() << std::hexfloat << value << std::defaultfloat << " n=" << digitCount << ": got " << digits << "e"
                    << exponent << ", expected " << expected.digits << "e" << expected.exponent;
    }
  };
  const int perExponent = sweepCount(50);
  for (std::uint64_t biased = 0; biased < 0x7FF; ++biased) {
    for (int i = 0; i < perExponent; ++i) {
      const std::uint64_t fraction = random() & ((std::uint64_t{1} << 52) - 1);
      if (biased == 0 && fraction == 0) continue;
      const double value = std::bit_cast<double>(biased << 52 | fraction | (random() % 2) << 63);
      check(value, 1 + static_cast<int>(random() % recio::decimal::kShortMaxDigits));
    }
  }
  for (int i = 0; i < sweepCount(100000); ++i) {
    const int digitCount = 1 + static_cast<int>(random() % recio::decimal::kShortMaxDigits);
    std::string digits(1, static_cast<char>('1' + random() % 9));
    for (int d = 1; d < digitCount; ++d) digits.push_back(static_cast<char>('0' + random() % 10));
    const double nearest = nearestDouble(digits + "5e" + std::to_string(static_cast<int>(random() % 80) - 40));
    for (double value : {std::nextafter(nearest, 0.0), nearest, std::nextafter(nearest, HUGE_VAL)})
      check(value, digitCount);
  }
  EXPECT_EQ(mismatches, 0) << "of " << answered << " answered";
  EXPECT_GT(answered, checked * 99 / 100) << "of " << checked;
  for (double value : {0.0, -0.0, HUGE_VAL, -HUGE_VAL, std::numeric_limits<double>::quiet_NaN(),
                       std::numeric_limits<double>::denorm_min(), -std::numeric_limits<double>::denorm_min()}) {
    EXPECT_EQ(recio::decimal::shortDigits(value, 6).digits, 0u) << value;
  }
  EXPECT_EQ(recio::decimal::shortDigits(1.5, 0).digits, 0u);
  EXPECT_EQ(recio::decimal::shortDigits(1.5, recio::decimal::kShortMaxDigits + 1).digits, 0u);
}

TEST(GenerateDigitsExact, ExactTiesOfSmallIntegers) {
  // Integers ending in 5 one digit beyond n, scaled by powers of two small enough to stay
  // exact: every one is a tie for n.
  std::mt19937_64 random(5);
  DigitsChecker checker;
  const int count = sweepCount(100000);
  for (int i = 0; i < count; ++i) {
    const int digitCount = 1 + static_cast<int>(random() % 15);
    std::uint64_t integer = 1 + random() % 9;
    for (int d = 1; d < digitCount; ++d) integer = integer * 10 + random() % 10;
    integer = integer * 10 + 5;
    const double value = std::ldexp(static_cast<double>(integer), static_cast<int>(random() % 21) - 10);
    if (integer < (std::uint64_t{1} << 53)) checker.check(value, digitCount);
  }
  EXPECT_EQ(checker.mismatches(), 0) << "of " << checker.checked();
}

TEST(GenerateDigitsExact, ExtremeValues) {
  DigitsChecker checker;
  const double values[] = {std::numeric_limits<double>::denorm_min(),
                           std::numeric_limits<double>::min(),
                           std::nextafter(std::numeric_limits<double>::min(), 0.0),
                           std::numeric_limits<double>::max(),
                           std::nextafter(std::numeric_limits<double>::max(), 0.0),
                           3 * std::numeric_limits<double>::denorm_min()};
  for (double value : values) {
    for (int digitCount = 1; digitCount <= DecimalDigits::kMaxDigits; ++digitCount) {
      checker.check(value, digitCount);
      checker.check(-value, digitCount);
    }
  }
  EXPECT_EQ(checker.mismatches(), 0) << "of " << checker.checked();
}

}  // namespace

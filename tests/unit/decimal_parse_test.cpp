// parseReal64 on random tokens in all written forms: against std::from_chars where the
// result is the correctly rounded value by construction, and against a plain big-integer
// evaluation of the defined steps everywhere, including tokens built to lie within a hair
// of a midpoint between two doubles.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <iostream>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "recio/decimal/decimal.h"
#include "support/bigint.h"
#include "support/doubles.h"
#include "support/sanitizer.h"
#include "support/sweeps.h"

namespace {

using recio::decimal::ConversionStatus;
using testing_support::BigInt;
using testing_support::bitsOf;
using testing_support::caseCount;
using testing_support::RoundedBinary64;
using testing_support::sweepCount;
using testing_support::sweepShare;

// ------------------------------------------------------------------ exact references

const BigInt& powerOfTen(int exponent) {
  static std::vector<BigInt> powers{BigInt(1)};
  while (static_cast<int>(powers.size()) <= exponent) powers.push_back(powers.back() * BigInt(10));
  return powers[static_cast<std::size_t>(exponent)];
}

// A value significand * 2^scale.
struct Scaled {
  BigInt significand;
  int scale;
};

// Cut to 64 bits as the parser defines it: the top 64 bits plus the 65th, a carry giving
// 2^63 one binade up; lower bits are dropped without trace.
Scaled cutTo64Bits(const Scaled& value) {
  const int length = value.significand.bitLength();
  if (length <= 64) return value;
  Scaled cut{(value.significand >> (length - 64)) + BigInt(value.significand.bit(length - 65) ? 1 : 0),
             value.scale + length - 64};
  if (cut.significand.bitLength() == 65) cut = {cut.significand >> 1, cut.scale + 1};
  return cut;
}

// The 64-bit power T for an exponent o: a rounded power of ten for |o| <= 47, otherwise
// the product of the coarse power below o and the (exact) power of the rest, cut to 64 bits.
const Scaled& modelPower(int exponent) {
  static std::map<int, Scaled> cache;
  const auto found = cache.find(exponent);
  if (found != cache.end()) return found->second;
  const auto rounded = [](int k) {
    const testing_support::Power64 power = testing_support::powerOfTenRounded64(k);
    return Scaled{BigInt(power.significand), power.binaryExponent - 64};
  };
  Scaled power;
  if (std::abs(exponent) <= 47) {
    power = rounded(exponent);
  } else {
    static const int kCoarse[] = {-395, -367, -342, -314, -289, -261, -233, -210, -184, -157, -132, -104, -81, -53,
                                  27,   55,   77,   105,  133,  161,  188,  214,  242,  269,  297,  320,  345};
    int coarse = 0;
    for (int candidate : kCoarse) {
      if (candidate <= exponent) coarse = candidate;
    }
    const Scaled high = rounded(coarse);
    const Scaled low = rounded(exponent - coarse);
    power = cutTo64Bits({high.significand * low.significand, high.scale + low.scale});
  }
  return cache.emplace(exponent, power).first->second;
}

struct Expected {
  ConversionStatus status;
  double magnitude;
  bool correctlyRoundedByDesign;  // the defined steps give the correctly rounded value
  const char* route;              // which steps were taken
};

Expected fromRounding(const RoundedBinary64& rounded, bool correct, const char* route) {
  if (rounded.overflow) return {ConversionStatus::Overflow, 0.0, correct, route};
  return {ConversionStatus::Ok, rounded.value, correct, route};
}

// The correctly rounded magnitude of significant * 10^scale.
Expected correctValue(const std::string& significant, std::int64_t scale) {
  const BigInt digits = BigInt::fromDecimal(significant);
  const auto decimalExponent = static_cast<std::int64_t>(significant.size()) + scale;
  if (decimalExponent < -330) return {ConversionStatus::Ok, 0.0, true, "exact"};
  if (decimalExponent > 320) return {ConversionStatus::Overflow, 0.0, true, "exact"};
  if (scale >= 0) {
    return fromRounding(testing_support::roundScaled(digits * powerOfTen(static_cast<int>(scale)), 0), true, "exact");
  }
  return fromRounding(testing_support::roundQuotient(digits, powerOfTen(static_cast<int>(-scale)), 0), true, "exact");
}

// The value steps, one after the other, for a token with significant digits
// `significant` (first one non-zero) and f = `scale`.
Expected modelValue(const std::string& significant, std::int64_t scale) {
  const auto digitCount = static_cast<std::int64_t>(significant.size());  // N
  const std::int64_t decimalExponent = digitCount + scale;                // X
  if (decimalExponent < -323) return {ConversionStatus::Ok, 0.0, false, "below range"};
  if (decimalExponent > 309) return {ConversionStatus::Overflow, 0.0, false, "above range"};
  const std::string kept = significant.substr(0, 27);
  const bool sticky = significant.find_first_not_of('0', 27) != std::string::npos && digitCount > 27;
  const auto o = static_cast<int>(scale + std::max<std::int64_t>(digitCount - 27, 0));
  const BigInt d = BigInt::fromDecimal(kept);

  int trailingZeros = 0;
  while (!d.bit(trailingZeros)) ++trailingZeros;
  const bool exactInBinary64 = (d >> trailingZeros).bitLength() <= 53;
  const bool fast = (o == 0 && digitCount <= 18) || (exactInBinary64 && std::abs(o) <= 22) ||
                    (digitCount <= 15 && o > 22 && digitCount + o <= 37);
  if (fast) {
    // One rounding of D * 10^o; dropped digits play no part.
    const RoundedBinary64 rounded = o >= 0 ? testing_support::roundScaled(d * powerOfTen(o), 0)
                                           : testing_support::roundQuotient(d, powerOfTen(-o), 0);
    return fromRounding(rounded, !sticky, sticky ? "fast case, dropped digits ignored" : "fast case");
  }
  if (o == 0) return fromRounding(testing_support::roundScaled(d, 0, sticky), true, "D rounded whole");
  const Scaled reducedD = cutTo64Bits({d, 0});
  const Scaled& power = modelPower(o);
  const RoundedBinary64 rounded =
      testing_support::roundScaled(reducedD.significand * power.significand, reducedD.scale + power.scale, sticky);
  const bool exactD = d.bitLength() <= 64;
  const bool exactT = o >= 0 && o <= 27;
  return fromRounding(rounded, exactD && exactT,
                      exactD ? (exactT ? "exact D and T" : "T rounded")
                             : (exactT ? "D cut to 64 bits" : "D cut to 64 bits, T rounded"));
}

// ------------------------------------------------------------------ random tokens

std::string randomSignificant(std::mt19937_64& random, int length) {
  std::string digits(1, static_cast<char>('1' + random() % 9));
  // Plain random digits, or long runs of zeros or nines, which stress carries and the
  // exact binary values.
  const int style = static_cast<int>(random() % 4);
  for (int i = 1; i < length; ++i) {
    const bool run = style != 0 && random() % 8 != 0;
    digits.push_back(run ? (style == 1 || style == 3 ? '0' : '9') : static_cast<char>('0' + random() % 10));
  }
  return digits;
}

// One of the many spellings of sign * significant * 10^scale.
std::string spell(std::mt19937_64& random, const std::string& significant, std::int64_t scale, bool negative) {
  std::string token;
  const int spaces = random() % 8 == 0 ? 1 + static_cast<int>(random() % 2) : 0;
  token.append(static_cast<std::size_t>(spaces), random() % 2 == 0 ? ' ' : '\t');
  if (negative) {
    token += '-';
  } else if (random() % 3 == 0) {
    token += '+';
  }
  const auto length = static_cast<std::int64_t>(significant.size());
  std::int64_t afterPoint = 0;  // A
  switch (random() % 4) {
    case 0:  // no point
      token.append(random() % 4 == 0 ? random() % 3 : 0, '0');
      token += significant;
      break;
    case 1: {  // a point somewhere among the digits, or at either end
      const auto before = static_cast<std::int64_t>(random() % static_cast<std::uint64_t>(length + 1));
      if (before == 0 && random() % 2 == 0) token += '0';
      token += significant.substr(0, static_cast<std::size_t>(before)) + "." +
               significant.substr(static_cast<std::size_t>(before));
      afterPoint = length - before;
      break;
    }
    default: {  // 0.000ddd
      const auto zeros = static_cast<std::int64_t>(random() % 6);
      token += (random() % 2 == 0 ? "0." : ".") + std::string(static_cast<std::size_t>(zeros), '0') + significant;
      afterPoint = zeros + length;
      break;
    }
  }
  const std::int64_t exponent = scale + afterPoint;  // E
  if (exponent == 0 && random() % 2 == 0) return token;
  const std::string magnitude =
      std::string(random() % 4 == 0 ? random() % 4 : 0, '0') + std::to_string(std::abs(exponent));
  if (random() % 5 == 0) {  // 1.0+3
    token += (exponent < 0 ? "-" : "+") + magnitude;
  } else {
    token += "EeDdQq"[random() % 6];
    token += exponent < 0 ? "-" : (random() % 2 == 0 ? "+" : "");
    token += magnitude;
  }
  return token;
}

struct Tally {
  long checked = 0;
  long mismatches = 0;
  long againstFromChars = 0;
  long differFromCorrect = 0;
};

// Parses `token` and compares with the model; also with the correctly rounded value
// when `compareCorrect`, counting (not failing) where the design permits a difference,
// and keeping the shortest differing token of each route.
void checkAgainstModel(const std::string& token, const std::string& significant, std::int64_t scale, bool negative,
                       Tally& tally, bool compareCorrect, std::map<std::string, std::string>* differing = nullptr) {
  ++tally.checked;
  const Expected expected = modelValue(significant, scale);
  const recio::decimal::ParseResult<double> result = recio::decimal::parseReal64(token.data(), token.size());
  const bool ok = expected.status == ConversionStatus::Ok;
  const double expectedValue = ok && negative ? -expected.magnitude : expected.magnitude;
  if (result.status != expected.status || bitsOf(result.value) != bitsOf(expectedValue)) {
    if (++tally.mismatches <= 10) {
      ADD_FAILURE() << "token '" << token << "': got " << std::hexfloat << result.value << " status "
                    << static_cast<int>(result.status) << ", defined " << expectedValue << " status "
                    << static_cast<int>(expected.status) << " by " << expected.route;
    }
    return;
  }
  if (!compareCorrect) return;
  const Expected correct = correctValue(significant, scale);
  if (correct.status == expected.status && bitsOf(correct.magnitude) == bitsOf(expected.magnitude)) return;
  ++tally.differFromCorrect;
  EXPECT_FALSE(expected.correctlyRoundedByDesign) << "token '" << token << "' should be correctly rounded";
  if (differing != nullptr) {
    const std::string plain = significant + (scale != 0 ? "e" + std::to_string(scale) : "");
    const std::string key = std::string(expected.route) + (correct.status != expected.status ? ", status" : "");
    std::string& shortest = (*differing)[key];
    if (shortest.empty() || plain.size() < shortest.size()) shortest = plain;
  }
}

void printDiffering(const std::map<std::string, std::string>& differing) {
  for (const auto& [route, token] : differing) std::cout << "  differs (" << route << "): " << token << "\n";
}

// ------------------------------------------------------------------ tests

TEST(ParseReal64Random, ShortTokensAgainstFromChars) {
  // 1 to 19 digits: D fits 64 bits, so every token is correctly rounded except those of
  // the general case with o < 0 or o > 27. A quarter of those, and one token in 40 of
  // all, go to the model as well.
  std::mt19937_64 random(1234);
  Tally tally;
  Tally modelTally;
  const int count = sweepCount(4000000);
  for (int i = 0; i < count; ++i) {
    const int length = 1 + static_cast<int>(random() % 19);
    const std::string significant = randomSignificant(random, length);
    const std::int64_t scale = i % 3 == 0 ? static_cast<std::int64_t>(random() % 660) - 345 - length
                                          : static_cast<std::int64_t>(random() % 61) - 30 - length / 2;
    const bool negative = random() % 2 == 0;
    const std::string token = spell(random, significant, scale, negative);
    const std::int64_t decimalExponent = length + scale;

    const std::uint64_t d = std::stoull(significant);
    const bool exactInBinary64 = (d >> std::countr_zero(d)) < (std::uint64_t{1} << 53);
    const bool fast = (scale == 0 && length <= 18) || (exactInBinary64 && std::abs(scale) <= 22) ||
                      (length <= 15 && scale > 22 && length + scale <= 37);
    const bool correctByDesign = fast || (scale >= 0 && scale <= 27);
    if (correctByDesign && decimalExponent >= -323 && decimalExponent <= 309) {
      const std::string plain = significant + "e" + std::to_string(scale);
      double expected = 0;
      const auto converted = std::from_chars(plain.data(), plain.data() + plain.size(), expected);
      if (converted.ec == std::errc{}) {
        ++tally.againstFromChars;
        const recio::decimal::ParseResult<double> result = recio::decimal::parseReal64(token.data(), token.size());
        const bool same =
            result.status == ConversionStatus::Ok && bitsOf(result.value) == bitsOf(negative ? -expected : expected);
        if (!same && ++tally.mismatches <= 10) {
          ADD_FAILURE() << "token '" << token << "': got " << std::hexfloat << result.value << ", correctly rounded "
                        << expected;
        }
      }
    }
    if ((!correctByDesign && i % 4 == 0) || i % 40 == 0)
      checkAgainstModel(token, significant, scale, negative, modelTally, i % 40 == 0);
  }
  EXPECT_EQ(tally.mismatches, 0) << "of " << tally.againstFromChars << " compared with from_chars";
  EXPECT_EQ(modelTally.mismatches, 0) << "of " << modelTally.checked << " compared with the model";
  EXPECT_GT(tally.againstFromChars, count / 2);
  std::cout << "from_chars comparisons: " << tally.againstFromChars << ", model comparisons: " << modelTally.checked
            << ", of which differing from correct rounding: " << modelTally.differFromCorrect << "\n";
}

TEST(ParseReal64Random, LongTokensAgainstTheModel) {
  std::mt19937_64 random(4321);
  Tally tally;
  std::map<std::string, std::string> differing;
  const int count = sweepCount(100000);
  for (int i = 0; i < count; ++i) {
    const int length = 20 + static_cast<int>(random() % 21);
    const std::string significant = randomSignificant(random, length);
    const std::int64_t scale = i % 2 == 0 ? static_cast<std::int64_t>(random() % 660) - 345 - length
                                          : static_cast<std::int64_t>(random() % 81) - 40 - length;
    const bool negative = random() % 2 == 0;
    checkAgainstModel(spell(random, significant, scale, negative), significant, scale, negative, tally, i % 4 == 0,
                      &differing);
  }
  EXPECT_EQ(tally.mismatches, 0) << "of " << tally.checked;
  std::cout << "long tokens: " << tally.checked << ", differing from correct rounding: " << tally.differFromCorrect
            << "\n";
  printDiffering(differing);
}

// The exact midpoint between a double and the next one up, as decimal digits, cut to
// 17 .. 40 digits and nudged just below or above it (or kept whole when it is short).
void checkNearMidpoints(const std::vector<double>& lowerNeighbours, std::mt19937_64& random, Tally& tally,
                        std::map<std::string, std::string>& differing) {
  for (double lower : lowerNeighbours) {
    const auto bits = bitsOf(lower);
    const int biased = static_cast<int>(bits >> 52);
    const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
    const std::uint64_t significand = biased == 0 ? fraction : fraction | (std::uint64_t{1} << 52);
    const int binaryExponent = biased == 0 ? -1074 : biased - 1075;
    const testing_support::ExactDecimal midpoint =
        testing_support::exactDecimal(2 * significand + 1, binaryExponent - 1);
    const int length = 17 + static_cast<int>(random() % 24);
    std::string significant = midpoint.digits.substr(0, static_cast<std::size_t>(length));
    const bool cut = midpoint.digits.size() > significant.size();
    if (cut && random() % 2 == 0) {  // just above: add one in the last place
      auto position = significant.size();
      while (position > 0 && significant[position - 1] == '9') significant[--position] = '0';
      if (position == 0) {
        significant.insert(significant.begin(), '1');
        significant.pop_back();
        const std::int64_t scale = midpoint.exponent + 1 - static_cast<std::int64_t>(significant.size());
        checkAgainstModel(spell(random, significant, scale, false), significant, scale, false, tally, true, &differing);
        continue;
      }
      ++significant[position - 1];
    }
    const std::int64_t scale = midpoint.exponent - static_cast<std::int64_t>(significant.size());
    const bool negative = random() % 2 == 0;
    checkAgainstModel(spell(random, significant, scale, negative), significant, scale, negative, tally, true,
                      &differing);
  }
}

TEST(ParseReal64Random, TokensWithinAHairOfAMidpoint) {
  std::mt19937_64 random(777);
  std::vector<double> lowers;
  // Twenty random finite doubles, then five of the kinds below, over and over: the whole
  // sweep's values are drawn and a short sweep checks the first of them, each kind among
  // them.
  const int groups = caseCount(100000) / 20;
  for (int group = 0; group < groups; ++group) {
    for (int drawn = 0; drawn < 20;) {
      const double value = std::abs(std::bit_cast<double>(random()));
      if (std::isfinite(value)) {
        lowers.push_back(value);
        ++drawn;
      }
    }
    lowers.push_back(std::bit_cast<double>(random() % (std::uint64_t{1} << 52)));         // subnormal
    lowers.push_back(std::bit_cast<double>(0x7FEFFFFFFFFFFFFF - random() % (1u << 20)));  // top binade
    lowers.push_back(std::ldexp(static_cast<double>(random() >> 11), static_cast<int>(random() % 100) - 70));
    // The edges: between zero and the smallest subnormal, and between the largest
    // double and 2^1024, where the rounding decides between a value and zero or Overflow.
    lowers.push_back(0.0);
    lowers.push_back(std::numeric_limits<double>::max());
  }
  lowers.resize(static_cast<std::size_t>(sweepShare(static_cast<int>(lowers.size()))));
  Tally tally;
  std::map<std::string, std::string> differing;
  checkNearMidpoints(lowers, random, tally, differing);
  EXPECT_EQ(tally.mismatches, 0) << "of " << tally.checked;
  EXPECT_GT(tally.differFromCorrect, 0) << "the defined reductions should show their one-unit differences here";
  std::cout << "near-midpoint tokens: " << tally.checked
            << ", differing from correct rounding: " << tally.differFromCorrect << "\n";
  printDiffering(differing);
}

TEST(ParseReal64Random, ExactKeptDigitsWithDroppedDigits) {
  // 27 kept digits forming an exact binary64 value, followed by more digits: the fast
  // case multiplies D by the table power and ignores the dropped digits.
  std::mt19937_64 random(2718);
  Tally tally;
  std::map<std::string, std::string> differing;
  const int count = sweepCount(20000);
  for (int i = 0; i < count; ++i) {
    // D * 10^o is a midpoint between two doubles when the odd part of D times 5^o has
    // exactly 54 bits; aim at that for half of the cases.
    const int o = 1 + static_cast<int>(random() % 22);
    const std::uint64_t fiveToTheO = static_cast<std::uint64_t>(std::llround(std::pow(5.0, o)));
    const std::uint64_t lowest = (std::uint64_t{1} << 53) / fiveToTheO + 1;
    const std::uint64_t odd = i % 2 == 0 ? (lowest + random() % lowest) | 1 : (random() >> 11) | 1;
    BigInt d(odd);
    while (d < powerOfTen(26)) d = d << 1;
    if (d >= powerOfTen(27)) continue;
    std::string significant = d.toDecimal();
    const int extra = 1 + static_cast<int>(random() % 5);
    for (int e = 0; e < extra; ++e) significant.push_back(static_cast<char>('0' + random() % 10));
    const std::int64_t scale = (i % 2 == 0 ? o : static_cast<std::int64_t>(random() % 45) - 22) - extra;
    checkAgainstModel(spell(random, significant, scale, false), significant, scale, false, tally, true, &differing);
  }
  EXPECT_EQ(tally.mismatches, 0) << "of " << tally.checked;
  std::cout << "exact kept digits: " << tally.checked
            << ", differing from correct rounding: " << tally.differFromCorrect << "\n";
  printDiffering(differing);
}

}  // namespace

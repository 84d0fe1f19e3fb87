// The flush-to-zero rule of the mesh's arithmetic: against x86's own flush-to-zero
// mode on many random operands near 2^-1022 and below it, where the processor has that
// mode, and its boundary cases on every processor.
#include "recio/processor/flush_to_zero.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <thread>
#include <vector>

#include "recio/platform/platform.h"
#include "support/doubles.h"

namespace {

using recio::flushedDifference;
using recio::flushedProduct;
using recio::flushedSum;
using testing_support::bitsOf;

constexpr double kMin = std::numeric_limits<double>::min();             // 2^-1022
constexpr double kTrueMin = std::numeric_limits<double>::denorm_min();  // 2^-1074

// A double of either sign whose magnitude is a random mantissa times 2^exponent, or a
// subnormal.
double near(std::mt19937_64& random, int lowestExponent, int highestExponent) {
  const double sign = (random() & 1) != 0 ? -1.0 : 1.0;
  if (random() % 4 == 0) return sign * std::bit_cast<double>(random() & ((std::uint64_t{1} << 52) - 1));
  const int exponent =
      lowestExponent + static_cast<int>(random() % static_cast<std::uint64_t>(highestExponent - lowestExponent + 1));
  const double mantissa = 1.0 + static_cast<double>(random() >> 12) * 0x1p-52;
  // The mantissas next to a power of two are where rounding reaches 2^-1022.
  const double edge = random() % 3 == 0 ? ((random() & 1) != 0 ? 1.0 : 2.0 - 0x1p-52) : mantissa;
  return sign * std::ldexp(edge, exponent);
}

struct Operands {
  double first;
  double second;
};

// Pairs for every operation the mesh's arithmetic uses: sums of neighbours of 2^-1022 and of
// subnormals, halvings of values near 2^-1021, and products whose exponents add up to
// about -1022.
std::vector<Operands> randomOperands(std::size_t count) {
  std::mt19937_64 random(20261208);
  std::vector<Operands> pairs;
  for (std::size_t index = 0; index < count; ++index) {
    switch (index % 3) {
      case 0:
        pairs.push_back({near(random, -1025, -1019), near(random, -1025, -1019)});
        break;
      case 1:
        pairs.push_back({0.5, near(random, -1023, -1019)});
        break;
      default: {
        const int exponent = -600 + static_cast<int>(random() % 200);
        pairs.push_back({near(random, exponent, exponent), near(random, -1022 - exponent - 2, -1022 - exponent + 1)});
      }
    }
  }
  return pairs;
}

struct Results {
  std::vector<std::uint64_t> sums, differences, products;
};

// Plain operators: with the processor's mode set, they are the hardware's flush.
Results hardware(const std::vector<Operands>& pairs) {
  Results results;
  for (const Operands& pair : pairs) {
    volatile double first = pair.first;
    volatile double second = pair.second;
    results.sums.push_back(bitsOf(first + second));
    results.differences.push_back(bitsOf(first - second));
    results.products.push_back(bitsOf(first * second));
  }
  return results;
}

Results rule(const std::vector<Operands>& pairs) {
  Results results;
  for (const Operands& pair : pairs) {
    results.sums.push_back(bitsOf(flushedSum(pair.first, pair.second)));
    results.differences.push_back(bitsOf(flushedDifference(pair.first, pair.second)));
    results.products.push_back(bitsOf(flushedProduct(pair.first, pair.second)));
  }
  return results;
}

TEST(FlushToZero, MatchesTheProcessorsMode) {
#if !defined(__x86_64__) && !defined(__i386__)
  GTEST_SKIP() << "only x86 has the mode the rule follows";
#endif
  const std::vector<Operands> pairs = randomOperands(300000);
  Results flushed;
  // The mode belongs to a thread: one of its own is set so.
  std::thread([&] {
    recio::platform::enableFlushToZero();
    flushed = hardware(pairs);
  }).join();
  const Results ruled = rule(pairs);
  std::size_t tinyProducts = 0;
  for (std::size_t index = 0; index < pairs.size(); ++index) {
    SCOPED_TRACE(testing::Message() << std::hexfloat << pairs[index].first << ", " << pairs[index].second);
    ASSERT_EQ(ruled.sums[index], flushed.sums[index]);
    ASSERT_EQ(ruled.differences[index], flushed.differences[index]);
    ASSERT_EQ(ruled.products[index], flushed.products[index]);
    tinyProducts += std::fabs(pairs[index].first * pairs[index].second) <= kMin;
  }
  // The operands reach the boundary: without the mode, many products are tiny.
  EXPECT_GT(tinyProducts, pairs.size() / 20);
}

struct BoundaryCase {
  const char* what;
  double first, second;
  double sum, difference, product;
};

TEST(FlushToZero, BoundaryCases) {
  const double largestSubnormal = kMin - kTrueMin;
  const BoundaryCase cases[] = {
      // Subnormal operands are used as they are; only tiny results go.
      {"a subnormal operand", 1.0, kTrueMin, 1.0, 1.0, 0.0},
      {"subnormals summing to 2^-1022", largestSubnormal, kTrueMin, kMin, 0.0, 0.0},
      {"2^-1022 and its neighbour", kMin + kTrueMin, kMin, 2 * kMin + kTrueMin, 0.0, 0.0},
      // 2^-1021 - 2^-1074 halves to 2^-1022 - 2^-1075, which 53 bits hold: tiny, though
      // gradual underflow rounds it up to 2^-1022.
      {"halving just below 2^-1021", 0.5, 2 * kMin - kTrueMin, 0.5, 0.5, 0.0},
      {"halving 2^-1021", 0.5, 2 * kMin, 0.5, 0.5, kMin},
      {"halving the next above", 0.5, 2 * kMin + 2 * kTrueMin, 0.5, 0.5, kMin + kTrueMin},
      {"a zero keeps the result's sign", -kMin, kTrueMin, -0.0, -(kMin + kTrueMin), -0.0},
  };
  for (const BoundaryCase& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(bitsOf(flushedSum(c.first, c.second)), bitsOf(c.sum));
    EXPECT_EQ(bitsOf(flushedDifference(c.first, c.second)), bitsOf(c.difference));
    EXPECT_EQ(bitsOf(flushedProduct(c.first, c.second)), bitsOf(c.product));
  }
}

}  // namespace

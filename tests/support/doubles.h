// Doubles for the conversion and editing tests: their bits, and random ones drawn from
// the kinds that are awkward to convert or to edit.
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <limits>
#include <random>

namespace testing_support {

inline std::uint64_t bitsOf(double value) { return std::bit_cast<std::uint64_t>(value); }

// A random finite non-zero bit pattern: either sign, subnormals included.
inline double finiteDouble(std::mt19937_64& random) {
  for (;;) {
    const double value = std::bit_cast<double>(random());
    if (std::isfinite(value) && value != 0) return value;
  }
}

// A random double of one of seven kinds, each as often as the others:
// - any bit pattern: NaNs, infinities and subnormals included;
// - a special value: zeros of both signs, the infinities, NaN, the smallest subnormal and
//   the largest double of either sign;
// - a subnormal of either sign;
// - any mantissa at a moderate magnitude (10^-30 to 10^31);
// - a short decimal like the values of mesh and model files;
// - a binary fraction 7 or 11 significant digits long, which lies exactly halfway for
//   the point table's 6- and 10-digit fields;
// - the centre of a cell of a fine grid, far from the origin.
inline double awkwardDouble(std::mt19937_64& random) {
  const std::uint64_t bits = random();
  const double sign = (bits >> 63) != 0 ? -1.0 : 1.0;
  switch (bits % 7) {
    case 0:
      return std::bit_cast<double>(random());
    case 1: {
      constexpr double kSpecials[] = {0.0,
                                      -0.0,
                                      std::numeric_limits<double>::infinity(),
                                      -std::numeric_limits<double>::infinity(),
                                      std::numeric_limits<double>::quiet_NaN(),
                                      std::numeric_limits<double>::denorm_min(),
                                      std::numeric_limits<double>::max(),
                                      -std::numeric_limits<double>::max()};
      return kSpecials[(bits >> 8) % std::size(kSpecials)];
    }
    case 2:
      return sign * std::bit_cast<double>(random() % (std::uint64_t{1} << 52));
    case 3: {
      const double mantissa = std::uniform_real_distribution<double>(1.0, 10.0)(random);
      const int exponent = std::uniform_int_distribution<int>(-30, 30)(random);
      return sign * mantissa * std::pow(10.0, exponent);
    }
    case 4: {
      const double whole = static_cast<double>(random() % 100000000);
      return sign * whole / std::pow(10.0, static_cast<int>(random() % 7));
    }
    case 5: {
      const bool elevenDigits = ((bits >> 62) & 1) != 0;
      const std::uint64_t whole = random() % (elevenDigits ? (std::uint64_t{1} << 37) : (std::uint64_t{1} << 24));
      return std::ldexp(static_cast<double>(whole | 1), -static_cast<int>(random() % 5));
    }
    default:
      return 500000.0 + (static_cast<double>(random() % 3000) + 0.5) * 25.0;
  }
}

}  // namespace testing_support

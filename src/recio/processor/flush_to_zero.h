// Arithmetic whose results too small for a normal number are zeros of their sign, by
// rule rather than by a processor's control register, so that every processor gives the
// same bits. Operands are used as they are, subnormal ones included: only results are
// flushed, as x86's flush-to-zero mode does with denormals-are-zero off. (AArch64's FZ
// bit would also take subnormal operands as zero, and other processors have no such
// mode at all.)
//
// Tininess is judged as x86 judges it: after rounding, as if the exponent had no lower
// bound. A result is flushed when its exact value, rounded to 53 bits with an unbounded
// exponent, is below 2^-1022 in magnitude; one that rounds up to 2^-1022 stays.
//
// Sums and differences need no more than a look at the result: both operands are
// multiples of 2^-1074, so is their exact sum, and a multiple of 2^-1074 below 2^-1021 in
// magnitude is a double. So an exact sum at or below 2^-1022 is the IEEE result itself,
// unrounded, and it is tiny exactly when that result is.
//
// Products can round. Gradual underflow rounds a tiny product to a multiple of 2^-1074,
// more coarsely than 53 bits would, with an error of at most 2^-1075:
//   - a nonzero IEEE result below 2^-1022 means an exact product below 2^-1022 - 2^-1075,
//     whose 53-bit rounding (steps of 2^-1075 there) stays below 2^-1022: tiny;
//   - an IEEE result above 2^-1022 means an exact product above 2^-1022: not tiny;
//   - an IEEE result of exactly 2^-1022 may come from an exact product just below it
//     that 53 bits hold (halving 2^-1021 - 2^-1074 gives 2^-1022 - 2^-1075, which
//     gradual underflow rounds up to 2^-1022, a tie to even, and x86 flushes). Only
//     there the product is formed again with its smaller operand scaled by 2^64: that
//     operand is at most 2^-511, so nothing overflows, scaling by a power of two is exact,
//     and the scaled product, near 2^-958, is a normal number rounded to 53 bits, the
//     rounding that judges tininess.
#pragma once

#include <cmath>
#include <limits>

namespace recio {

// 2^-1022, the smallest positive normal double.
inline constexpr double kSmallestNormal = std::numeric_limits<double>::min();

// A zero of the result's sign for a result below 2^-1022 in magnitude; the result itself
// otherwise. Only for results that are exact whenever they are that small.
inline double flushIfTiny(double result) {
  return std::fabs(result) < kSmallestNormal ? std::copysign(0.0, result) : result;
}

inline double flushedSum(double augend, double addend) { return flushIfTiny(augend + addend); }

inline double flushedDifference(double minuend, double subtrahend) { return flushIfTiny(minuend - subtrahend); }

inline double flushedProduct(double multiplier, double multiplicand) {
  const double product = multiplier * multiplicand;
  if (std::fabs(product) != kSmallestNormal) return flushIfTiny(product);
  constexpr double kScale = 0x1p64;
  const double scaled = std::fabs(multiplier) < std::fabs(multiplicand) ? (multiplier * kScale) * multiplicand
                                                                        : multiplier * (multiplicand * kScale);
  return std::fabs(scaled) < kSmallestNormal * kScale ? std::copysign(0.0, product) : product;
}

}  // namespace recio

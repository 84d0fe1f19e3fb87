// The edit operations that turn one item into a field of the record.
#pragma once

#include <cstdint>

namespace recio::format {

// Writes `value` as an Ew.d field with scale factor k into field[0, width), right-
// justified and blank-filled on the left:
//   k = 1 (and generally 0 < k < d + 2): k digits, the point, d - k + 1 digits;
//   -d < k <= 0: an optional 0, the point, -k zeros, d + k digits;
//   then the exponent X - k as E+nn / E-nn, or +nnn / -nnn without the letter.
// Zero of either sign is written unsigned as if k were 0. Infinity is "Infinity" or
// "Inf" with its sign, NaN is "NaN" unsigned. A field that needs more than w
// characters, an exponent of four digits or a scale factor outside the ranges above
// gives w asterisks.
void editReal(double value, std::int32_t width, std::int32_t fractionDigits, std::int32_t scaleFactor,
              char* field) noexcept;

}  // namespace recio::format

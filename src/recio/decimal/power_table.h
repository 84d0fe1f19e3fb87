// Tables of powers, built at compile time by repeated multiplication: every table of
// powers of ten (and of five) in the conversions and the reader comes from here.
#pragma once

#include <array>
#include <cstddef>

namespace recio::decimal {

// base^0 .. base^(kCount-1) in Value, each entry the one before times `base` in Value's
// own arithmetic: exact for as long as every product on the way is.
template <class Value, std::size_t kCount>
constexpr std::array<Value, kCount> powerTable(Value base) {
  std::array<Value, kCount> powers{};
  Value power = 1;
  for (Value& entry : powers) {
    entry = power;
    power *= base;
  }
  return powers;
}

}  // namespace recio::decimal

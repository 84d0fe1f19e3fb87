// Decimal conversion against the standard library on the kind of numbers a model file
// and the point table hold: 1 to 10 significant digits, exponents near zero.
#include <benchmark/benchmark.h>

#include <array>
#include <charconv>
#include <cstring>
#include <string>
#include <vector>

#include "recio/decimal/decimal.h"

namespace {

// Tokens as people write them into mesh and model files (16 of them, so that the index
// can wrap with a mask).
const std::array<std::string, 16> kTokens = {
    "0.0123",       "1.5E-03",    "2.3456789e+02", "12",  "-1234.5678", "100.0",        "3.14159", "2.5e-1",
    "-0.000123456", "987654.321", "1E3",           "0.5", "42.000001",  "-7.654321e-5", "65536",   "1.23456789E+04"};

std::vector<double> tokenValues() {
  std::vector<double> values;
  for (const std::string& token : kTokens)
    values.push_back(recio::decimal::parseReal64(token.data(), token.size()).value);
  return values;
}

void parseReal64Typical(benchmark::State& state) {
  std::size_t index = 0;
  for (auto _ : state) {
    const std::string& token = kTokens[index++ & 15];
    benchmark::DoNotOptimize(recio::decimal::parseReal64(token.data(), token.size()));
  }
}
BENCHMARK(parseReal64Typical);

void fromCharsTypical(benchmark::State& state) {
  std::size_t index = 0;
  for (auto _ : state) {
    const std::string& token = kTokens[index++ & 15];
    double value = 0;
    benchmark::DoNotOptimize(std::from_chars(token.data(), token.data() + token.size(), value));
    benchmark::DoNotOptimize(value);
  }
}
BENCHMARK(fromCharsTypical);

void generateDigitsTypical(benchmark::State& state) {
  const std::vector<double> values = tokenValues();
  const int digitCount = static_cast<int>(state.range(0));
  recio::decimal::DecimalDigits digits{};
  std::size_t index = 0;
  for (auto _ : state) {
    recio::decimal::generateDigits(values[index++ & 15], digitCount, digits);
    benchmark::DoNotOptimize(digits);
  }
}
BENCHMARK(generateDigitsTypical)->Arg(10)->Arg(6);

// The same precision as the table's fields: E17.9 with scale factor 1 shows 10 digits,
// E13.5 shows 6, i.e. 9 and 5 after the point in scientific notation.
void toCharsScientificTypical(benchmark::State& state) {
  const std::vector<double> values = tokenValues();
  const int precision = static_cast<int>(state.range(0)) - 1;
  char buffer[64];
  std::size_t index = 0;
  for (auto _ : state) {
    const auto result =
        std::to_chars(buffer, buffer + sizeof buffer, values[index++ & 15], std::chars_format::scientific, precision);
    benchmark::DoNotOptimize(result);
    benchmark::DoNotOptimize(buffer);
  }
}
BENCHMARK(toCharsScientificTypical)->Arg(10)->Arg(6);

}  // namespace

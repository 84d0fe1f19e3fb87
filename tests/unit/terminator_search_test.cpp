// Counting record terminators a word at a time (recio/units/terminator_search.h), which
// the read-ahead of a model's second half counts its lines with: the same count as a
// loop over the bytes.
#include "recio/units/terminator_search.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <random>
#include <string>

namespace {

// Bytes of every kind next to the terminator and to each other, at every alignment and
// over several blocks of words.
TEST(TerminatorSearch, CountsAsAByteLoopDoes) {
  std::mt19937_64 random(42);
  const char bytes[] = {'\n', '\r', '\0', '\x0b', '\x8a', '\xff', '\x80', '\x7f', '1'};
  const std::string full(5000, '\n');  // every byte sum of a block at its most
  EXPECT_EQ(recio::countTerminators(full.data(), full.data() + full.size(), '\n'), full.size());
  for (int trial = 0; trial < 2000; ++trial) {
    std::string text(random() % 5000, ' ');
    for (char& byte : text) byte = random() % 3 == 0 ? static_cast<char>(random()) : bytes[random() % std::size(bytes)];
    const char terminator = random() % 2 == 0 ? '\n' : '\r';
    const char* const begin = text.data();
    ASSERT_EQ(recio::countTerminators(begin, begin + text.size(), terminator),
              static_cast<std::size_t>(std::count(text.begin(), text.end(), terminator)));
  }
}

}  // namespace

// The length of the decimal suites' random sweeps. A run takes a short sweep, the first
// one in kShortSweepDivisor of each sweep's cases, drawn from the same seeds; with
// CELLCENTRIFY_FULL_SWEEPS=1 in its environment it takes them all.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "support/sanitizer.h"

namespace testing_support {

inline constexpr int kShortSweepDivisor = 25;

inline bool fullSweeps() {
  const char* setting = std::getenv("CELLCENTRIFY_FULL_SWEEPS");
  return setting != nullptr && *setting != '\0' && std::strcmp(setting, "0") != 0;
}

// `cases` in a full sweep, their first share (at least one) in a short one; notes in the
// running test's result, and once on its output, which sweep runs.
inline int sweepShare(int cases) {
  const bool full = fullSweeps();
  testing::Test::RecordProperty("sweep", full ? "full" : "short");
  static const bool noted = [full] {
    std::cout << (full ? "full random sweeps\n" : "short random sweeps (CELLCENTRIFY_FULL_SWEEPS=1 runs them whole)\n");
    return true;
  }();
  static_cast<void>(noted);
  return full ? cases : std::max(1, cases / kShortSweepDivisor);
}

// The random cases of a sweep of `count`: a sanitizer's share of them (caseCount), and of
// that the sweep's share.
inline int sweepCount(int count) { return sweepShare(caseCount(count)); }

}  // namespace testing_support

// A fixture for tests of units in the test's own process: no I/O variable set, every
// override at its default, a folder of its own, and units 1 to 9 closed after each test,
// whose opens then count as another run's.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>

#include "recio/units/unit_table.h"
#include "support/temp_dir.h"
#include "support/test_overrides.h"
#include "support/unit_access.h"

namespace testing_support {

class UnitsFixture : public testing::Test {
 protected:
  void SetUp() override { clearIoEnvironment(); }
  void TearDown() override {
    for (std::int32_t unit = 1; unit <= 9; ++unit) recio::closeUnit(unit, true);
    recio::forgetFilesReadForTests();
    clearIoEnvironment();
  }

  TempDir directory;
  TestOverridesReset overridesReset_;
};

}  // namespace testing_support

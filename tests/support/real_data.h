// Mesh and model files from real projects, kept in the shared test data beside the
// repository. A checkout without them skips the tests that read them.
#pragma once

#include <filesystem>
#include <string>

namespace testing_support {

inline bool haveRealTestData() { return std::filesystem::is_directory(CELLCENTRIFY_TESTDATA_DIR); }

}  // namespace testing_support

#define SKIP_WITHOUT_REAL_TEST_DATA()                                                     \
  if (!testing_support::haveRealTestData())                                                \
  GTEST_SKIP() << "no real test data at " CELLCENTRIFY_TESTDATA_DIR

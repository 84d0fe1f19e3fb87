// The runtime's overrides for tests, as the tests use them: the fast paths' counts, a
// guard that gives every policy back to the machine when a test ends, and the thread
// starts that fail, for the fast paths that must do without the workers they asked for.
#pragma once

#include <string>

#include "recio/reader/read_ahead_policy.h"
#include "recio/threads/fast_path_counts.h"
#include "recio/threads/worker_test_override.h"
#include "recio/units/direct_write_policy.h"
#include "recio/units/input_buffer_limits.h"

namespace testing_support {

// The workers, the thread starts, the read-ahead, direct writes and the units' input
// buffer limits back at their defaults: the machine's own choices.
inline void resetTestOverrides() {
  recio::requestWorkersForTests(0);
  recio::failThreadStartsForTests(0, recio::ThreadStartFailure::None);
  recio::overrideReadAheadPolicyForTests({});
  recio::overrideDirectWritePolicyForTests({});
  recio::overrideInputBufferLimitsForTests({});
}

// Resets the overrides when it goes out of scope: a fixture whose tests change them
// holds one, so that the next test starts from the defaults however this one ended.
class TestOverridesReset {
 public:
  TestOverridesReset() = default;
  TestOverridesReset(const TestOverridesReset&) = delete;
  TestOverridesReset& operator=(const TestOverridesReset&) = delete;
  ~TestOverridesReset() { resetTestOverrides(); }
};

// A thread start that fails as the system (NoThread) or the memory (NoMemory) would make
// it fail, after `successes` starts; `workersStarted` of the run's workers then start.
struct StartFailure {
  recio::ThreadStartFailure failure;
  unsigned successes;
  unsigned workersStarted;
};

// The first start fails, or the second of two.
inline constexpr StartFailure kStartFailures[] = {{recio::ThreadStartFailure::NoThread, 0, 0},
                                                  {recio::ThreadStartFailure::NoThread, 1, 1},
                                                  {recio::ThreadStartFailure::NoMemory, 0, 0},
                                                  {recio::ThreadStartFailure::NoMemory, 1, 1}};

// "no thread after 1 starts", for a trace.
inline std::string describe(const StartFailure& start) {
  return std::string(start.failure == recio::ThreadStartFailure::NoThread ? "no thread" : "no memory") + " after " +
         std::to_string(start.successes) + " starts";
}

}  // namespace testing_support

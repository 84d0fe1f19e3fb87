// The runtime's test hooks (recio/threads/test_hooks.h) as the tests use them: a guard
// that gives every setting back to the machine when a test ends, and the thread starts
// that fail, for the fast paths that must do without the workers they asked for.
#pragma once

#include <string>

#include "recio/threads/test_hooks.h"

namespace testing_support {

// The workers, the thread starts, the read-ahead, direct writes and the units' input
// buffer limits back
// at their defaults: the machine's own choices.
inline void resetTestHooks() {
  recio::test_hooks::requestWorkers(0);
  recio::test_hooks::failThreadStarts(0, recio::test_hooks::ThreadStartFailure::None);
  recio::test_hooks::setReadAhead({});
  recio::test_hooks::setDirectWrites({});
  recio::test_hooks::setInputBufferLimits(0, 0);
}

// Resets the test hooks when it goes out of scope: a fixture whose tests change them
// holds one, so that the next test starts from the defaults however this one ended.
class TestHooksReset {
 public:
  TestHooksReset() = default;
  TestHooksReset(const TestHooksReset&) = delete;
  TestHooksReset& operator=(const TestHooksReset&) = delete;
  ~TestHooksReset() { resetTestHooks(); }
};

// A thread start that fails as the system (NoThread) or the memory (NoMemory) would make
// it fail, after `successes` starts; `workersStarted` of the run's workers then start.
struct StartFailure {
  recio::test_hooks::ThreadStartFailure failure;
  unsigned successes;
  unsigned workersStarted;
};

// The first start fails, or the second of two.
inline constexpr StartFailure kStartFailures[] = {{recio::test_hooks::ThreadStartFailure::NoThread, 0, 0},
                                                  {recio::test_hooks::ThreadStartFailure::NoThread, 1, 1},
                                                  {recio::test_hooks::ThreadStartFailure::NoMemory, 0, 0},
                                                  {recio::test_hooks::ThreadStartFailure::NoMemory, 1, 1}};

// "no thread after 1 starts", for a trace.
inline std::string describe(const StartFailure& start) {
  return std::string(start.failure == recio::test_hooks::ThreadStartFailure::NoThread ? "no thread" : "no memory") +
         " after " + std::to_string(start.successes) + " starts";
}

}  // namespace testing_support

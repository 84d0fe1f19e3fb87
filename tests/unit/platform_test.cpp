// What the platform layer tells the runtime about the process, and what the sanitizers
// must still see of its system calls.
#include <sched.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>

#include "app/formats.h"
#include "recio/format/write_statements.h"
#include "recio/platform/platform.h"
#include "recio/threads/worker_threads.h"
#include "recio/units/unit_table.h"
#include "support/run_program.h"
#include "support/sanitizer.h"
#include "support/statement_values.h"
#include "support/temp_dir.h"
#include "support/test_overrides.h"
#include "support/unit_access.h"

namespace {

// Under one allowed processor (taskset, a container's cpuset, a batch slot) no fast path
// starts a worker, whatever the machine has: a worker would only take turns with the
// statements' thread.
TEST(UsableProcessors, FollowTheProcessorsTheProcessMayUse) {
  cpu_set_t allowed;
  ASSERT_EQ(::sched_getaffinity(0, sizeof allowed, &allowed), 0);
  EXPECT_EQ(recio::platform::usableProcessors(), static_cast<unsigned>(CPU_COUNT(&allowed)));
  int first = 0;
  while (!CPU_ISSET(first, &allowed)) ++first;
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(first, &one);
  ASSERT_EQ(::sched_setaffinity(0, sizeof one, &one), 0);

  recio::requestWorkersForTests(0);
  recio::resetFastPathCounts();
  const unsigned processors = recio::platform::usableProcessors();
  const unsigned workers = recio::workersToSpare(2);
  testing_support::TempDir dir;
  testing_support::clearIoEnvironment();
  ASSERT_EQ(testing_support::openForWriting(7, dir.file("table")), 0);
  recio::writeStatements(7, app::kPointTableFormat, 20000, 4, testing_support::ConstantValues());
  EXPECT_EQ(recio::closeUnit(7, true), 0);
  ASSERT_EQ(::sched_setaffinity(0, sizeof allowed, &allowed), 0);

  EXPECT_EQ(processors, 1u);
  EXPECT_EQ(workers, 0u);
  EXPECT_EQ(recio::fastPathCounts().editingWorkersStarted.load(), 0u);
  EXPECT_EQ(testing_support::readFile(dir.file("table")).size(), 20000u * 66);
}

// A record handed to the system must be seen by AddressSanitizer like any other read
// of its bytes: a write past the end of its buffer is reported, not sent.
TEST(RecordWritesDeathTest, AreSeenByTheAddressSanitizer) {
  if (!testing_support::kAddressSanitizer) {
    GTEST_SKIP() << "only an AddressSanitizer build checks the bytes a write reads";
  }
  GTEST_FLAG_SET(death_test_style, testing_support::kDeathTestStyle);
  EXPECT_DEATH(
      {
        std::FILE* sink = std::fopen("/dev/null", "w");
        const std::unique_ptr<char[]> record(new char[66]());
        int osError = 0;
        recio::platform::writeFile(fileno(sink), record.get(), 67, nullptr, 0, osError);
      },
      "heap-buffer-overflow");
}

}  // namespace

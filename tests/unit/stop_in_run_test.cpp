// A stop begun by another thread while a run of statements holds its unit: no statement
// begins after it, held or not. The stop's unit closer is delayed, so that statements
// that went on regardless would have time to show.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "app/formats.h"
#include "recio/format/write_statements.h"
#include "recio/outcome.h"
#include "recio/reader/read_statements.h"
#include "recio/stop/stop.h"
#include "recio/units/unit_table.h"
#include "support/run_program.h"
#include "support/statement_values.h"
#include "support/temp_dir.h"
#include "support/test_overrides.h"
#include "support/unit_access.h"

namespace {

using namespace std::chrono_literals;
using testing_support::TempDir;

constexpr std::int32_t kUnit = 7;
constexpr auto kCloserDelay = 300ms;

std::atomic<bool> closerEntered{false};
// Set by each test before its run: what the closer does first, if anything, and how it
// counts the statements that ran after the stop began, which it tells once the delay is
// over.
void (*whenClosing)() = nullptr;
long (*statementsSinceStop)() = nullptr;

void delayedCloser() {
  if (whenClosing != nullptr) whenClosing();
  closerEntered.store(true);
  std::this_thread::sleep_for(kCloserDelay);
  std::fprintf(stderr, "statements after the stop began: %ld\n", statementsSinceStop());
  recio::closeAllUnits();
}

void beginStopElsewhere() {
  recio::setUnitCloser(delayedCloser);
  std::thread([] { recio::stopOnConsoleEvent(recio::platform::ConsoleEvent::Interrupt); }).detach();
}

// --- Reading: the statements' own thread fetches their targets, a chunk at a time, so
// the stop can begin exactly between two statements of the run.

constexpr std::size_t kStatements = 4096;
constexpr std::size_t kStopBefore = 256;  // the second chunk of targets
std::vector<double> readValues(kStatements, 0.0);

long valuesReadSinceStop() {
  long read = 0;
  for (const double value : readValues) read += value != 0.0;
  return read - static_cast<long>(kStopBefore);
}

class StoppingTargets final : public recio::StatementTargets {
 public:
  void fill(std::uint64_t first, std::size_t count, double** targets) const override {
    if (first == kStopBefore) {
      beginStopElsewhere();
      while (!closerEntered.load()) std::this_thread::sleep_for(1ms);
    }
    for (std::size_t statement = 0; statement < count; ++statement) targets[statement] = &readValues[first + statement];
  }
};

TEST(StopInRunDeathTest, HeldReadStatementsStopAtTheNextStatement) {
  GTEST_FLAG_SET(death_test_style, testing_support::kDeathTestStyle);
  TempDir dir;
  std::string model;
  for (std::size_t line = 0; line < kStatements; ++line) model += "1.5\n";
  const std::string path = dir.write("model", model);
  EXPECT_EXIT(
      {
        testing_support::clearIoEnvironment();
        statementsSinceStop = valuesReadSinceStop;
        if (testing_support::openForReading(kUnit, path) != 0) std::_Exit(3);
        recio::overrideReadAheadPolicyForTests({.allowed = false});
        recio::readStatements(kUnit, recio::kHandlesErrors | recio::kHandlesEndOfFile, kStatements, StoppingTargets());
        recio::acquireUnit(kUnit);  // waits for the stop, as any further statement would
        std::_Exit(4);
      },
      testing::ExitedWithCode(130), "statements after the stop began: 0\n");
}

// --- Writing: the table goes to a FIFO whose pipe holds 62 of the table's 66-byte
// records. The statements block on the 63rd, in the middle of a chunk they hold the unit
// for; the stop begins; the closer then empties the pipe, and goes on emptying it. Only
// the blocked record may follow the 62.

constexpr long kRecordBytes = 66;
int fifoReadEnd = -1;
std::atomic<long> bytesDrained{0};
long recordsBeforeStop = 0;

long recordsWrittenSinceStop() { return bytesDrained.load() / kRecordBytes - recordsBeforeStop; }

long bytesInPipe() {
  int queued = 0;
  return ::ioctl(fifoReadEnd, FIONREAD, &queued) == 0 ? queued : -1;
}

void drainForever() {
  char bytes[4096];
  for (;;) {
    const ssize_t got = ::read(fifoReadEnd, bytes, sizeof bytes);
    if (got > 0) {
      bytesDrained += got;
    } else {
      std::this_thread::sleep_for(1ms);
    }
  }
}

TEST(StopInRunDeathTest, HeldWriteStatementsStopAtTheNextStatement) {
  GTEST_FLAG_SET(death_test_style, testing_support::kDeathTestStyle);
  TempDir dir;
  const std::string path = dir.path() + "/table";
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  EXPECT_EXIT(
      {
        testing_support::clearIoEnvironment();
        fifoReadEnd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
        if (fifoReadEnd < 0 || ::fcntl(fifoReadEnd, F_SETPIPE_SZ, 4096) != 4096) std::_Exit(3);
        if (testing_support::openForWriting(kUnit, path) != 0) std::_Exit(3);
        whenClosing = [] { std::thread(drainForever).detach(); };
        statementsSinceStop = recordsWrittenSinceStop;
        std::thread([] {
          while (bytesInPipe() < 62 * kRecordBytes) std::this_thread::sleep_for(1ms);
          std::this_thread::sleep_for(50ms);  // the statements are blocked by now
          recordsBeforeStop = bytesInPipe() / kRecordBytes;
          beginStopElsewhere();
        }).detach();
        recio::writeStatements(kUnit, app::kPointTableFormat, 20000, 4, testing_support::ConstantValues());
        recio::acquireUnit(kUnit);
        std::_Exit(4);
      },
      testing::ExitedWithCode(130), "statements after the stop began: [01]\n");
}

}  // namespace

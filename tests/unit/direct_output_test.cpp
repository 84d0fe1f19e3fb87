// A buffered table written past the page cache holds the bytes that the page cache's
// path writes, and a failure or an interrupt there leaves what it leaves there: whole
// records only.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "recio/platform/platform.h"
#include "recio/settings/settings.h"
#include "recio/units/unit_table.h"
#include "support/run_program.h"
#include "support/temp_dir.h"
#include "support/test_overrides.h"
#include "support/unit_access.h"

namespace {

using namespace recio;
using testing_support::TempDir;

constexpr std::int32_t kUnit = 3;
constexpr std::size_t kMiB = std::size_t{1} << 20;

// Whether files in `directory` take direct writes; the reason to skip when not.
std::string directWritesRefused(const TempDir& directory) {
  const platform::OpenResult probe = platform::openFile(directory.file("probe"), platform::OpenMode::Write);
  if (probe.handle == platform::kNoFile) return "no file can be made in " + directory.path();
  const std::size_t alignment = platform::directWriteAlignment(probe.handle);
  int ignored = 0;
  platform::closeFile(probe.handle, ignored);
  if (alignment != 0) return {};
  return "the file system of " + directory.path() +
         " writes no file past its page cache (tmpfs, or a kernel before 6.1)";
}

// Records of 0 to 199 characters, as many as fill about `bytes`.
std::vector<std::string> randomRecords(std::mt19937_64& random, std::size_t bytes) {
  std::vector<std::string> records;
  for (std::size_t total = 0; total < bytes;) {
    std::string record(random() % 200, ' ');
    for (char& c : record) c = static_cast<char>('!' + random() % 94);
    total += record.size() + 2;
    records.push_back(std::move(record));
  }
  return records;
}

// Writes the records through a buffered unit until one fails; that record's number, or
// the count when none did.
std::size_t writeRecords(const std::string& path, const std::vector<std::string>& records) {
  EXPECT_EQ(testing_support::openForWriting(kUnit, path), 0);
  for (std::size_t number = 0; number < records.size(); ++number) {
    if (testing_support::writeRecord(kUnit, records[number]) != 0) return number;
  }
  return records.size();
}

// Whether `file` is the first `size` bytes of `table`; where not, the first difference.
testing::AssertionResult samePrefix(const std::string& file, const std::string& table, std::size_t size) {
  if (file.size() == size && table.compare(0, size, file) == 0) return testing::AssertionSuccess();
  const std::size_t common = std::min(file.size(), table.size());
  return testing::AssertionFailure()
         << file.size() << " bytes where " << size << " were expected, first difference at byte "
         << std::mismatch(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(common), table.begin()).first -
                file.begin();
}

class DirectOutput : public testing::Test {
 protected:
  void SetUp() override {
    testing_support::clearIoEnvironment();
    if (const std::string reason = directWritesRefused(directory_); !reason.empty()) GTEST_SKIP() << reason;
  }
  void TearDown() override {
    testing_support::clearIoEnvironment();
    closeUnit(kUnit, true);
  }

  // Block size (XIOT_BLOCKSIZE) and count as read at start-up.
  static void setBlocks(std::size_t blockSize, int bufferCount) {
    ::setenv("XIOT_BUFFERED", "true", 1);
    ::setenv("XIOT_BLOCKSIZE", std::to_string(blockSize).c_str(), 1);
    ::setenv("XIOT_BUFFERCOUNT", std::to_string(bufferCount).c_str(), 1);
    readStartUpSettings();
  }

  struct LimitedRun {
    std::size_t recordsWritten;  // before the first that failed
    std::int32_t closed;         // the close's result
  };
  // Writes `records` through a buffered unit of 128 KiB blocks that goes past the page
  // cache from `directFrom` bytes on, and closes it, with the file size limited to `limit`
  // from the open to the close; a write past the limit fails, as the program makes it fail.
  LimitedRun writeUnderLimit(const std::string& path, const std::vector<std::string>& records, std::uint64_t limit,
                             std::uint64_t directFrom) {
    setBlocks(131072, 1);
    overrideDirectWritePolicyForTests({true, directFrom});
    resetFastPathCounts();
    platform::failWritesPastFileSizeLimit();  // left so afterwards, as the program leaves it
    rlimit saved = {};
    EXPECT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limited = saved;
    limited.rlim_cur = limit;
    EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
    LimitedRun run;
    run.recordsWritten = writeRecords(path, records);
    run.closed = closeUnit(kUnit, true);
    EXPECT_EQ(::setrlimit(RLIMIT_FSIZE, &saved), 0);
    return run;
  }

  TempDir directory_;
  testing_support::TestOverridesReset hooksReset_;
};

// The bytes the records make in a file, each with its CR LF.
std::string tableOf(const std::vector<std::string>& records) {
  std::string table;
  for (const std::string& record : records) table += record + "\r\n";
  return table;
}

// Blocks of sizes that reach the change at once or only after a few blocks, the change
// early or late in the table, and the blocks written by the statements themselves when
// the writing thread cannot be had.
TEST_F(DirectOutput, WritesTheBytesOfThePageCachesPath) {
  std::mt19937_64 random(20261208);
  const std::size_t blockSizes[] = {512, 5120, 131072, 131072 * 3, 3 * kMiB / 2};
  std::uint64_t directTrials = 0;
  for (int trial = 0; trial < 16; ++trial) {
    const std::size_t blockSize = blockSizes[random() % std::size(blockSizes)];
    const int bufferCount = 1 + static_cast<int>(random() % 3);
    const std::uint64_t minimumBytes = random() % (2 * kMiB);
    const bool threadFails = trial % 4 == 3;
    const std::vector<std::string> records = randomRecords(random, 2 * kMiB + random() % (3 * kMiB));
    SCOPED_TRACE("block " + std::to_string(blockSize) + " x " + std::to_string(bufferCount) + ", direct from " +
                 std::to_string(minimumBytes) + (threadFails ? ", no writing thread" : ""));
    setBlocks(blockSize, bufferCount);

    overrideDirectWritePolicyForTests({false, 0});
    const std::string cachedPath = directory_.file("cached");
    ASSERT_EQ(writeRecords(cachedPath, records), records.size());
    const std::string cached = testing_support::closeAndRead(kUnit, cachedPath);

    overrideDirectWritePolicyForTests({true, minimumBytes});
    if (threadFails) failThreadStartsForTests(0, ThreadStartFailure::NoThread);
    resetFastPathCounts();
    const std::string directPath = directory_.file("direct");
    ASSERT_EQ(writeRecords(directPath, records), records.size());
    const std::string direct = testing_support::closeAndRead(kUnit, directPath);
    failThreadStartsForTests(0, ThreadStartFailure::None);

    ASSERT_TRUE(samePrefix(direct, cached, cached.size()));
    // A table at least a direct block past the change has one written that way.
    if (cached.size() >= minimumBytes + blockSize * bufferCount + 2 * kMiB) {
      EXPECT_GT(fastPathCounts().directBlocksWritten.load(), 0u);
    }
    directTrials += fastPathCounts().directBlocksWritten.load() > 0;
  }
  EXPECT_GE(directTrials, 8u);
}

// A file-size limit within the direct blocks: the write that crosses it fails with 38,
// and the file keeps the whole records before the failed block, with nothing torn and
// nothing added: at most that block and a record short of the limit.
TEST_F(DirectOutput, FileSizeLimitLeavesWholeRecords) {
  std::mt19937_64 random(8);
  for (int trial = 0; trial < 6; ++trial) {
    const std::vector<std::string> records = randomRecords(random, 8 * kMiB);
    const std::string table = tableOf(records);
    // Limits at an aligned offset (the direct write stops short) and anywhere.
    std::uint64_t limit = 2 * kMiB + random() % (3 * kMiB);
    if (trial % 2 == 0) limit = limit / 4096 * 4096;
    SCOPED_TRACE("limit " + std::to_string(limit));
    const std::string path = directory_.file("limited");
    const LimitedRun run = writeUnderLimit(path, records, limit, random() % kMiB);

    EXPECT_LT(run.recordsWritten, records.size());
    EXPECT_EQ(run.closed, 0);  // the failure was the record's, and the unit is closed all the same
    EXPECT_GT(fastPathCounts().directBlocksWritten.load(), 0u);
    const std::string file = testing_support::readFile(path);
    ASSERT_LE(file.size(), limit);
    EXPECT_TRUE(samePrefix(file, table, file.size()));
    EXPECT_TRUE(file.empty() || file.back() == '\n');
    EXPECT_GT(file.size() + kMiB + 256, limit);
  }
}

// A table that ends exactly where a direct block ends leaves nothing in the buffer at the
// close, only that block in flight: the close still waits for it, and its failure is the
// close's, 38, with the file cut back to the whole records before it. Records of 64
// bytes end every block whole; the limit lies at the last block's start, at an aligned
// offset inside it, and inside a record.
TEST_F(DirectOutput, FailedLastBlockOfATableThatEndsWithABlock) {
  // 1 MiB through the page cache, then three direct blocks of 1 MiB.
  const std::vector<std::string> records(4 * kMiB / 64, std::string(62, 'r'));
  const std::string table = tableOf(records);
  ASSERT_EQ(table.size(), 4 * kMiB);
  for (const std::uint64_t limit : {3 * kMiB, 3 * kMiB + 5 * 4096, 3 * kMiB + 100000}) {
    SCOPED_TRACE("limit " + std::to_string(limit));
    const std::string path = directory_.file("limited");
    const LimitedRun run = writeUnderLimit(path, records, limit, kMiB);

    EXPECT_EQ(run.recordsWritten, records.size());  // the last block failed behind the statements
    EXPECT_EQ(run.closed, 38);
    EXPECT_GT(fastPathCounts().directBlocksWritten.load(), 0u);
    EXPECT_TRUE(samePrefix(testing_support::readFile(path), table, 3 * kMiB));
  }
}

// An interrupt while a probe's buffered unit writes past the page cache: the run ends
// with the interrupt's report and status, and the file holds whole records only, past
// the change. Records of 66 bytes straddle the direct blocks, and the last block at the
// stop is a short one.
TEST_F(DirectOutput, InterruptKeepsWholeRecords) {
  constexpr std::uint64_t kMinimum = kMiB;
  const std::string path = directory_.file("table.xyz");
  const std::string record = "  5.000000000E-01  5.000000000E-01 -5.000000000E-01  1.00000E+00";
  testing_support::StartedProgram program =
      testing_support::startScript({"direct-writes", std::to_string(kMinimum), "open", "1", path, "#4", "write", "0",
                                    "write-until-event", "1", record},
                                   {"XIOT_BUFFERED=1"});
  ASSERT_TRUE(testing_support::waitForOutput(program, "ready\n"));
  // Until two direct blocks have passed the change; a probe that ended early fails below.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  std::error_code error;
  while (std::chrono::steady_clock::now() < deadline) {
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (!error && size >= kMinimum + 2 * kMiB) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ::kill(program.pid, SIGINT);
  const testing_support::RunResult run = testing_support::finishProgram(program, 60);
  EXPECT_EQ(run.status, 130);
  EXPECT_EQ(run.err.rfind("xiorun: error (200): program aborting due to control-C event\n", 0), 0u) << run.err;
  const std::string contents = testing_support::readFile(path);
  const std::string line = record + "\r\n";
  EXPECT_GT(contents.size(), kMinimum);
  ASSERT_EQ(contents.size() % line.size(), 0u) << "a torn record at the end: " << contents.size() << " bytes";
  for (std::size_t at = 0; at < contents.size(); at += line.size()) {
    ASSERT_EQ(contents.compare(at, line.size(), line), 0) << "record at byte " << at;
  }
}

}  // namespace

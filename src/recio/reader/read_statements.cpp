// A run of one-value read statements, and the read-ahead of its file's second half: a
// worker counts the first half's lines, waits for the statements' answer whether it may
// write from that statement on, and converts the second half's plain lines into their
// targets; the statements take its values when they reach its first statement standing
// at the split, and give them back otherwise.
#include "recio/reader/read_statements.h"

#include <algorithm>
#include <atomic>
#include <limits>
#include <thread>

#include "recio/reader/input_split.h"
#include "recio/reader/read_ahead_policy.h"
#include "recio/reader/reader.h"
#include "recio/threads/change_signal.h"
#include "recio/threads/fast_path_counts.h"
#include "recio/threads/worker_threads.h"

namespace recio {
namespace {

// Targets are fetched this many at a time: one virtual call per chunk, not per value.
constexpr std::size_t kTargetsPerChunk = 256;

// The targets of statements taken in increasing order, fetched a chunk at a time.
class TargetCursor {
 public:
  TargetCursor(const StatementTargets& targets, std::uint64_t statementCount)
      : targets_(targets), statementCount_(statementCount) {}

  // The target of `statement`, which is below the run's statement count and at or after
  // the one asked for before.
  double* targetOf(std::uint64_t statement) {
    if (statement - first_ >= fetched_) fetch(statement);
    return addresses_[statement - first_];
  }

  // The targets of `statement` and of those after it fetched with it: `available`, at
  // least one, of them.
  double* const* targetsFrom(std::uint64_t statement, std::size_t& available) {
    if (statement - first_ >= fetched_) fetch(statement);
    available = fetched_ - static_cast<std::size_t>(statement - first_);
    return addresses_ + (statement - first_);
  }

 private:
  void fetch(std::uint64_t statement) {
    first_ = statement;
    fetched_ = static_cast<std::size_t>(std::min<std::uint64_t>(kTargetsPerChunk, statementCount_ - statement));
    targets_.fill(statement, fetched_, addresses_);
  }

  const StatementTargets& targets_;
  const std::uint64_t statementCount_;
  std::uint64_t first_ = 0;
  std::size_t fetched_ = 0;
  double* addresses_[kTargetsPerChunk];
};

// The second half of the run's file read ahead on a worker. The worker assumes that
// every line of the first half holds one statement's value, so that its first line is
// statement n, the first half's line count; the statements check that assumption where
// it matters, at statement n, and adopt the worker's values only if they stand exactly
// at the split. Before the statements at the checkpoints this returns, the statements
// call passCheckpoint: at first to ask for the worker's count and answer it, then at
// statement n to adopt or give back. The result is the one the statements alone give.
class ReadAhead {
 public:
  static constexpr std::uint64_t kNoCheckpoint = std::numeric_limits<std::uint64_t>::max();

  // Starts the worker when the policy allows it, the run has two statements or more,
  // a processor is to spare and the unit's file can be cut.
  ReadAhead(std::int32_t unitNumber, std::uint64_t statementCount, const StatementTargets& targets,
            const ReadAheadPolicy& policy)
      : targets_(targets), statementCount_(statementCount), awaitLineCount_(policy.awaitLineCount) {
    if (!policy.allowed || statementCount < 2 || workersToSpare(1) == 0) return;
    if (!split_.cut(unitNumber, policy.minimumBytes)) return;
    if (!startWorker(worker_, [this] { work(); })) return;
    fastPathCounts().readAheadWorkersStarted.fetch_add(1, std::memory_order_relaxed);
    stage_ = Stage::AwaitingCount;
    firstCheckpoint_ = policy.firstCountRequest;
  }
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The first statement before which passCheckpoint is called; kNoCheckpoint when no
  // worker runs.
  std::uint64_t firstCheckpoint() const { return firstCheckpoint_; }

  // Called before `statement` when it is the checkpoint last returned. May move
  // `statement` past the statements whose values the worker stored, and the unit's
  // input past their lines. Returns the next checkpoint.
  std::uint64_t passCheckpoint(std::uint64_t& statement) {
    switch (stage_) {
      case Stage::AwaitingCount:
        return answerLineCount(statement);
      case Stage::BeforeSplit:
        stage_ = Stage::Done;
        adoptOrGiveBack(statement);
        return kNoCheckpoint;
      case Stage::Done:
        break;
    }
    return kNoCheckpoint;
  }

  // Tells the worker to stop and joins it, before the run returns. Targets the worker
  // wrote for statements that never reached them are given back.
  ~ReadAhead() {
    if (!worker_.joinable()) return;
    split_.cancel();
    int unanswered = kUnanswered;
    answer_.compare_exchange_strong(unanswered, kStop, std::memory_order_release);
    changed_.notifyAll();
    worker_.join();
    if (stage_ == Stage::BeforeSplit) giveBackWorkerTargets();
    stage_ = Stage::Done;
  }

 private:
  enum Answer : int { kUnanswered, kGoOn, kStop };
  enum class Stage { AwaitingCount, BeforeSplit, Done };
  // The worker's line count before it has counted, and when it could not count.
  static constexpr std::uint64_t kCountPending = std::numeric_limits<std::uint64_t>::max();
  static constexpr std::uint64_t kCountFailed = kCountPending - 1;

  void work() {
    std::uint64_t lines = 0;
    const bool counted = split_.countFirstHalfLines(lines);
    lineCount_.store(counted ? lines : kCountFailed, std::memory_order_release);
    changed_.notifyAll();
    if (!counted) return;
    // Nothing is written before the statements answer: they may already have passed
    // that statement. They answer at their next statement, or when they finish.
    changed_.waitUntil([this] { return answer_.load(std::memory_order_acquire) != kUnanswered; });
    if (answer_.load(std::memory_order_acquire) != kGoOn) return;

    std::uint64_t statement = lines;
    TargetCursor targets(targets_, statementCount_);
    workerOffsetEnd_ = split_.takePlainLines([&](double value) {
      if (statement == statementCount_ || split_.isCancelled()) return false;
      // A target is written only as the worker found it, +0.0, so that the value can be
      // given back (giveBackWorkerTargets). The test and the store are one
      // compare-and-exchange, a write from the start: a plain read first would map the
      // shared zero page into an untouched target's page, and the store after it would
      // then replace that mapping, which in a process whose other thread is running
      // costs a TLB shootdown, an interrupt of the other processor, once a page.
      double expected = 0.0;
      if (!std::atomic_ref<double>(*targets.targetOf(statement))
               .compare_exchange_strong(expected, value, std::memory_order_relaxed)) {
        return false;
      }
      ++statement;
      return true;
    });
    workerEnd_ = statement;
  }

  std::uint64_t answerLineCount(std::uint64_t statement) {
    if (awaitLineCount_) {
      changed_.waitUntil([this] { return lineCount_.load(std::memory_order_acquire) != kCountPending; });
    }
    const std::uint64_t lines = lineCount_.load(std::memory_order_acquire);
    // Asked again a run of statements later (kTargetsPerChunk): runs of plain records
    // end at each checkpoint, and the statements are far from the split meanwhile.
    if (lines == kCountPending) return statement + kTargetsPerChunk;
    // The statements have written targets below `statement` only; the worker writes from
    // `lines` on. Past that, or with no statement left for the worker, it writes nothing.
    const bool goOn = lines != kCountFailed && statement <= lines && lines < statementCount_;
    answer_.store(goOn ? kGoOn : kStop, std::memory_order_release);
    changed_.notifyAll();
    if (!goOn) {
      stage_ = Stage::Done;
      return kNoCheckpoint;
    }
    workerFirst_ = lines;
    stage_ = Stage::BeforeSplit;
    return lines;
  }

  // At the worker's first statement. Each statement takes at least one line, and the
  // first half has as many lines as statements have run: they stand at the split only
  // when each took exactly one.
  void adoptOrGiveBack(std::uint64_t& statement) {
    const bool atSplit = split_.unitAtSplit();
    if (!atSplit) split_.cancel();
    worker_.join();
    // The worker's lines are the ones the statements would take next, and each plain
    // line gives its statement the value the worker stored: the statements go on after
    // them.
    if (atSplit && split_.moveUnitInputTo(workerOffsetEnd_)) {
      fastPathCounts().cellsAdopted.fetch_add(workerEnd_ - statement, std::memory_order_relaxed);
      statement = workerEnd_;
      return;
    }
    // The statements go on from here, but a null value or a slash leaves a target as it
    // was: the worker's values are given back first.
    giveBackWorkerTargets();
  }

  // Sets the targets the joined worker wrote back to +0.0, as it found them.
  void giveBackWorkerTargets() {
    TargetCursor targets(targets_, statementCount_);
    for (std::uint64_t statement = workerFirst_; statement < workerEnd_; ++statement) {
      *targets.targetOf(statement) = 0.0;
    }
  }

  const StatementTargets& targets_;
  const std::uint64_t statementCount_;
  const bool awaitLineCount_;
  InputSplit split_;
  Stage stage_ = Stage::Done;
  std::uint64_t firstCheckpoint_ = kNoCheckpoint;
  // The worker's first statement, the first half's line count, once the worker has
  // told it and the statements have let it go on.
  std::uint64_t workerFirst_ = 0;
  // From the worker: its count of the first half's lines...
  std::atomic<std::uint64_t> lineCount_{kCountPending};
  // ...and the statements' answer: whether it may write from that statement on.
  std::atomic<int> answer_{kUnanswered};
  // Signalled when the count is told, and when the answer is.
  ChangeSignal changed_;
  // Valid once the worker is joined: the statements whose values it stored end here,
  // and their lines end at this file offset.
  std::uint64_t workerEnd_ = 0;
  std::uint64_t workerOffsetEnd_ = 0;
  std::thread worker_;
};

}  // namespace

IoOutcome readStatements(std::int32_t unitNumber, std::uint32_t options, std::uint64_t statementCount,
                         const StatementTargets& targets) {
  ReadAhead ahead(unitNumber, statementCount, targets, reader::readAheadPolicy());
  FreeFormatReader reader;
  reader.holdUnitBetweenStatements();
  TargetCursor cursor(targets, statementCount);
  std::uint64_t checkpoint = ahead.firstCheckpoint();
  IoOutcome outcome = kSuccess;
  std::uint64_t statement = 0;
  while (statement < statementCount && outcome == kSuccess) {
    if (statement == checkpoint) {
      reader.releaseHeldUnit();  // the checkpoint takes the unit itself
      while (statement == checkpoint) checkpoint = ahead.passCheckpoint(statement);
      if (statement == statementCount) break;
    }
    // The plain records already read go a run at a time, up to the targets fetched and
    // the next checkpoint: a stop begun elsewhere waits for one run at most.
    std::size_t available = 0;
    double* const* run = cursor.targetsFrom(statement, available);
    const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(available, checkpoint - statement));
    const std::size_t taken = reader.readPlainReals(unitNumber, run, wanted);
    statement += taken;
    if (taken == wanted) continue;
    // Only the first value of a line is taken; the rest of the line is dropped with the
    // statement.
    outcome = reader.readReal(unitNumber, options, cursor.targetOf(statement));
    ++statement;
  }
  fastPathCounts().plainRecordsRead.fetch_add(reader.plainRecordsRead(), std::memory_order_relaxed);
  fastPathCounts().plainRecordsReadInRuns.fetch_add(reader.plainRecordsReadInRuns(), std::memory_order_relaxed);
  fastPathCounts().quickLinesRead.fetch_add(reader.quickLinesRead(), std::memory_order_relaxed);
  return outcome;
}

}  // namespace recio

// The model's second half read ahead on a worker thread.
#include "app/model_halves.h"

#include <bit>

#include "recio/fast_path_testing.h"
#include "recio/units/unit.h"
#include "recio/units/unit_table.h"
#include "recio/worker_threads.h"

namespace app {

ModelHalves::ModelHalves(std::int32_t unitNumber, const ModelGrid& grid, std::uint64_t cellCount,
                         std::uint64_t minimumBytes, bool awaitCount)
    : unitNumber_(unitNumber), grid_(grid), cellCount_(cellCount), awaitCount_(awaitCount) {
  if (cellCount < 2 || recio::workersToSpare(1) == 0) return;
  recio::InputSplit split;
  if (!recio::splitInput(unitNumber, minimumBytes, split)) return;
  splitOffset_ = split.offset;
  if (!recio::startWorker(worker_, [this, split] { work(split); })) {
    int ignored = 0;
    recio::platform::closeFile(split.reader, ignored);
    return;
  }
  recio::fastPathCounts().readAheadWorkersStarted.fetch_add(1, std::memory_order_relaxed);
  stage_ = Stage::Counting;
}

ModelHalves::~ModelHalves() { finish(); }

void ModelHalves::work(recio::InputSplit split) {
  recio::SecondHalfScan scan(split);
  std::uint64_t lines = 0;
  const bool counted = scan.countFirstHalfLines(lines);
  firstHalfLines_.store(counted ? lines : kNoCount, std::memory_order_release);
  told_.notifyAll();
  if (!counted) return;
  // Nothing is written before the statements answer: they may already have passed that
  // cell. They answer at their next cell, or when they finish.
  told_.waitUntil([this] { return verdict_.load(std::memory_order_acquire) != kPending; });
  if (verdict_.load(std::memory_order_acquire) != kGo) return;

  std::uint64_t cell = lines;
  FileOrderCells cells(grid_, cell);
  workerLineEnd_ = scan.takePlainLines([&](double value) {
    // A cell is written only as the worker found it, +0.0, so that a cell it wrote can
    // be given back (clearWorkerCells).
    if (cell == cellCount_ || cancelled_.load(std::memory_order_relaxed) ||
        std::bit_cast<std::uint64_t>(*cells.cell()) != 0) {
      return false;
    }
    *cells.cell() = value;
    cells.next();
    ++cell;
    return true;
  });
  workerCellEnd_ = cell;
}

std::uint64_t ModelHalves::meet(std::uint64_t& cell) {
  if (stage_ == Stage::Counting) {
    if (awaitCount_) {
      told_.waitUntil([this] { return firstHalfLines_.load(std::memory_order_acquire) != kNotCounted; });
    }
    const std::uint64_t lines = firstHalfLines_.load(std::memory_order_acquire);
    if (lines == kNotCounted) return cell + 1;
    // The statements have written cells below `cell` only; the worker writes from
    // `lines` on. Past that, or with no cell left for the worker, it writes nothing.
    const bool go = lines != kNoCount && cell <= lines && lines < cellCount_;
    verdict_.store(go ? kGo : kStop, std::memory_order_release);
    told_.notifyAll();
    if (!go) {
      stage_ = Stage::Done;
      return kNoMeeting;
    }
    firstHalfCells_ = lines;
    stage_ = Stage::AtSplit;
    return lines;
  }
  if (stage_ != Stage::AtSplit) return kNoMeeting;
  stage_ = Stage::Done;
  // Each statement takes at least one line, and the first half has as many lines as
  // statements have run: they stand at the split only when each took exactly one.
  recio::Unit* unit = recio::acquireUnit(unitNumber_);
  const bool atSplit = unit != nullptr && unit->inputOffset() == splitOffset_;
  if (unit != nullptr) recio::releaseUnit(*unit);
  if (!atSplit) cancelled_.store(true, std::memory_order_relaxed);
  worker_.join();
  // The worker's lines are the ones the statements would take next, and each plain
  // line gives its statement the value the worker stored: the statements go on after
  // them.
  bool adopted = false;
  if (atSplit && (unit = recio::acquireUnit(unitNumber_)) != nullptr) {
    adopted = unit->moveInputTo(workerLineEnd_);
    recio::releaseUnit(*unit);
  }
  if (adopted) {
    recio::fastPathCounts().cellsAdopted.fetch_add(workerCellEnd_ - cell, std::memory_order_relaxed);
    cell = workerCellEnd_;
  } else {
    // The statements go on from this cell, but a null value or a slash leaves a cell
    // as it was: the worker's cells are given back first.
    clearWorkerCells();
  }
  return kNoMeeting;
}

void ModelHalves::clearWorkerCells() {
  FileOrderCells cells(grid_, firstHalfCells_);
  for (std::uint64_t cell = firstHalfCells_; cell < workerCellEnd_; ++cell, cells.next()) *cells.cell() = 0.0;
}

void ModelHalves::finish() {
  if (!worker_.joinable()) return;
  cancelled_.store(true, std::memory_order_relaxed);
  int pending = kPending;
  verdict_.compare_exchange_strong(pending, kStop, std::memory_order_release);
  told_.notifyAll();
  worker_.join();
  // The statements ended before the split: the grid is left as they alone leave it.
  if (stage_ == Stage::AtSplit) clearWorkerCells();
  stage_ = Stage::Done;
}

}  // namespace app

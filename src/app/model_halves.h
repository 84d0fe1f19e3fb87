// The model's second half read ahead: when the model is a large disk file and a second
// processor is there, a worker converts the lines after the file's middle straight into
// their cells while the statements read the first half. The worker assumes that every
// line of the first half holds one cell, so that its first line is cell number n, the
// first half's line count; the statements check that assumption where it matters, when
// they reach cell n, and adopt the worker's cells only if they stand exactly at the
// split. The result is the one the statements alone would give.
#pragma once

#include <atomic>
#include <cstdint>
#include <limits>
#include <thread>

#include "app/grid.h"
#include "recio/change_signal.h"
#include "recio/reader/input_split.h"

namespace app {

class ModelHalves {
 public:
  static constexpr std::uint64_t kNoMeeting = std::numeric_limits<std::uint64_t>::max();

  // Starts the worker for the model connected to unit `unitNumber`, which no statement
  // holds, when the file has at least `minimumBytes` and the split is worth it. With
  // `awaitCount` the first meeting waits for the worker's line count (for tests).
  ModelHalves(std::int32_t unitNumber, const ModelGrid& grid, std::uint64_t cellCount, std::uint64_t minimumBytes,
              bool awaitCount);
  // Joins the worker (finish).
  ~ModelHalves();
  ModelHalves(const ModelHalves&) = delete;
  ModelHalves& operator=(const ModelHalves&) = delete;

  // The first cell before whose statement `meet` is to be called; kNoMeeting when no
  // worker runs.
  std::uint64_t firstMeeting() const { return worker_.joinable() ? 0 : kNoMeeting; }
  // Called before the statement of `cell` when the cell is the meeting last returned.
  // May move `cell` past the cells that the worker converted, and the unit's input past
  // their lines. Returns the next meeting.
  std::uint64_t meet(std::uint64_t& cell);
  // Tells the worker to stop and joins it; the statements call it before they return.
  void finish();

 private:
  enum Verdict : int { kPending, kGo, kStop };
  enum class Stage { Counting, AtSplit, Done };
  static constexpr std::uint64_t kNotCounted = std::numeric_limits<std::uint64_t>::max();
  static constexpr std::uint64_t kNoCount = kNotCounted - 1;

  void work(recio::InputSplit split);
  // Sets the cells the joined worker wrote back to 0, as it found them.
  void clearWorkerCells();

  const std::int32_t unitNumber_;
  const ModelGrid grid_;
  const std::uint64_t cellCount_;
  const bool awaitCount_;
  std::uint64_t splitOffset_ = 0;
  Stage stage_ = Stage::Done;
  std::uint64_t firstHalfCells_ = 0;  // the first half's line count, once the worker has told it
  // From the worker: its count (kNotCounted until then, kNoCount when it failed)...
  std::atomic<std::uint64_t> firstHalfLines_{kNotCounted};
  // ...and the statements' answer: whether it may write cells from that count on.
  std::atomic<int> verdict_{kPending};
  std::atomic<bool> cancelled_{false};
  // Signalled when the count is told, and when the verdict is.
  recio::ChangeSignal told_;
  // Valid once the worker is joined: the cells it converted end here, and their lines
  // end at this offset.
  std::uint64_t workerCellEnd_ = 0;
  std::uint64_t workerLineEnd_ = 0;
  std::thread worker_;
};

}  // namespace app

// Editing ahead: worker threads edit the records of a run of statements into a ring of
// chunks, and the calling thread runs the statements in order, each handing over the
// record edited for it; without workers, the calling thread edits a chunk and then runs
// its statements, in turn.
#include "recio/format/write_statements.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <new>
#include <thread>
#include <vector>

#include "recio/change_signal.h"
#include "recio/fast_path_testing.h"
#include "recio/format/field_cache.h"
#include "recio/format/plan.h"
#include "recio/units/unit_table.h"
#include "recio/worker_threads.h"

namespace recio {
namespace {

constexpr std::size_t kStatementsPerChunk = 1024;
// Chunks edited or being edited ahead of the statements: enough that the workers
// rarely wait for the writer, few enough to stay in the processor's caches.
constexpr std::size_t kRingChunks = 8;
// A run shorter than this many chunks is not worth starting threads for.
constexpr std::uint64_t kMinimumChunks = 4;
// Records longer than this are edited by the statements themselves, which keeps the
// ring's memory bounded: at most kRingChunks x kStatementsPerChunk x (this + the
// values of 16 fields) bytes.
constexpr std::size_t kMaximumRecordLength = 1024;
// Workers beyond the calling thread: one per further processor, at most this many. The
// calling thread edits too whenever it would wait, so it needs a processor of its own:
// on two processors, two workers ran 1.2 times slower than one.
constexpr unsigned kMaximumWorkers = 2;

struct Chunk {
  std::vector<double> values;
  std::vector<char> records;
  // The chunk number it holds + 1, once its records are edited.
  std::atomic<std::uint64_t> edited{0};
  // The chunk number + 1 of the last chunk whose records the statements have handed
  // over from this slot: the slot is free for chunk c once it holds c - kRingChunks + 1.
  std::atomic<std::uint64_t> written{0};
};

class Ring {
 public:
  Ring(const format::FieldPlan& plan, std::uint64_t statementCount, const StatementValues& values)
      : plan_(plan), statementCount_(statementCount), values_(values),
        chunkCount_((statementCount + kStatementsPerChunk - 1) / kStatementsPerChunk) {}

  // False when the memory cannot be had.
  bool allocate(std::size_t chunkCount) {
    chunks_.reset(new (std::nothrow) Chunk[chunkCount]);
    if (chunks_ == nullptr) return false;
    for (std::size_t slot = 0; slot < chunkCount; ++slot) {
      Chunk& chunk = chunks_[slot];
      if (!resize(chunk.values, kStatementsPerChunk * plan_.fieldCount) ||
          !resize(chunk.records, kStatementsPerChunk * plan_.recordLength)) {
        return false;
      }
    }
    return true;
  }

  // A worker: takes the next chunk not yet taken, waits for its slot to be free, edits
  // it, and goes on until every chunk is taken.
  void edit() {
    std::unique_ptr<format::FieldCache> cache(new (std::nothrow) format::FieldCache);
    for (;;) {
      const std::uint64_t number = nextChunk_.fetch_add(1, std::memory_order_relaxed);
      if (number >= chunkCount_) return;
      Chunk& chunk = chunks_[number % kRingChunks];
      const std::uint64_t freedAt = number < kRingChunks ? 0 : number - kRingChunks + 1;
      handedOver_.waitUntil([&] { return chunk.written.load(std::memory_order_acquire) == freedAt; });
      editChunk(number, chunk, cache.get());
      chunk.edited.store(number + 1, std::memory_order_release);
      handedOver_.notifyAll();
      countEdited(number, true);
    }
  }

  // The statements, in order, each with the record edited for it. While the chunk they
  // are at is still being edited, the calling thread edits later chunks itself rather
  // than wait: where writing is cheap, editing is what the run waits for.
  void write(std::int32_t unitNumber, const FormatProgram& program) {
    FormattedWriter writer;
    std::unique_ptr<format::FieldCache> cache;
    for (std::uint64_t number = 0; number < chunkCount_; ++number) {
      Chunk& chunk = chunks_[number % kRingChunks];
      const auto edited = [&] { return chunk.edited.load(std::memory_order_acquire) == number + 1; };
      while (!edited() && editNextFreeChunk(number, cache)) {
      }
      handedOver_.waitUntil(edited);
      writeChunk(writer, unitNumber, program, number, chunk);
      chunk.written.store(number + 1, std::memory_order_release);
      handedOver_.notifyAll();
    }
  }

  // Takes the next chunk not yet taken and edits it, if its slot is free: if it is less
  // than a ring ahead of the chunk the statements are at, since every chunk before that
  // one has been written. False when there is no such chunk.
  bool editNextFreeChunk(std::uint64_t writing, std::unique_ptr<format::FieldCache>& cache) {
    std::uint64_t number = nextChunk_.load(std::memory_order_relaxed);
    do {
      if (number >= chunkCount_ || number >= writing + kRingChunks) return false;
    } while (!nextChunk_.compare_exchange_weak(number, number + 1, std::memory_order_relaxed));
    if (cache == nullptr) cache.reset(new (std::nothrow) format::FieldCache);
    Chunk& chunk = chunks_[number % kRingChunks];
    editChunk(number, chunk, cache.get());
    chunk.edited.store(number + 1, std::memory_order_release);
    handedOver_.notifyAll();
    countEdited(number, false);
    return true;
  }

  // Without workers: a chunk edited, then its statements, in turn on the calling
  // thread. Editing a thousand records together keeps the field cache and the digit
  // tables in the processor's caches, which a write call per record would flush.
  void editAndWrite(std::int32_t unitNumber, const FormatProgram& program) {
    std::unique_ptr<format::FieldCache> cache(new (std::nothrow) format::FieldCache);
    FormattedWriter writer;
    for (std::uint64_t number = 0; number < chunkCount_; ++number) {
      editChunk(number, chunks_[0], cache.get());
      writeChunk(writer, unitNumber, program, number, chunks_[0]);
    }
  }

 private:
  static bool resize(auto& buffer, std::size_t size) {
    try {
      buffer.resize(size);
      return true;
    } catch (const std::bad_alloc&) {
      return false;
    }
  }

  void writeChunk(FormattedWriter& writer, std::int32_t unitNumber, const FormatProgram& program,
                  std::uint64_t number, const Chunk& chunk) const {
    const std::size_t count = statementsIn(number);
    const std::size_t fieldCount = plan_.fieldCount;
    for (std::size_t statement = 0; statement < count; ++statement) {
      writer.writeEdited(unitNumber, program, chunk.records.data() + statement * plan_.recordLength,
                         chunk.values.data() + statement * fieldCount, fieldCount);
    }
  }

  static void countEdited(std::uint64_t number, bool byWorker) {
    FastPathCounts& counts = fastPathCounts();
    if (byWorker) counts.chunksEditedByWorkers.fetch_add(1, std::memory_order_relaxed);
    if (number >= kRingChunks) counts.ringSlotsReused.fetch_add(1, std::memory_order_relaxed);
  }

  std::size_t statementsIn(std::uint64_t number) const {
    return static_cast<std::size_t>(std::min<std::uint64_t>(kStatementsPerChunk,
                                                             statementCount_ - number * kStatementsPerChunk));
  }

  // The records of one chunk, field by field as the plan lays them out; the same
  // characters as the statements would edit, through a cache of the worker's own.
  void editChunk(std::uint64_t number, Chunk& chunk, format::FieldCache* cache) const {
    const std::size_t count = statementsIn(number);
    values_.fill(number * kStatementsPerChunk, count, chunk.values.data());
    const double* value = chunk.values.data();
    char* record = chunk.records.data();
    for (std::size_t statement = 0; statement < count; ++statement, record += plan_.recordLength) {
      for (std::size_t position = 0; position < plan_.fieldCount; ++position, ++value) {
        const format::PlannedField& field = plan_.fields[position];
        if (cache != nullptr) {
          cache->edit(position, *value, field.width, field.fractionDigits, field.scaleFactor, record + field.begin);
        } else {
          format::editReal(*value, field.width, field.fractionDigits, field.scaleFactor, record + field.begin);
        }
      }
    }
  }

  const format::FieldPlan& plan_;
  const std::uint64_t statementCount_;
  const StatementValues& values_;
  const std::uint64_t chunkCount_;
  std::unique_ptr<Chunk[]> chunks_;
  std::atomic<std::uint64_t> nextChunk_{0};
  // Signalled whenever a chunk is edited or written.
  ChangeSignal handedOver_;
};

// Whether the unit's records collect in a block buffer. A record written at once costs
// a write call, which outweighs its editing, and every thread alive in the process makes
// each call dearer (the kernel then guards the file position of every call), so only a
// buffered unit is worth the workers.
bool collectsInBlocks(std::int32_t unitNumber) {
  Unit* unit = acquireUnit(unitNumber);
  if (unit == nullptr) return false;
  const bool buffered = unit->buffered();
  releaseUnit(*unit);
  return buffered;
}

// The statements themselves, the values fetched a chunk at a time.
void writeOneByOne(std::int32_t unitNumber, const FormatProgram& program, std::uint64_t statementCount,
                   std::size_t valuesPerStatement, const StatementValues& values) {
  FormattedWriter writer;
  std::vector<double> chunk;
  const std::uint64_t chunkLength = std::min<std::uint64_t>(statementCount, kStatementsPerChunk);
  try {
    chunk.resize(static_cast<std::size_t>(chunkLength) * valuesPerStatement);
  } catch (const std::bad_alloc&) {
    chunk.assign(valuesPerStatement, 0.0);  // one statement at a time
  }
  const std::uint64_t perChunk = chunk.size() / valuesPerStatement;
  for (std::uint64_t first = 0; first < statementCount; first += perChunk) {
    const auto count = static_cast<std::size_t>(std::min(perChunk, statementCount - first));
    values.fill(first, count, chunk.data());
    for (std::size_t statement = 0; statement < count; ++statement) {
      const double* statementValues = chunk.data() + statement * valuesPerStatement;
      writer.begin(unitNumber, program);
      for (std::size_t value = 0; value < valuesPerStatement; ++value) {
        writer.transfer(realItem(statementValues[value],
                                 value + 1 == valuesPerStatement ? kFollowLast : kFollowMore));
      }
    }
  }
}

}  // namespace

void writeStatements(std::int32_t unitNumber, const FormatProgram& program, std::uint64_t statementCount,
                     std::size_t valuesPerStatement, const StatementValues& values) {
  if (valuesPerStatement == 0) {
    return;  // a statement without items would hold its unit for good
  }
  const format::FieldPlan plan = format::compilePlan(program);
  Ring ring(plan, statementCount, values);
  if (!plan.usable || plan.fieldCount != valuesPerStatement || plan.recordLength > kMaximumRecordLength) {
    writeOneByOne(unitNumber, program, statementCount, valuesPerStatement, values);
    return;
  }
  const unsigned workerCount =
      statementCount >= kMinimumChunks * kStatementsPerChunk && collectsInBlocks(unitNumber) ? workersToSpare(kMaximumWorkers) : 0;
  if (workerCount == 0 || !ring.allocate(kRingChunks)) {
    if (ring.allocate(1)) {
      ring.editAndWrite(unitNumber, program);
    } else {
      writeOneByOne(unitNumber, program, statementCount, valuesPerStatement, values);
    }
    return;
  }
  // The workers only read the plan and the values and write the ring, all of which
  // outlive them: should a statement end the run, the process exits with this frame
  // still in place beneath it.
  std::thread workers[kMaximumWorkers];
  unsigned started = 0;
  // The workers that did start take every chunk between them.
  while (started < std::min(workerCount, kMaximumWorkers) && startWorker(workers[started], [&ring] { ring.edit(); })) {
    ++started;
  }
  fastPathCounts().editingWorkersStarted.fetch_add(started, std::memory_order_relaxed);
  if (started == 0) {
    ring.editAndWrite(unitNumber, program);
    return;
  }
  ring.write(unitNumber, program);
  for (unsigned worker = 0; worker < started; ++worker) {
    workers[worker].join();
  }
}

}  // namespace recio

// Editing ahead: the records of a run of statements are edited a chunk at a time ahead
// of the statements, which then hand them over in order. With worker threads, the
// workers edit chunks into a ring of slots while the calling thread runs the statements;
// without them, the calling thread edits one chunk and then runs its statements, in turn.
#include "recio/format/write_statements.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <thread>
#include <vector>

#include "recio/format/chunk_editor.h"
#include "recio/format/edit.h"
#include "recio/format/plan.h"
#include "recio/format/record_layout.h"
#include "recio/threads/change_signal.h"
#include "recio/threads/fast_path_counts.h"
#include "recio/threads/worker_threads.h"
#include "recio/units/unit_table.h"

namespace recio {
namespace {

constexpr std::size_t kStatementsPerChunk = 1024;
// Chunks edited or being edited ahead of the statements: enough that the workers
// rarely wait for the statements, few enough to stay in the processor's caches.
constexpr std::size_t kRingChunks = 8;
// The statements wake sleeping workers once per this many chunks handed over.
constexpr std::size_t kChunksPerWake = kRingChunks / 2;
// A run shorter than this many chunks is not worth starting threads for.
constexpr std::uint64_t kMinimumChunks = 4;
// Records longer than this are edited by the statements themselves, which keeps the
// ring's memory bounded: at most kRingChunks x kStatementsPerChunk x (this + the
// values of 16 fields) bytes.
constexpr std::size_t kMaximumRecordLength = 1024;
// At most this many workers (workersToSpare). The calling thread edits too whenever it
// would wait, so it needs a processor of its own: on two processors, two workers ran 1.2
// times slower than one.
constexpr unsigned kMaximumWorkers = 2;

// False when the memory cannot be had: every buffer here has a way on without it.
template <class Buffer>
bool resize(Buffer& buffer, std::size_t size) {
  try {
    buffer.resize(size);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

// The values and the edited records of up to kStatementsPerChunk statements.
struct Chunk {
  std::vector<double> values;
  std::vector<char> records;

  bool allocate(const format::FieldPlan& plan, const format::RecordLayout& layout) {
    return resize(values, kStatementsPerChunk * plan.fieldCount) &&
           resize(records, kStatementsPerChunk * layout.stride());
  }
};

// Whether the statements of a run follow `plan`, decided once for the run: the format is
// one of E fields alone (usable), with a field for each of the statement's values, and
// its record is short enough for the ring. Such a run's records are edited ahead, and
// its writer is handed the plan with them; any other run is its statements themselves.
bool runFollowsPlan(const format::FieldPlan& plan, std::size_t valuesPerStatement) {
  return plan.usable && plan.fieldCount == valuesPerStatement && plan.recordLength <= kMaximumRecordLength;
}

// A run of statements that follow one plan, cut into chunks: how a chunk's records are
// edited and how its statements hand them over. Every editing thread shares it and only
// reads it.
class PlannedRun {
 public:
  PlannedRun(const format::FieldPlan& plan, const format::RecordLayout& layout, std::int32_t unitNumber,
             const FormatProgram& program, std::uint64_t statementCount, const StatementValues& values)
      : plan_(plan),
        layout_(layout),
        unitNumber_(unitNumber),
        program_(program),
        statementCount_(statementCount),
        values_(values),
        chunkCount_((statementCount + kStatementsPerChunk - 1) / kStatementsPerChunk) {
    // Values that hold over rows are taken from a template anyway; a period of a chunk or
    // more never finds its earlier value in the chunk.
    for (std::size_t position = 0; position < plan.fieldCount; ++position) {
      const std::size_t period = values.repeatPeriod(position);
      periods_[position] = period > 1 && period < kStatementsPerChunk ? period : 0;
    }
  }

  const format::FieldPlan& plan() const { return plan_; }
  const format::RecordLayout& layout() const { return layout_; }
  std::uint64_t chunkCount() const { return chunkCount_; }

  // An editor for one editing thread, which it keeps from chunk to chunk.
  format::ChunkEditor makeEditor() const { return format::ChunkEditor(plan_, layout_, periods_); }

  // The records of chunk `number`, laid out as the unit's block takes them: the same
  // characters as the statements would edit, each record followed by the terminator.
  void editChunk(std::uint64_t number, Chunk& chunk, format::ChunkEditor& editor) const {
    const std::size_t count = statementsIn(number);
    values_.fill(number * kStatementsPerChunk, count, chunk.values.data());
    editor.edit(chunk.values.data(), count, chunk.records.data());
  }

  // The statements of chunk `number`, in order, each with a record edited for it straight
  // into the unit's block where it takes them, else into the chunk.
  void runChunkStatementsEditing(FormattedWriter& writer, std::uint64_t number, Chunk& chunk,
                                 format::ChunkEditor& editor) const {
    const std::size_t count = statementsIn(number);
    values_.fill(number * kStatementsPerChunk, count, chunk.values.data());
    writer.runStatementsEditingInPlace(unitNumber_, program_, plan_, layout_, editor, chunk.values.data(), count,
                                       chunk.records.data());
  }

  // The statements of chunk `number`, in order, each handing over the record edited for it.
  void runChunkStatements(FormattedWriter& writer, std::uint64_t number, const Chunk& chunk) const {
    writer.runEditedStatements(unitNumber_, program_, plan_, layout_, chunk.records.data(), chunk.values.data(),
                               statementsIn(number));
  }

 private:
  std::size_t statementsIn(std::uint64_t number) const {
    return static_cast<std::size_t>(
        std::min<std::uint64_t>(kStatementsPerChunk, statementCount_ - number * kStatementsPerChunk));
  }

  const format::FieldPlan& plan_;
  const format::RecordLayout layout_;
  const std::int32_t unitNumber_;
  const FormatProgram program_;
  const std::uint64_t statementCount_;
  const StatementValues& values_;
  const std::uint64_t chunkCount_;
  // The repeat period of each position's values within a chunk, 0 for none.
  std::size_t periods_[format::FieldPlan::kMaxFields] = {};
};

// Without workers: a chunk edited, then its statements, in turn on the calling thread,
// the records edited straight into the unit's block where it takes them. Editing a
// thousand records together keeps the field cache and the digit tables in the
// processor's caches, which a write call per record would flush.
void editThenRunEachChunk(const PlannedRun& run, Chunk& chunk) {
  format::ChunkEditor editor = run.makeEditor();
  FormattedWriter writer;
  for (std::uint64_t number = 0; number < run.chunkCount(); ++number) {
    run.runChunkStatementsEditing(writer, number, chunk, editor);
  }
}

// One place of the ring; chunk c takes slot c % kRingChunks.
struct RingSlot {
  Chunk chunk;
  // The chunk number + 1 of the chunk in it, once its records are edited.
  std::atomic<std::uint64_t> edited{0};
  // The chunk number + 1 of the last chunk whose records the statements have handed
  // over from it: the slot is free for chunk c once it holds c - kRingChunks + 1.
  std::atomic<std::uint64_t> handedOver{0};
};

// The chunks that workers edit ahead of the statements, in kRingChunks slots that later
// chunks take over once the statements are done with them.
class ChunkRing {
 public:
  explicit ChunkRing(const PlannedRun& run) : run_(run) {}

  bool allocate() {
    return std::all_of(std::begin(slots_), std::end(slots_),
                       [this](RingSlot& slot) { return slot.chunk.allocate(run_.plan(), run_.layout()); });
  }

  // For the calling thread alone, when no worker could be had.
  Chunk& firstChunk() { return slots_[0].chunk; }

  // A worker: takes the next chunk not yet taken, waits for its slot to be free, edits
  // it, and goes on until every chunk is taken.
  void editAsWorker() {
    format::ChunkEditor editor = run_.makeEditor();
    for (;;) {
      const std::uint64_t number = nextChunk_.fetch_add(1, std::memory_order_relaxed);
      if (number >= run_.chunkCount()) return;
      RingSlot& slot = slotOf(number);
      const std::uint64_t freedAt = number < kRingChunks ? 0 : number - kRingChunks + 1;
      chunkChanged_.waitUntil([&] { return slot.handedOver.load(std::memory_order_acquire) == freedAt; });
      editInto(slot, number, editor, true);
    }
  }

  // The statements, in order, each with the record edited for it. While the chunk they
  // are at is still being edited, the calling thread edits later chunks itself rather
  // than wait: where handing records over is cheap, editing is what the run waits for.
  void runStatementsInOrder() {
    FormattedWriter writer;
    format::ChunkEditor editor = run_.makeEditor();
    for (std::uint64_t number = 0; number < run_.chunkCount(); ++number) {
      RingSlot& slot = slotOf(number);
      const auto edited = [&] { return slot.edited.load(std::memory_order_acquire) == number + 1; };
      while (!edited() && editNextFreeChunk(number, editor)) {
      }
      if (!edited()) {
        // A worker may be asleep on a slot this thread has freed without a word.
        chunkChanged_.notifyAll();
        chunkChanged_.waitUntil(edited);
      }
      run_.runChunkStatements(writer, number, slot.chunk);
      slot.handedOver.store(number + 1, std::memory_order_release);
      // Where the statements are the slower side (a write call per record), the workers
      // fill the ring and then sleep on its next slot. Woken for every slot freed, each
      // would edit one chunk and sleep again, and a wake-up costs a switch on the other
      // processor; woken once half the ring is free, it edits half a ring in one go,
      // while the other half keeps the statements busy.
      if ((number + 1) % kChunksPerWake == 0) chunkChanged_.notifyAll();
    }
  }

 private:
  RingSlot& slotOf(std::uint64_t number) { return slots_[number % kRingChunks]; }

  // Takes the next chunk not yet taken and edits it, if its slot is free: if it is less
  // than a ring ahead of the chunk the statements are at, since every chunk before that
  // one has been handed over. False when there is no such chunk.
  bool editNextFreeChunk(std::uint64_t running, format::ChunkEditor& editor) {
    std::uint64_t number = nextChunk_.load(std::memory_order_relaxed);
    do {
      if (number >= run_.chunkCount() || number >= running + kRingChunks) return false;
    } while (!nextChunk_.compare_exchange_weak(number, number + 1, std::memory_order_relaxed));
    editInto(slotOf(number), number, editor, false);
    return true;
  }

  // Edits chunk `number` into its slot, which is free, and lets the statements have it.
  void editInto(RingSlot& slot, std::uint64_t number, format::ChunkEditor& editor, bool byWorker) {
    run_.editChunk(number, slot.chunk, editor);
    slot.edited.store(number + 1, std::memory_order_release);
    chunkChanged_.notifyAll();
    FastPathCounts& counts = fastPathCounts();
    if (byWorker) counts.chunksEditedByWorkers.fetch_add(1, std::memory_order_relaxed);
    if (number >= kRingChunks) counts.ringSlotsReused.fetch_add(1, std::memory_order_relaxed);
  }

  const PlannedRun& run_;
  RingSlot slots_[kRingChunks];
  std::atomic<std::uint64_t> nextChunk_{0};
  // Signalled whenever a chunk is edited or handed over.
  ChangeSignal chunkChanged_;
};

// The run with up to `workerCount` workers editing ahead. False, with no statement run,
// when the ring's memory cannot be had.
bool runWithWorkers(const PlannedRun& run, unsigned workerCount) {
  ChunkRing ring(run);
  if (!ring.allocate()) return false;
  // The workers only read the run and write the ring, all of which outlive them: should
  // a statement end the run, the process exits with this frame still in place beneath it.
  std::thread workers[kMaximumWorkers];
  unsigned started = 0;
  // The workers that did start take every chunk between them.
  while (started < std::min(workerCount, kMaximumWorkers) &&
         startWorker(workers[started], [&ring] { ring.editAsWorker(); })) {
    ++started;
  }
  fastPathCounts().editingWorkersStarted.fetch_add(started, std::memory_order_relaxed);
  if (started == 0) {
    editThenRunEachChunk(run, ring.firstChunk());
    return true;
  }
  ring.runStatementsInOrder();
  for (unsigned worker = 0; worker < started; ++worker) {
    workers[worker].join();
  }
  return true;
}

// Whether a file is connected to the unit, and if so the layout of its records with
// their terminator: on a unit without a file the statements write nothing, and no worker
// is started for them. Workers pay whether or not the unit collects its records in
// blocks: without blocks, each record's write call is the calling thread's largest cost,
// and the editing taken off it is a tenth of a run. The threads add nothing to what a
// call costs: the console-event thread is always there.
bool isConnected(std::int32_t unitNumber, format::RecordLayout& layout) {
  Unit* unit = acquireUnit(unitNumber);
  if (unit == nullptr) return false;
  const Terminator& terminator = unit->terminator();
  layout.terminatorLength = std::min<std::size_t>(terminator.length, format::RecordLayout::kMaxTerminatorLength);
  std::memcpy(layout.terminator, terminator.bytes, layout.terminatorLength);
  releaseUnit(*unit);
  return true;
}

// The statements themselves, the values fetched a chunk at a time, each with `plan`, the
// plan of `program`.
void runStatementsOneByOne(std::int32_t unitNumber, const FormatProgram& program, const format::FieldPlan& plan,
                           std::uint64_t statementCount, std::size_t valuesPerStatement,
                           const StatementValues& values) {
  FormattedWriter writer;
  std::vector<double> chunk;
  const std::uint64_t chunkLength = std::min<std::uint64_t>(statementCount, kStatementsPerChunk);
  if (!resize(chunk, static_cast<std::size_t>(chunkLength) * valuesPerStatement)) {
    chunk.assign(valuesPerStatement, 0.0);  // one statement at a time
  }
  const std::uint64_t perChunk = chunk.size() / valuesPerStatement;
  for (std::uint64_t first = 0; first < statementCount; first += perChunk) {
    const auto count = static_cast<std::size_t>(std::min(perChunk, statementCount - first));
    values.fill(first, count, chunk.data());
    for (std::size_t statement = 0; statement < count; ++statement) {
      writer.runStatement(unitNumber, program, plan, chunk.data() + statement * valuesPerStatement, valuesPerStatement);
    }
  }
}

}  // namespace

void writeStatements(std::int32_t unitNumber, const FormatProgram& program, std::uint64_t statementCount,
                     std::size_t valuesPerStatement, const StatementValues& values) {
  if (valuesPerStatement == 0) {
    return;  // a statement without items would hold its unit for good
  }
  // The run's one compilation of its format: every statement of the run follows this plan,
  // or is interpreted, without the writer compiling the format again.
  const format::FieldPlan plan = format::compilePlan(program);
  if (!runFollowsPlan(plan, valuesPerStatement)) {
    runStatementsOneByOne(unitNumber, program, plan, statementCount, valuesPerStatement, values);
    return;
  }
  format::RecordLayout layout;
  layout.recordLength = plan.recordLength;
  const bool connected = isConnected(unitNumber, layout);
  const PlannedRun run(plan, layout, unitNumber, program, statementCount, values);
  const unsigned workerCount =
      statementCount >= kMinimumChunks * kStatementsPerChunk && connected ? workersToSpare(kMaximumWorkers) : 0;
  if (workerCount > 0 && runWithWorkers(run, workerCount)) return;
  Chunk chunk;
  if (chunk.allocate(plan, layout)) {
    editThenRunEachChunk(run, chunk);
  } else {
    runStatementsOneByOne(unitNumber, program, plan, statementCount, valuesPerStatement, values);
  }
}

}  // namespace recio

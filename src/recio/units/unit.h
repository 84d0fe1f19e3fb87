// One connection of a unit number to a file or to the console: what was settled when
// it was connected, the buffers it owns from then until it is disconnected, and the
// lock that a statement holds on it, and the records that cross it. The unit table
// (unit_table.h) makes and finds units.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "recio/platform/platform.h"
#include "recio/units/record_format.h"
#include "recio/units/statement_lock.h"
#include "recio/units/terminator_search.h"

namespace recio {

class WriteBehind;

constexpr std::int32_t kConsoleUnit = -1;
// Messages name a file by its full path when that takes at most this many characters,
// else by its name as written; the file itself is always opened by its name as written.
constexpr std::size_t kMaxPathLength = 256;

enum class Access : std::uint8_t { Read, Write };

// What a unit is connected with, decided by openUnit or connectConsole. Afterwards only
// the unit itself changes it: a unit whose block buffer cannot be had writes each
// record at once, and the first write clears truncateAtFirstWrite.
struct Connection {
  std::int32_t number = 0;
  std::string path;  // full path as resolved at the open: the %s of every message about the unit
  platform::FileHandle handle = platform::kNoFile;
  // False for the process's own standard output, which others share: it is never
  // closed, locked or moved past the page cache here.
  bool closesHandle = true;
  Access access = Access::Read;
  RecordFormat format = RecordFormat::CrLf;
  bool buffered = false;
  std::int32_t blockSize = 0;
  std::int32_t bufferCount = 1;
  std::int32_t recordLength = 0;  // 0: none given, records grow without limit
  bool noWrapMargin = false;      // free-format lines are not wrapped at 80 columns
  bool isDiskFile = false;
  bool truncateAtFirstWrite = false;
  // The file offset of the connection's first byte: 0 but for a standard output taken
  // where it stands. A failed write cuts the file back to this plus its whole records.
  std::uint64_t startOffset = 0;
};

// Bytes read from a file: the current record [recordBegin, recordEnd), and the
// bytes read beyond it, [next, end), that later records are cut from.
struct InputBuffer : InputBytes {
  std::size_t recordBegin = 0;
  std::size_t recordEnd = 0;
};

// The output record being built by a write statement. It only ever grows.
struct OutputRecord {
  char* data = nullptr;
  std::size_t capacity = 0;
};

// Block buffers start on a page, as writes past the page cache need.
constexpr std::size_t kBlockAlignment = 4096;

// Output on its way to the file: the block buffer of a buffered unit, and for a disk
// file, counted from the start of the connection, the bytes handed over so far
// (buffered ones included) and the end of the last whole record that has reached the
// file. A failed write cuts the file back to that end, so that the file never ends in
// a torn record.
//
// A buffered disk file's blocks go past the page cache (direct writes) once its table
// has outgrown what the cache should hold: whole blocks of a larger, aligned capacity
// from then on, each written by a thread while the next fills, and the unaligned last
// block through the cache (block_output.cpp). The last whole record then counts the
// block being written as written; should its write fail, the end before it is kept.
struct FileOutput {
  char* block = nullptr;  // from platform::allocateAligned
  std::size_t blockCapacity = 0;
  std::size_t blockUsed = 0;
  bool pending = false;  // written data not yet handed to the operating system
  std::uint64_t bytesHandedOver = 0;
  std::uint64_t wholeRecordBytes = 0;
  std::uint64_t bytesWritten = 0;  // the file's offset: what the block write-outs have written
  bool cutFailed = false;          // the last cut back failed: the file may end in a torn record
  bool direct = false;             // the file takes the blocks past the page cache
  bool directDecided = false;      // direct writes were begun or found not to be had
  std::size_t directAlignment = 0;
  // While direct: the thread writing the previous block (none when it could not be had),
  // the block it writes from, which the statements fill next once it is written, and the
  // file's last whole record before that block, to cut back to should its write fail.
  WriteBehind* behind = nullptr;
  char* blockBehind = nullptr;
  std::uint64_t wholeRecordsBeforeBehind = 0;
};

// The current input record: [begin, end), valid until the next record is fetched.
struct RecordText {
  const char* begin;
  const char* end;
};

class Unit {
 public:
  explicit Unit(Connection&& connection);
  Unit(const Unit&) = delete;
  Unit& operator=(const Unit&) = delete;

  std::int32_t number() const { return connection_.number; }
  const std::string& path() const { return connection_.path; }
  // The operating system's code of the last failed read or write.
  int osError() const { return osError_; }
  std::int32_t recordLength() const { return connection_.recordLength; }
  // The bytes that end each output record.
  const Terminator& terminator() const { return terminator_; }
  bool noWrapMargin() const { return connection_.noWrapMargin; }
  // Whether records collect in a block buffer rather than each going out in a call of its own.
  bool buffered() const { return connection_.buffered; }
  // Bytes of the block buffers: block size times buffer count.
  std::size_t blockBytes() const {
    return static_cast<std::size_t>(connection_.blockSize) * static_cast<std::size_t>(connection_.bufferCount);
  }

  // The output record buffer that write statements build their records in; it grows
  // through reserveRecord and keeps its contents.
  char* outputRecord() { return record_.data; }
  std::size_t outputRecordCapacity() const { return record_.capacity; }

  // The input record made current by getRecord.
  RecordText currentRecord() const { return {input_.data + input_.recordBegin, input_.data + input_.recordEnd}; }

  // Held by a transfer statement from its beginning to its end (unit_table.h).
  void lock() { lock_.lock(); }
  void unlock() { lock_.unlock(); }
  // Whether another thread waits to take the unit from the statements holding it.
  bool isAwaited() const { return lock_.isAwaited(); }

  // Writes out pending output, cuts a file whose first record never came (so that a run
  // writing no record leaves an empty file, not the previous run's), closes the handle
  // and frees the buffers. 0 or 38; or, when a failed write could not be cut back to the
  // last whole record, even when tried again here, the warning that the file may end
  // in a torn record (97).
  std::int32_t disconnect();

  // --- Records (unit_records.cpp). Each returns 0 or a message number; the statements
  // that call them decide whether that is reported.

  // Appends the unit's terminator to the record and hands it over: at once in one
  // write call, or into the block buffer when the unit is buffered. 0 or 38.
  std::int32_t putRecord(const char* bytes, std::size_t count);

  // putRecord for a record edited outside the output record buffer, of at most
  // outputRecordCapacity() bytes: a unit that writes each record at once takes it
  // through that buffer, so that it goes out in the one write call of a record built
  // there. A buffered unit copies the record into its block buffer anyway; a copy into
  // the record buffer first would only add one.
  std::int32_t putRecordCopy(const char* bytes, std::size_t count) {
    if (connection_.buffered || count == 0 || count > record_.capacity) return putRecord(bytes, count);
    std::memcpy(record_.data, bytes, count);
    return putRecord(record_.data, count);
  }

  // putRecordCopy for the first of `count` (at least one) records of `recordLength`
  // bytes, which lie one after another at `records`, each followed by the unit's
  // terminator, and for those after it while they fit a buffered unit's block with room
  // to spare, copied together as they lie: so at most one write call is made, for the
  // last record handed over. `handedOver` counts them; the result is that of the last.
  std::int32_t putRecordCopies(const char* records, std::size_t recordLength, std::size_t count,
                               std::size_t& handedOver);

  // Where records of `stride` bytes each (their characters, then the unit's terminator)
  // can be edited straight into a buffered unit's block, after its last record: `fitting`
  // is how many fit there with room to spare. nullptr, with `fitting` 0, on a unit that
  // does not take records so: one writing each record at once, or before its block and
  // its first write.
  char* recordSpace(std::size_t stride, std::size_t& fitting);
  // Hands over the first `count` records edited at recordSpace(stride, ...), at most the
  // `fitting` it gave.
  void putRecordsInSpace(std::size_t count, std::size_t stride);

  // Writes out the block buffer of a buffered unit; false (with the system's error code
  // kept) when the write fails, after cutting a disk file back to its last whole record.
  // Between the records of a large table it may move the unit's blocks past the page
  // cache (block_output.cpp).
  bool writeOutBlock();

  // Grows the output record to at least `capacity` bytes, keeping its contents. False
  // when the memory cannot be had.
  bool reserveRecord(std::size_t capacity);

  // Makes the next input record current (currentRecord).
  // 0, or 24 at end of file, 39 when the read fails, 98 when the buffer cannot grow.
  std::int32_t getRecord();

  // getRecord for up to `most` records in turn, each of a line that lies whole in the
  // bytes already read and whose record `take(begin, end)` accepts, [begin, end) being
  // the text that currentRecord would give. Stops at the first line that is not whole
  // there, whose record `take` refuses, or that is the end-of-file mark, leaving it to
  // getRecord; makes no read call. Returns the number of records taken. Before each of
  // those lines, `takeRun(begin, end, terminator, most)` may take a run of up to `most`
  // whole lines from the bytes [begin, end) not cut yet (LinesTaken) as `take` would
  // have, without their terminators sought one by one.
  template <class TakeRun, class Take>
  std::size_t takeBufferedLines(std::size_t most, TakeRun&& takeRun, Take&& take);

 private:
  // What a connected unit settled and keeps to itself, for the tests that inspect or
  // change it; defined by the tests alone.
  friend struct UnitTestPeer;
  // The file, its input terminator and its input position, for a reader of its own
  // (second_reader.h).
  friend struct SecondReaderAccess;

  // The file offset where the next input record begins: the first byte that no record
  // has been cut from.
  std::uint64_t inputOffset() const;

  // Makes the next input record begin at `offset`, at or after inputOffset, of a disk
  // file. False, with nothing changed, when the file cannot be positioned there.
  bool moveInputTo(std::uint64_t offset);

  // After a failed write a disk file is cut back to its last whole record (block_output.cpp).
  void cutToWholeRecords();
  // Direct writes (block_output.cpp).
  void considerDirectWrites();
  bool awaitBlockBehind();
  void endWriteBehind();

  Connection connection_;
  // Settled with the record format at connection, so that no record looks it up.
  Terminator terminator_;
  char inputTerminator_;
  int osError_ = 0;
  InputBuffer input_;
  OutputRecord record_;
  FileOutput output_;

  StatementLock lock_;
};

template <class TakeRun, class Take>
std::size_t Unit::takeBufferedLines(std::size_t most, TakeRun&& takeRun, Take&& take) {
  InputBuffer& input = input_;
  const char terminator = inputTerminator_;
  const char* const end = input.data + input.end;
  std::size_t taken = 0;
  while (taken < most && input.next < input.end) {
    const LinesTaken run = takeRun(static_cast<const char*>(input.data + input.next), end, terminator, most - taken);
    if (run.count != 0) {
      taken += run.count;
      const char* const lastTerminator = run.end - 1;
      const char* const lastBegin = lastLineBegin(input.data + input.next, lastTerminator, terminator);
      input.recordBegin = static_cast<std::size_t>(lastBegin - input.data);
      input.recordEnd = static_cast<std::size_t>(recordTextEnd(lastBegin, lastTerminator, terminator) - input.data);
      input.next = static_cast<std::size_t>(run.end - input.data);
      if (taken == most || input.next == input.end) break;
    }
    const char* const begin = input.data + input.next;
    const char* const found = findTerminator(begin, end, terminator);
    if (found == nullptr) break;
    const char* const textEnd = recordTextEnd(begin, found, terminator);
    if (isEndOfFileMark(begin, textEnd) || !take(begin, textEnd)) break;
    input.recordBegin = input.next;
    input.recordEnd = static_cast<std::size_t>(textEnd - input.data);
    input.next = static_cast<std::size_t>(found + 1 - input.data);
    ++taken;
  }
  return taken;
}

}  // namespace recio

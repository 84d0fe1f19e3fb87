// The unit's records: output records handed to the operating system, input records
// cut from the bytes read (by cutLine, the cut that the second half's read-ahead makes
// too), and the input position that the read-ahead moves past the lines it has taken.
#include "recio/units/unit.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "recio/stop/messages.h"
#include "recio/threads/fast_path_counts.h"
#include "recio/units/input_buffer_limits.h"
#include "recio/units/terminator_search.h"

namespace recio {
namespace {

// Grows the input buffer (allocating its first capacity); false when it cannot.
bool growInput(InputBuffer& input) {
  const InputBufferLimits& limits = inputBufferLimits();
  std::size_t capacity = input.capacity == 0 ? limits.initialCapacity : input.capacity * 2;
  if (capacity <= input.capacity || capacity > limits.maximumCapacity) return false;
  char* data = static_cast<char*>(std::realloc(input.data, capacity));
  if (data == nullptr) return false;
  input.data = data;
  input.capacity = capacity;
  return true;
}

// Makes the line the current record, with the CRs before its terminator removed
// (unless CR itself ends lines).
std::int32_t takeRecord(InputBuffer& input, char terminator, LineBounds line) {
  const std::size_t end =
      static_cast<std::size_t>(recordTextEnd(input.data + line.begin, input.data + line.end, terminator) - input.data);
  input.recordBegin = line.begin;
  input.recordEnd = end;
  // The end-of-file mark counts as read.
  if (isEndOfFileMark(input.data + line.begin, input.data + end)) {
    input.recordBegin = input.recordEnd = input.next;
    return kMsgEndOfFile;
  }
  return 0;
}

// How many records of `length` bytes fit the block with room to spare: a byte is left
// over, so that the block never fills with them and only bufferRecord writes blocks out.
std::size_t recordsThatFit(const FileOutput& output, std::size_t length) {
  const std::size_t available = output.blockCapacity - output.blockUsed;
  return available == 0 ? 0 : (available - 1) / length;
}

// Counts `count` records of `length` bytes just placed after the block's last record.
void handOverPlaced(FileOutput& output, std::size_t count, std::size_t length) {
  output.blockUsed += count * length;
  output.bytesHandedOver += count * length;
  output.pending = true;
}

// Copies records of `recordLength` bytes that lie one after another at `records`, each
// followed by the unit's terminator, into the block while they fit with room to spare:
// one copy for them all and the counts once. Returns the number of records copied, of
// at most `count`.
std::size_t copyTerminatedRecordsThatFit(FileOutput& output, const Terminator& terminator, const char* records,
                                         std::size_t recordLength, std::size_t count) {
  const std::size_t length = recordLength + terminator.length;
  const std::size_t fitting = recordsThatFit(output, length);
  const std::size_t copied = count < fitting ? count : fitting;
  if (copied != 0) {
    std::memcpy(output.block + output.blockUsed, records, copied * length);
    handOverPlaced(output, copied, length);
  }
  return copied;
}

// Copies one record of `recordLength` bytes and its terminator into the block when it
// fits with room to spare, so that the block does not fill: the common case of
// bufferRecord, two copies and the counts. False, with nothing copied, when it does not.
bool copyRecordIfItFits(FileOutput& output, const Terminator& terminator, const char* record,
                        std::size_t recordLength) {
  const std::size_t length = recordLength + terminator.length;
  // Both terminator bytes are copied, whatever the terminator's length, and a byte is
  // left over, so that the block never fills here: a record of any terminator, none
  // included, asks for the larger of the two.
  const std::size_t copiedBytes = recordLength + sizeof terminator.bytes;
  const std::size_t room = length + 1 > copiedBytes ? length + 1 : copiedBytes;
  if (output.blockCapacity - output.blockUsed < room) return false;
  char* at = output.block + output.blockUsed;
  std::memcpy(at, record, recordLength);
  std::memcpy(at + recordLength, terminator.bytes, sizeof terminator.bytes);
  handOverPlaced(output, 1, length);
  return true;
}

// Copies one record and its terminator into the block buffer, writing out each block
// as it fills. A record may straddle two blocks: until its second part has been written
// the file's last whole record is the one before it.
bool bufferRecord(Unit& unit, FileOutput& output, const char* bytes, std::size_t count, const Terminator& terminator) {
  const std::uint64_t start = output.bytesHandedOver;
  const std::uint64_t end = start + count + terminator.length;
  std::uint64_t copied = 0;
  const struct {
    const char* bytes;
    std::size_t count;
  } pieces[] = {{bytes, count}, {terminator.bytes, terminator.length}};
  for (auto piece : pieces) {
    while (piece.count > 0) {
      const std::size_t room = output.blockCapacity - output.blockUsed;
      const std::size_t part = piece.count < room ? piece.count : room;
      std::memcpy(output.block + output.blockUsed, piece.bytes, part);
      output.blockUsed += part;
      piece.bytes += part;
      piece.count -= part;
      copied += part;
      if (output.blockUsed == output.blockCapacity) {
        if (!unit.writeOutBlock()) return false;
        output.wholeRecordBytes = start + copied >= end ? end : start;
      }
    }
  }
  output.bytesHandedOver = end;
  output.pending = output.blockUsed > 0;
  return true;
}

}  // namespace

std::int32_t Unit::getRecord() {
  InputBuffer& input = input_;
  std::int32_t failure = 0;
  // Whatever was not scanned of the previous record is dropped.
  LineBounds line;
  const LineCut cut = cutLine(input, inputTerminator_, line, [&](InputBytes&) -> long {
    input.recordBegin = input.recordEnd = 0;  // the bytes have moved: no record stands where it stood
    if (input.end == input.capacity && !growInput(input)) {
      failure = kMsgBufferMemory;
      return -1;
    }
    const long count =
        platform::readFile(connection_.handle, input.data + input.end, input.capacity - input.end, osError_);
    if (count < 0) failure = platform::isEndOfInputError(osError_) ? kMsgEndOfFile : kMsgReadError;
    return count;
  });
  switch (cut) {
    case LineCut::Line:
      return takeRecord(input, inputTerminator_, line);
    case LineCut::NoneLeft:
      input.recordBegin = input.recordEnd = input.end;
      return kMsgEndOfFile;
    case LineCut::ReadMoreFailed:
      break;
  }
  return failure;
}

std::uint64_t Unit::inputOffset() const { return input_.dataOffset + input_.next; }

bool Unit::moveInputTo(std::uint64_t offset) {
  InputBuffer& input = input_;
  if (offset >= input.dataOffset + input.next && offset <= input.dataOffset + input.end) {
    input.next = static_cast<std::size_t>(offset - input.dataOffset);
    input.recordBegin = input.recordEnd = input.next;
    return true;
  }
  if (!platform::seekFile(connection_.handle, offset, osError_)) return false;
  input.dataOffset = offset;
  input.recordBegin = input.recordEnd = input.next = input.end = 0;
  input.reachedEndOfFile = false;
  return true;
}

std::int32_t Unit::putRecord(const char* bytes, std::size_t count) {
  Connection& connection = connection_;
  FileOutput& output = output_;
  const Terminator& terminator = terminator_;
  bool written = true;
  if (!connection.buffered) {
    if (bytes == record_.data && record_.capacity - count >= sizeof terminator.bytes) {
      // A record built in the unit's own buffer takes its terminator behind it there and
      // goes to the file as one piece: the same bytes in the same single call
      // (putRecordCopy brings a record edited elsewhere here for this).
      std::memcpy(record_.data + count, terminator.bytes, sizeof terminator.bytes);
      written = platform::writeFile(connection.handle, bytes, count + terminator.length, nullptr, 0, osError_);
    } else {
      written = platform::writeFile(connection.handle, bytes, count, terminator.bytes, terminator.length, osError_);
    }
    if (written) {
      output.bytesHandedOver += count + terminator.length;
      output.wholeRecordBytes = output.bytesHandedOver;
    } else {
      cutToWholeRecords();
    }
  } else {
    if (output.block == nullptr) {
      const std::size_t capacity = blockBytes();
      output.block = static_cast<char*>(platform::allocateAligned(kBlockAlignment, capacity));
      if (output.block == nullptr) {
        // Without its block buffer the unit writes each record at once.
        connection.buffered = false;
        return putRecord(bytes, count);
      }
      output.blockCapacity = capacity;
      output.blockUsed = 0;
    }
    if (!copyRecordIfItFits(output, terminator, bytes, count)) {
      written = bufferRecord(*this, output, bytes, count, terminator);
    }
  }
  if (written && connection.truncateAtFirstWrite) {
    connection.truncateAtFirstWrite = false;
    written = platform::truncateHere(connection.handle, osError_);
  }
  return written ? 0 : kMsgWriteError;
}

std::int32_t Unit::putRecordCopies(const char* records, std::size_t recordLength, std::size_t count,
                                   std::size_t& handedOver) {
  // Once the block is there and the first write is behind, the records that fit the
  // block go in one loop.
  const Connection& connection = connection_;
  if (connection.buffered && !connection.truncateAtFirstWrite && output_.block != nullptr) {
    handedOver = copyTerminatedRecordsThatFit(output_, terminator_, records, recordLength, count);
    if (handedOver != 0) {
      fastPathCounts().recordsHandedOverTogether.fetch_add(handedOver, std::memory_order_relaxed);
      return 0;
    }
  }
  handedOver = 1;
  return putRecordCopy(records, recordLength);
}

char* Unit::recordSpace(std::size_t stride, std::size_t& fitting) {
  const Connection& connection = connection_;
  fitting = 0;
  if (!connection.buffered || connection.truncateAtFirstWrite || output_.block == nullptr || stride == 0) {
    return nullptr;
  }
  fitting = recordsThatFit(output_, stride);
  return output_.block + output_.blockUsed;
}

void Unit::putRecordsInSpace(std::size_t count, std::size_t stride) {
  if (count == 0) return;
  handOverPlaced(output_, count, stride);
  fastPathCounts().recordsHandedOverTogether.fetch_add(count, std::memory_order_relaxed);
}

bool Unit::reserveRecord(std::size_t capacity) {
  if (capacity <= record_.capacity) return true;
  char* data = static_cast<char*>(std::realloc(record_.data, capacity));
  if (data == nullptr) return false;
  record_.data = data;
  record_.capacity = capacity;
  return true;
}

}  // namespace recio

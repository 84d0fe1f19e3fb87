// A buffered unit's blocks on their way to the file: through the page cache, or, once a
// disk file's table has outgrown what the cache should hold, past it.
//
// Written through the cache, a table larger than the cache costs a copy of every byte
// in the kernel and then waits for the disk's write-back anyway; written past it, the
// bytes go from the block to the device. Such writes need the block's memory, the
// file's offset and the byte count each a multiple of the file's alignment, so the
// change is made between two blocks, at an aligned offset, to blocks of whole MiB:
// blocks of that size keep the offset aligned, and a block written that large keeps the
// device busy where a 128 KiB one leaves it waiting between calls. Only the last block
// (at the close, or at a stop) can end unaligned; it goes through the cache. A write past
// the cache returns once the device has the bytes, so a thread writes each block while
// the statements fill the next (write_behind.h). Each block still reaches the file whole
// or fails, as it does through the cache, and a failure cuts the file back to the last
// whole record before the failed block, as there; it is only told at the next block's
// write-out or the close.
#include <cstdint>
#include <new>
#include <utility>

#include "recio/units/direct_write_policy.h"
#include "recio/units/unit.h"
#include "recio/units/write_behind.h"

namespace recio {
namespace {

constexpr std::size_t kDirectBlockUnit = std::size_t{1} << 20;

}  // namespace

void Unit::cutToWholeRecords() {
  if (!connection_.isDiskFile) return;
  // The failed write's own error stays the unit's: it is what the run reports.
  int cutError = 0;
  output_.cutFailed =
      !platform::truncateAt(connection_.handle, connection_.startOffset + output_.wholeRecordBytes, cutError);
}

bool Unit::writeOutBlock() {
  FileOutput& output = output_;
  const std::size_t used = output.blockUsed;
  output.blockUsed = 0;
  output.pending = false;
  // The block being written behind comes first, so that the file's bytes stay in order;
  // its failure is this write-out's.
  if (output.behind != nullptr && !awaitBlockBehind()) {
    cutToWholeRecords();
    return false;
  }
  if (used == 0) return true;
  bool written = true;
  // Only full blocks are written behind: a short one is the last, at the close or a
  // stop, and is written before the unit is let go.
  if (output.direct && output.behind != nullptr && used == output.blockCapacity) {
    output.wholeRecordsBeforeBehind = output.wholeRecordBytes;
    output.behind->post(output.block, used);
    std::swap(output.block, output.blockBehind);
  } else if (output.direct) {
    const BlockWrite result = writeBlockDirect(connection_.handle, output.block, used, output.directAlignment);
    if (result.leftDirect) output.direct = false;
    written = result.written;
    if (!written) osError_ = result.osError;
  } else {
    written = platform::writeFile(connection_.handle, output.block, used, nullptr, 0, osError_);
  }
  if (!written) {
    cutToWholeRecords();
    return false;
  }
  output.bytesWritten += used;
  // Only whole records are ever left in the buffer when it is written out from here
  // or at the close; a block written while a record straddles it is handled by the
  // record's copy (unit_records.cpp).
  output.wholeRecordBytes = output.bytesHandedOver;
  if (!output.directDecided) considerDirectWrites();
  return true;
}

// Waits for the block being written behind. After a failure the file's last whole
// record is the one before that block. Once the file has left the direct path, the
// thread is given up and later blocks go through the page cache.
bool Unit::awaitBlockBehind() {
  FileOutput& output = output_;
  const BlockWrite result = output.behind->wait();
  if (result.written && !result.leftDirect) return true;
  endWriteBehind();
  output.direct = false;
  if (result.written) return true;
  osError_ = result.osError;
  output.wholeRecordBytes = output.wholeRecordsBeforeBehind;
  return false;
}

void Unit::endWriteBehind() {
  FileOutput& output = output_;
  delete output.behind;  // joins its thread, which has no block left to write
  output.behind = nullptr;
  platform::freeAligned(output.blockBehind);
  output.blockBehind = nullptr;
}

// Called with the block just written out and empty, so that it can be replaced.
void Unit::considerDirectWrites() {
  FileOutput& output = output_;
  // A standard output's open file is the shell's too: its flags stay as they were.
  if (!connection_.isDiskFile || !connection_.closesHandle) {
    output.directDecided = true;
    return;
  }
  const DirectWritePolicy& policy = directWritePolicy();
  if (!policy.allowed || output.bytesWritten < policy.minimumBytes) return;
  const std::size_t alignment = platform::directWriteAlignment(connection_.handle);
  if (alignment == 0 || kDirectBlockUnit % alignment != 0) {
    output.directDecided = true;
    return;
  }
  // Blocks of a size not a multiple of the alignment reach an aligned offset every few
  // blocks; the change waits for one.
  if (output.bytesWritten % alignment != 0) return;
  output.directDecided = true;
  const std::size_t capacity = (output.blockCapacity + kDirectBlockUnit - 1) / kDirectBlockUnit * kDirectBlockUnit;
  const std::size_t memoryAlignment = alignment > kBlockAlignment ? alignment : kBlockAlignment;
  char* block = static_cast<char*>(platform::allocateAligned(memoryAlignment, capacity));
  if (block == nullptr) return;
  if (!platform::setDirectWrites(connection_.handle, true)) {
    platform::freeAligned(block);
    return;
  }
  platform::freeAligned(output.block);
  output.block = block;
  output.blockCapacity = capacity;
  output.direct = true;
  output.directAlignment = alignment;
  // Without a second block or a thread for it, the statements write each block themselves.
  output.blockBehind = static_cast<char*>(platform::allocateAligned(memoryAlignment, capacity));
  if (output.blockBehind == nullptr) return;
  output.behind = new (std::nothrow) WriteBehind(connection_.handle, alignment);
  if (output.behind == nullptr || !output.behind->start()) endWriteBehind();
}

}  // namespace recio

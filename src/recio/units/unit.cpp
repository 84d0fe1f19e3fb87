// One connection: settled when it is made, released when it is disconnected.
#include "recio/units/unit.h"

#include <cstdlib>
#include <utility>

#include "recio/stop/messages.h"

namespace recio {

Unit::Unit(Connection&& connection)
    : connection_(std::move(connection)),
      terminator_(terminatorOf(connection_.format)),
      inputTerminator_(inputTerminatorOf(connection_.format)) {}

std::int32_t Unit::disconnect() {
  std::int32_t result = 0;
  // The write-out also waits for a block being written behind; the block left at the
  // close is never full, so it is written at once and nothing is in flight after it.
  if ((output_.blockUsed != 0 || output_.behind != nullptr) && !writeOutBlock()) result = kMsgWriteError;
  endWriteBehind();
  // A cut that failed after a failed write is tried once more; what still fails is told
  // after the write's own report, which the run has already written or is writing.
  if (output_.cutFailed) cutToWholeRecords();
  if (output_.cutFailed && result == 0) result = kMsgTornRecord;
  if (connection_.truncateAtFirstWrite && connection_.access == Access::Write) {
    connection_.truncateAtFirstWrite = false;
    if (!platform::truncateHere(connection_.handle, osError_) && result == 0) result = kMsgWriteError;
  }
  if (connection_.closesHandle && connection_.handle != platform::kNoFile) {
    if (!platform::closeFile(connection_.handle, osError_) && result == 0) result = kMsgWriteError;
  }
  connection_.handle = platform::kNoFile;
  std::free(input_.data);
  std::free(record_.data);
  platform::freeAligned(output_.block);
  input_ = InputBuffer{};
  record_ = OutputRecord{};
  output_.block = nullptr;
  return result;
}

}  // namespace recio

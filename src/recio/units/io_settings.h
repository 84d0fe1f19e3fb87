// The process-wide I/O settings, read from the environment once at start-up
// (XIOT_BLOCKSIZE, XIOT_BUFFERCOUNT, XIOT_FMT_RECL).
// Internal to units/: no other module includes this header.
#pragma once

#include <cstdint>

namespace recio {

// A variable that does not parse is remembered as invalid: every later open that would
// use it fails (106, 107, 99) after the operating system's open has succeeded.
struct IoSettings {
  std::int32_t blockSize = 131072;
  bool blockSizeInvalid = false;
  std::int32_t bufferCount = 1;
  bool bufferCountInvalid = false;
  std::int32_t formattedRecordLength = 0;  // 0: none
  bool formattedRecordLengthInvalid = false;
};
void readStartUpSettings();
const IoSettings& ioSettings();

}  // namespace recio

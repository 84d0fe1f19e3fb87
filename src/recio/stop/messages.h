// The run-time message catalogue. Message numbers are stable: they are the error
// results of statements that handle their errors and the exit status of a severe stop.
#pragma once

#include <cstdint>

namespace recio {

enum class Severity : std::uint8_t { None = 0, Info = 1, Warning = 2, Error = 3, Severe = 4 };

struct Message {
  std::int32_t number;
  Severity severity;
  const char* text;  // may hold %d (unit number) and %s (file name or event name)
};

enum MessageNumber : std::int32_t {
  kMsgPermissionDenied = 9,
  kMsgEndOfFile = 24,
  kMsgFileNotFound = 29,
  kMsgOpenFailure = 30,
  kMsgWriteError = 38,
  kMsgReadError = 39,
  kMsgNoMemory = 41,
  kMsgNoSuchDevice = 42,
  kMsgFileNameError = 43,
  kMsgKeywordValue = 45,
  kMsgWriteOverInput = 46,
  kMsgSyntax = 59,
  kMsgConversion = 64,
  kMsgRecordOverflow = 66,
  kMsgTerminatorSetting = 96,
  kMsgTornRecord = 97,
  kMsgBufferMemory = 98,
  kMsgReclSyntax = 99,
  kMsgBlockSizeSyntax = 106,
  kMsgBufferCountSyntax = 107,
  kMsgArraySize = 179,
  kMsgAborting = 200,
};

// The entry for a number, or nullptr when the catalogue has none.
const Message* findMessage(std::int32_t number);

}  // namespace recio

// The settings a run takes from the environment: the one place where the runtime reads
// a variable of its own, each at the moment its rule gives. The stop, the units and the
// console ask here, at those moments, and never read the environment themselves.
#pragma once

#include <cstdint>

namespace recio {

// --- Read once, at start-up (XIOT_BLOCKSIZE, XIOT_BUFFERCOUNT, XIOT_FMT_RECL).

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

// --- Read once, at the first open of a formatted unit (XIO_FMT_TERMINATOR): the text
// of the record-terminator setting, or nullptr when it is unset or empty. The record
// format's rule (terminator_setting.h) asks once and keeps what it parsed.
const char* terminatorSettingText();

// --- Read at every open of a file (XIOT_BUFFERED): whether the file's records collect
// in blocks.
bool filesAreBuffered();

// --- Read when the console unit is connected.
struct ConsoleSettings {
  const char* printFile = nullptr;  // XIO_PRINT: the file that takes console output
  bool buffered = false;            // XIOT_BUFFER_STDOUT
  bool noWrapMargin = false;        // XIOT_FMT_NO_WRAP_MARGIN
};
ConsoleSettings consoleSettings();

// --- Read at each report.
struct ReportSettings {
  bool debuggerPresent = false;               // XIO__IS_DEBUGGER_PRESENT or XIO_DEBUGGER_IS_PRESENT
  bool disableTrace = false;                  // XIO_DISABLE_STACK_TRACE
  bool forceTrace = false;                    // XIO_FORCE_STACK_TRACE
  const char* logFile = nullptr;              // XIO_DIAGNOSTIC_LOG_FILE
  bool displayDisabled = false;               // XIO_DISABLE_DIAGNOSTIC_DISPLAY
  const char* standardErrorTarget = nullptr;  // XIOT0, taken at the first report only
};
ReportSettings reportSettings();

}  // namespace recio

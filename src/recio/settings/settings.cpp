// The run's settings from the environment.
#include "recio/settings/settings.h"

#include <cstdint>

#include "recio/settings/environment.h"

namespace recio {
namespace {

IoSettings& startUpSettings() {
  static IoSettings* value = new IoSettings;
  return *value;
}

// A decimal integer, digits only; false when it is not one or exceeds `limit`.
bool parseSetting(const char* text, std::int64_t limit, std::int64_t& value) {
  value = 0;
  if (*text == '\0') return false;
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9') return false;
    value = value * 10 + (*c - '0');
    if (value > limit) return false;
  }
  return true;
}

}  // namespace

void readStartUpSettings() {
  IoSettings& io = startUpSettings();
  io = IoSettings{};
  std::int64_t value = 0;

  if (const char* text = environmentText("XIOT_BLOCKSIZE")) {
    // A value is rounded up to a multiple of 512; values above 2147467264 (0x7FFFC000)
    // are invalid, so that a block size, rounded, always fits a 32-bit signed count.
    if (parseSetting(text, 2147467264, value)) {
      std::int64_t rounded = (value + 511) / 512 * 512;
      io.blockSize = static_cast<std::int32_t>(rounded < 512 ? 512 : rounded);
    } else {
      io.blockSizeInvalid = true;
    }
  }
  if (const char* text = environmentText("XIOT_BUFFERCOUNT")) {
    if (parseSetting(text, 127, value)) {
      io.bufferCount = value == 0 ? 1 : static_cast<std::int32_t>(value);
    } else {
      io.bufferCountInvalid = true;
    }
  }
  if (const char* text = environmentText("XIOT_FMT_RECL")) {
    if (parseSetting(text, 0x7fffffff, value)) {
      io.formattedRecordLength = static_cast<std::int32_t>(value);
    } else {
      io.formattedRecordLengthInvalid = true;
    }
  }
}

const IoSettings& ioSettings() { return startUpSettings(); }

const char* terminatorSettingText() { return environmentText("XIO_FMT_TERMINATOR"); }

bool filesAreBuffered() { return environmentIsTrue("XIOT_BUFFERED"); }

ConsoleSettings consoleSettings() {
  ConsoleSettings console;
  console.printFile = environmentText("XIO_PRINT");
  console.buffered = environmentIsTrue("XIOT_BUFFER_STDOUT");
  console.noWrapMargin = environmentIsTrue("XIOT_FMT_NO_WRAP_MARGIN");
  return console;
}

ReportSettings reportSettings() {
  ReportSettings report;
  report.debuggerPresent =
      environmentIsTrue("XIO__IS_DEBUGGER_PRESENT") || environmentIsTrue("XIO_DEBUGGER_IS_PRESENT");
  report.disableTrace = environmentIsTrue("XIO_DISABLE_STACK_TRACE");
  report.forceTrace = environmentIsTrue("XIO_FORCE_STACK_TRACE");
  report.logFile = environmentText("XIO_DIAGNOSTIC_LOG_FILE");
  report.displayDisabled = environmentIsTrue("XIO_DISABLE_DIAGNOSTIC_DISPLAY");
  report.standardErrorTarget = environmentText("XIOT0");
  return report;
}

}  // namespace recio

// The console unit's connection: standard output or the XIO_PRINT file, with the
// console's own settings.
#include "recio/units/console_unit.h"

#include <new>
#include <string>
#include <utility>

#include "recio/platform/platform.h"
#include "recio/settings/settings.h"
#include "recio/units/terminator_setting.h"

namespace recio {
namespace {

// The console's own block buffer, used when XIOT_BUFFER_STDOUT is true.
constexpr std::int32_t kConsoleBlockSize = 8192;

}  // namespace

Unit* connectConsole() {
  Connection connection;
  connection.number = kConsoleUnit;
  connection.access = Access::Write;
  connection.handle = platform::standardOutput();
  connection.closesHandle = false;
  connection.path = "stdout";
  const ConsoleSettings settings = consoleSettings();
  const char* target = settings.printFile;
  // Standard output named as a file is written where the shell left it, as a table is:
  // the console stays on the process's own descriptor.
  if (target != nullptr &&
      platform::standardOutputNamed(platform::fullPath(target, kMaxPathLength)) != platform::kNoFile) {
    target = nullptr;
  }
  if (target != nullptr) {
    // Opened as written, as every file is; the full path names it.
    platform::OpenResult opened = platform::openConsoleFile(target);
    // A file that cannot be opened leaves the messages on standard output.
    if (opened.failure == platform::Failure::None) {
      connection.handle = opened.handle;
      connection.closesHandle = true;
      connection.path = platform::fullPath(target, kMaxPathLength);
    }
  }
  connection.format = recordFormatFor(kConsoleUnit);
  connection.buffered = settings.buffered;
  connection.blockSize = kConsoleBlockSize;
  connection.bufferCount = 1;
  const IoSettings& io = ioSettings();
  connection.recordLength = io.formattedRecordLengthInvalid ? 0 : io.formattedRecordLength;
  connection.noWrapMargin = settings.noWrapMargin;
  Unit* unit = new (std::nothrow) Unit(std::move(connection));
  if (unit == nullptr && connection.closesHandle) {
    int ignored = 0;
    platform::closeFile(connection.handle, ignored);
  }
  return unit;
}

}  // namespace recio

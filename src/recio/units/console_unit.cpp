// The console unit's connection: standard output or the XIO_PRINT file, with the
// console's own settings.
#include "recio/units/console_unit.h"

#include <new>
#include <string>
#include <utility>

#include "recio/environment.h"
#include "recio/platform/platform.h"
#include "recio/units/io_settings.h"
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
  if (const char* target = environmentText("XIO_PRINT")) {
    std::string path = platform::fullPath(target, kMaxPathLength);
    platform::OpenResult opened = platform::openConsoleFile(path);
    // A file that cannot be opened leaves the messages on standard output.
    if (opened.failure == platform::Failure::None) {
      connection.handle = opened.handle;
      connection.closesHandle = true;
      connection.path = std::move(path);
    }
  }
  connection.format = recordFormatFor(kConsoleUnit);
  connection.buffered = environmentIsTrue("XIOT_BUFFER_STDOUT");
  connection.blockSize = kConsoleBlockSize;
  connection.bufferCount = 1;
  const IoSettings& io = ioSettings();
  connection.recordLength = io.formattedRecordLengthInvalid ? 0 : io.formattedRecordLength;
  connection.noWrapMargin = environmentIsTrue("XIOT_FMT_NO_WRAP_MARGIN");
  Unit* unit = new (std::nothrow) Unit(std::move(connection));
  if (unit == nullptr && connection.closesHandle) {
    int ignored = 0;
    platform::closeFile(connection.handle, ignored);
  }
  return unit;
}

}  // namespace recio

// Start-up of the runtime, before the program's first statement.
#include "recio/units/start_up.h"

#include "recio/platform/platform.h"
#include "recio/units/io_settings.h"
#include "recio/stop/stop.h"
#include "recio/stop/traceback.h"

namespace recio {

void startUp(int argc, char** argv) {
  platform::setArguments(argc, argv);
  platform::reserveStandardStreams();
  createTracebackRecord();
  platform::startConsoleEvents(stopOnConsoleEvent);
  readStartUpSettings();
  // The build's instruction set (x86-64 with SSE2) is the platform's baseline, so the
  // processor check has nothing to reject here.
  platform::enableFlushToZero();
}

}  // namespace recio

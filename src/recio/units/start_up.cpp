// Start-up of the runtime, before the program's first statement.
#include "recio/units/start_up.h"

#include "recio/platform/platform.h"
#include "recio/settings/settings.h"
#include "recio/stop/stop.h"
#include "recio/stop/traceback.h"
#include "recio/units/unit_table.h"

namespace recio {

void startUp(int argc, char** argv) {
  platform::setArguments(argc, argv);
  platform::reserveStandardStreams();
  platform::failWritesPastFileSizeLimit();
  prepareTraceback();
  // Before the console events: an event's stop closes the units too.
  setUnitCloser(closeAllUnits);
  platform::startConsoleEvents(stopOnConsoleEvent);
  readStartUpSettings();
  platform::enableFlushToZero();
}

}  // namespace recio

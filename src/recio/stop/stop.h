// How a run ends: the normal stop, the fatal run-time report, and the stop forced by
// a console event.
#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>

#include "recio/platform/platform.h"

namespace recio {

// The normal end: nothing is printed, every unit is written out and closed.
// A run that ends through one of the program's own error messages passes 1.
[[noreturn]] void runStop(int exitStatus = 0);

// Issues a catalogue message. %d takes `unitNumber`, %s takes `name` (the file's full
// path, or the event name). Severities 1 to 3 return after the report. A severe
// report ends the run with the message number as exit status; it returns only when
// this thread is itself already stopping (a unit failing in closeAllUnits): the report
// is written, the run's exit status becomes the message number, and the caller goes on.
void fatalReport(std::int32_t messageNumber, std::int32_t unitNumber = 0, std::string_view name = {});

// Whether another thread has begun to end the run. A statement that finds it so must
// not begin: that thread is writing its report and will close every unit, and records
// written meanwhile would only race it to the file.
bool stopBegunElsewhere();

namespace detail {
extern std::atomic<bool> stopBegun;
}  // namespace detail

// Whether any thread may have begun to end the run: one relaxed load, for the checks a
// run of statements makes between two of them. Only when it is true does
// stopBegunElsewhere need asking.
inline bool stopMayHaveBegun() { return detail::stopBegun.load(std::memory_order_relaxed); }

// Whether the stop in progress aborts the run (a severe report, a console event, a
// request to end) rather than being the normal stop.
bool stopIsAbort();

// Waits for the other thread's stop to end the process.
[[noreturn]] void awaitOtherStop();

// Every way of ending the run writes out and closes every unit last. The units report
// their failures through the stop, so the stop reaches them only through this hook,
// which start-up installs; until then (and in programs that never start up) a stop
// ends the process without it.
using UnitCloser = void (*)();
void setUnitCloser(UnitCloser closer);

// The stop forced by a console event (interrupt, break, window close): report 200 with
// the event's name, then every unit is closed. A request to end (Terminate) closes
// every unit without a report and ends the process as the request would have. Registered
// at start-up.
void stopOnConsoleEvent(platform::ConsoleEvent event);

}  // namespace recio

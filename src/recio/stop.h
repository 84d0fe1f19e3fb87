// How a run ends: the normal stop, the fatal run-time report, and the stop forced by
// a console event. Also the start-up settings that every run begins with.
#pragma once

#include <cstdint>
#include <string_view>

namespace recio {

// Start-up: traceback record, console event handling, I/O settings, flush-to-zero.
void startUp(int argc, char** argv);

// The normal end: nothing is printed, every unit is written out and closed.
// A run that ends through one of the program's own error messages passes 1.
[[noreturn]] void runStop(int exitStatus = 0);

// Issues a catalogue message. %d takes `unitNumber`, %s takes `name` (the file's full
// path, or the event name). Severities 1 to 3 return after the report. A severe
// report ends the run with the message number as exit status; it returns only when
// this thread is itself already stopping (a unit failing in closeAllUnits): the report
// is written, the run's exit status becomes the message number, and the caller goes on.
void fatalReport(std::int32_t messageNumber, std::int32_t unitNumber = 0, std::string_view name = {});

// The truth rule of switch variables: set, not empty, and either beginning with
// t, T, y or Y or all decimal digits with a non-zero value.
bool isTrue(const char* value);
bool environmentIsTrue(const char* name);

}  // namespace recio

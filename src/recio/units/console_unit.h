// The console unit's connection, made on the unit's first use.
// Internal to units/: no other module includes this header.
#pragma once

#include "recio/units/unit.h"

namespace recio {

// Creates the console unit's connection: standard output, or the file XIO_PRINT names.
// nullptr when the memory for it cannot be had.
Unit* connectConsole();

}  // namespace recio

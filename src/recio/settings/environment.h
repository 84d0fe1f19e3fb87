// How a variable of the environment is read, and the truth rule of switch variables:
// the settings (settings.h) read every variable of the runtime through these.
#pragma once

namespace recio {

// The text of an environment variable that is set and not empty; nullptr otherwise. No
// variable of the runtime means anything when empty.
const char* environmentText(const char* name);

// The truth rule of switch variables' texts: beginning with t, T, y or Y, or all decimal
// digits with a non-zero value. nullptr and the empty text are false.
bool textIsTrue(const char* text);
// Whether the switch variable `name` is on: its text is true.
bool environmentIsTrue(const char* name);

}  // namespace recio

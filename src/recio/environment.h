// The environment variables that steer the run, and the truth rule of its switches: one
// reading shared by the stop, the units and the console.
#pragma once

namespace recio {

// nullptr when the variable is not set.
const char* environment(const char* name);

// The truth rule of switch variables: set, not empty, and either beginning with
// t, T, y or Y or all decimal digits with a non-zero value.
bool isTrue(const char* value);
bool environmentIsTrue(const char* name);

}  // namespace recio

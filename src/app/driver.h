// The program's main routine: argument check, then mesh, grid, model and table.
#pragma once

#include <string>
#include <vector>

namespace app {

// Runs the whole conversion for the split command line (index 0 the program name).
// Never returns: every way out is a stop.
[[noreturn]] void runDriver(const std::vector<std::string>& arguments);

}  // namespace app

// Start-up, before the program's first statement.
#pragma once

namespace recio {

// Keeps the command line for the platform, creates the traceback record, registers the
// console event stop, reads the start-up I/O settings and switches to flush-to-zero.
void startUp(int argc, char** argv);

}  // namespace recio

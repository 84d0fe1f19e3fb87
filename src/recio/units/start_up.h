// Start-up, before the program's first statement.
#pragma once

namespace recio {

// Keeps the command line for the platform, gives closed standard streams their
// stand-ins, makes a write past the file-size limit a failed write, creates the
// traceback record, gives the stop its way to close every unit, registers the console
// event stop, reads the start-up I/O settings and switches to flush-to-zero. It lives with the units because it is
// what joins them to the stop below them.
void startUp(int argc, char** argv);

}  // namespace recio

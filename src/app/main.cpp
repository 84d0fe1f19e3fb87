// The program: the runtime started, then the driver run on the command line's arguments.
// The only part of the program that calls the platform layer itself.
#include "app/command_line.h"
#include "app/driver.h"
#include "recio/platform/platform.h"
#include "recio/units/start_up.h"

int main(int argc, char** argv) {
  recio::startUp(argc, argv);
  app::runDriver(app::splitCommandLine(recio::platform::commandLine(app::joinArguments)));
}

// For tests: the workers every fast path asks for, and thread starts that fail as the
// system or the memory would make them fail, so that the paths that must do without a
// worker can be reached. Set between runs, on the thread that runs them; a user's run
// never calls these, and the machine makes its own choice.
#pragma once

namespace recio {

// The workers every fast path gets, whatever the processor count; 0 gives the choice
// back to the machine.
void requestWorkersForTests(unsigned workers);

// Thread starts after the next `successes` fail as the system (NoThread) or the memory
// (NoMemory) would make them fail, until asked again with None.
enum class ThreadStartFailure { None, NoThread, NoMemory };
void failThreadStartsForTests(unsigned successes, ThreadStartFailure failure);

}  // namespace recio

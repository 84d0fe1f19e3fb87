// How many workers a run may start.
#include "recio/threads/worker_threads.h"

#include <algorithm>

#include "recio/platform/platform.h"

namespace recio {

unsigned workersToSpare(unsigned most) {
  if (const unsigned requested = test_hooks::requestedWorkers(); requested != 0) return std::min(requested, most);
  // The processors this process may use, not the machine's: under one allowed
  // processor a worker would only take turns with the calling thread.
  const unsigned processors = platform::usableProcessors();
  return processors < 2 ? 0 : std::min(processors - 1, most);
}

}  // namespace recio

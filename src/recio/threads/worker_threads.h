// The runtime's worker threads: how many a run may start, and starting one without
// letting a failure escape. A fast path that cannot have its thread takes the plain
// path instead, with the same bytes and the same end.
#pragma once

#include <new>
#include <system_error>
#include <thread>
#include <utility>

namespace recio {

// The workers a fast path may start beside the calling thread: one per further
// processor this process may run on, at most `most`; 0 on a single one. Every fast path
// asks here, so that "a processor to spare" means the same everywhere.
unsigned workersToSpare(unsigned most);

namespace detail {
// Throws as the thread library would when a test has asked this start to fail
// (worker_test_override.h); returns at once otherwise.
void throwIfStartIsToFail();
}  // namespace detail

// Starts `body` on `thread`, which must be empty. False, with `thread` left empty, when
// the system has no thread to give (std::system_error) or the library cannot allocate
// the thread's state (std::bad_alloc, which std::thread's constructor may throw too).
template <class Body>
bool startWorker(std::thread& thread, Body&& body) noexcept {
  try {
    detail::throwIfStartIsToFail();
    thread = std::thread(std::forward<Body>(body));
    return true;
  } catch (const std::system_error&) {
  } catch (const std::bad_alloc&) {
  }
  return false;
}

}  // namespace recio

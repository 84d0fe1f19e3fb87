// Writing a unit's blocks past the page cache, and doing so on a thread of its own while
// the statements fill the next block: a write past the cache returns only once the
// device has the bytes, and the statements would wait that long for every block.
#pragma once

#include <atomic>
#include <cstddef>
#include <thread>

#include "recio/platform/platform.h"
#include "recio/threads/change_signal.h"

namespace recio {

// How a block's write ended.
struct BlockWrite {
  bool written = true;
  bool leftDirect = false;  // the file went back to the page cache's path on the way
  int osError = 0;          // the system's code when not written
};

// Writes `count` bytes at `bytes` past the page cache. What a direct write does not take
// (a full disk, a file-size limit, a count not a multiple of `alignment`, any refusal)
// goes through the page cache from where it stopped, so that it ends as it would have
// there, and the file stays on that path.
BlockWrite writeBlockDirect(platform::FileHandle handle, const char* bytes, std::size_t count, std::size_t alignment);

// One block at a time written behind the statements: post hands a block over, wait
// returns once it is written (or failed). The thread sleeps when there is nothing to
// write, and does no work of the processor's beyond the system calls: it is not one of
// the workers that a run's processors are counted for.
class WriteBehind {
 public:
  WriteBehind(platform::FileHandle handle, std::size_t alignment) : handle_(handle), alignment_(alignment) {}
  WriteBehind(const WriteBehind&) = delete;
  WriteBehind& operator=(const WriteBehind&) = delete;
  ~WriteBehind();

  // False when no thread can be had.
  bool start();
  // Hands over a block, whose bytes stay untouched until the next wait returns. Only
  // after the previous block's wait.
  void post(const char* bytes, std::size_t count);
  // Waits for the block handed over last, if any, and tells how its write ended.
  BlockWrite wait();

 private:
  void run();

  const platform::FileHandle handle_;
  const std::size_t alignment_;
  ChangeSignal signal_;
  // The block handed over, until it is written. Its count is stored before it and its
  // result before it goes back to null, so that each thread reads those only after
  // seeing the hand-over.
  std::atomic<const char*> bytes_{nullptr};
  std::size_t count_ = 0;
  BlockWrite result_;
  std::atomic<bool> quitting_{false};
  std::thread thread_;
};

}  // namespace recio

// Direct block writes, and the thread that makes them behind the statements.
#include "recio/units/write_behind.h"

#include "recio/threads/test_hooks.h"
#include "recio/threads/worker_threads.h"

namespace recio {

BlockWrite writeBlockDirect(platform::FileHandle handle, const char* bytes, std::size_t count, std::size_t alignment) {
  BlockWrite result;
  if (count % alignment == 0) {
    while (count > 0) {
      const long written = platform::writeOnce(handle, bytes, count, result.osError);
      if (written <= 0) break;
      bytes += written;
      count -= static_cast<std::size_t>(written);
    }
    if (count == 0) {
      test_hooks::fastPathCounts().directBlocksWritten.fetch_add(1, std::memory_order_relaxed);
      return result;
    }
  }
  result.leftDirect = true;
  platform::setDirectWrites(handle, false);
  result.written = platform::writeFile(handle, bytes, count, nullptr, 0, result.osError);
  return result;
}

WriteBehind::~WriteBehind() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quitting_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

bool WriteBehind::start() {
  return startWorker(thread_, [this] { run(); });
}

void WriteBehind::post(const char* bytes, std::size_t count) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    bytes_ = bytes;
    count_ = count;
  }
  changed_.notify_all();
}

BlockWrite WriteBehind::wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return bytes_ == nullptr; });
  const BlockWrite result = result_;
  result_ = BlockWrite{};
  return result;
}

void WriteBehind::run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return bytes_ != nullptr || quitting_; });
    if (bytes_ == nullptr) return;
    const char* bytes = bytes_;
    const std::size_t count = count_;
    lock.unlock();
    const BlockWrite result = writeBlockDirect(handle_, bytes, count, alignment_);
    lock.lock();
    result_ = result;
    bytes_ = nullptr;
    changed_.notify_all();
  }
}

}  // namespace recio

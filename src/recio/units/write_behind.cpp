// Direct block writes, and the thread that makes them behind the statements.
#include "recio/units/write_behind.h"

#include "recio/threads/fast_path_counts.h"
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
      fastPathCounts().directBlocksWritten.fetch_add(1, std::memory_order_relaxed);
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
  quitting_.store(true, std::memory_order_release);
  signal_.notifyAll();
  thread_.join();
}

bool WriteBehind::start() {
  return startWorker(thread_, [this] { run(); });
}

void WriteBehind::post(const char* bytes, std::size_t count) {
  count_ = count;
  bytes_.store(bytes, std::memory_order_release);
  signal_.notifyAll();
}

BlockWrite WriteBehind::wait() {
  signal_.waitUntil([this] { return bytes_.load(std::memory_order_acquire) == nullptr; });
  const BlockWrite result = result_;
  result_ = BlockWrite{};
  return result;
}

void WriteBehind::run() {
  for (;;) {
    signal_.waitUntil([this] {
      return bytes_.load(std::memory_order_acquire) != nullptr || quitting_.load(std::memory_order_acquire);
    });
    // A block handed over before the end is written first.
    const char* bytes = bytes_.load(std::memory_order_acquire);
    if (bytes == nullptr) return;
    result_ = writeBlockDirect(handle_, bytes, count_, alignment_);
    bytes_.store(nullptr, std::memory_order_release);
    signal_.notifyAll();
  }
}

}  // namespace recio

// The platform layer on POSIX, memory: aligned blocks.
#include "recio/platform/platform.h"

#include <cstdlib>

namespace recio::platform {

void* allocateAligned(std::size_t alignment, std::size_t size) {
  void* memory = nullptr;
  if (alignment < sizeof(void*)) alignment = sizeof(void*);
  return ::posix_memalign(&memory, alignment, size == 0 ? 1 : size) == 0 ? memory : nullptr;
}

void freeAligned(void* memory) { std::free(memory); }

}  // namespace recio::platform

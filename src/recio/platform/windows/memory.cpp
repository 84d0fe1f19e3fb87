// The platform layer on Windows, memory: the C runtime's aligned blocks.
#include "recio/platform/platform.h"

#include <malloc.h>

namespace recio::platform {

void* allocateAligned(std::size_t alignment, std::size_t size) {
  return _aligned_malloc(size == 0 ? 1 : size, alignment < sizeof(void*) ? sizeof(void*) : alignment);
}

void freeAligned(void* memory) { _aligned_free(memory); }

}  // namespace recio::platform

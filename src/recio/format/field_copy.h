// Copying a field of a record: short fields, as E fields are, without a call.
#pragma once

#include <cstddef>
#include <cstring>

namespace recio::format {

// copyField's widest field.
inline constexpr std::size_t kLargestFieldCopy = 32;

// Copies 1 <= width <= kLargestFieldCopy characters as two copies of a fixed size that
// overlap in the middle, which compile to plain loads and stores instead of a call.
inline void copyField(char* to, const char* from, std::size_t width) {
  if (width >= 16) {
    std::memcpy(to, from, 16);
    std::memcpy(to + width - 16, from + width - 16, 16);
  } else if (width >= 8) {
    std::memcpy(to, from, 8);
    std::memcpy(to + width - 8, from + width - 8, 8);
  } else {
    std::memcpy(to, from, width);
  }
}

}  // namespace recio::format

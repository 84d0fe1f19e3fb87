// Copying a field of a record: fields of 8 to 32 characters, as E fields are, without a call.
#pragma once

#include <cstddef>
#include <cstring>

namespace recio::format {

// copyField's widest field.
inline constexpr std::size_t kLargestFieldCopy = 32;

// Copies 1 <= width <= kLargestFieldCopy characters. From 8 on, as two copies of a fixed
// size that overlap in the middle, which compile to plain loads and stores instead of a
// call; a narrower field is one copy of its own width, which may be a call.
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

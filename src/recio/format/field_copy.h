// Copying a field of a record: fields of 8 to 32 characters, as E fields are, without a call.
#pragma once

#include <cstddef>
#include <cstring>

namespace recio::format {

// copyField's widest field.
inline constexpr std::size_t kLargestFieldCopy = 32;

// Copies kWord <= width <= 2 * kWord characters as two copies of kWord that overlap in
// the middle, for a loop that has chosen kWord once for its fields' width.
template <std::size_t kWord>
inline void copyFieldInWords(char* to, const char* from, std::size_t width) {
  std::memcpy(to, from, kWord);
  std::memcpy(to + width - kWord, from + width - kWord, kWord);
}

// Copies 1 <= width <= kLargestFieldCopy characters. From 8 on, as two copies of a fixed
// size that overlap in the middle, which compile to plain loads and stores instead of a
// call; a narrower field is one copy of its own width, which may be a call.
inline void copyField(char* to, const char* from, std::size_t width) {
  if (width >= 16) {
    copyFieldInWords<16>(to, from, width);
  } else if (width >= 8) {
    copyFieldInWords<8>(to, from, width);
  } else {
    std::memcpy(to, from, width);
  }
}

}  // namespace recio::format

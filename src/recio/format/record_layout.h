// How records edited ahead lie one after another, as a unit's block takes them.
#pragma once

#include <cstddef>

namespace recio::format {

// `recordLength` characters of fields, then `terminatorLength` terminator bytes,
// `stride()` bytes a record.
struct RecordLayout {
  static constexpr std::size_t kMaxTerminatorLength = 2;

  std::size_t recordLength = 0;
  std::size_t terminatorLength = 0;
  char terminator[kMaxTerminatorLength] = {};

  std::size_t stride() const { return recordLength + terminatorLength; }
};

}  // namespace recio::format

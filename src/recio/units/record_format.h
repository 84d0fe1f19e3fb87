// Record formats of formatted sequential units and the terminator bytes each appends.
#pragma once

#include <cstdint>

namespace recio {

enum class RecordFormat : std::uint8_t { CrLf, Lf, Cr, None };

struct Terminator {
  char bytes[2];
  std::uint8_t length;
};

constexpr Terminator terminatorOf(RecordFormat format) {
  switch (format) {
    case RecordFormat::CrLf:
      return {{'\r', '\n'}, 2};
    case RecordFormat::Lf:
      return {{'\n', 0}, 1};
    case RecordFormat::Cr:
      return {{'\r', 0}, 1};
    case RecordFormat::None:
      break;
  }
  return {{0, 0}, 0};
}

// The byte that ends an input line: CR with the CR format, LF with every other.
constexpr char inputTerminatorOf(RecordFormat format) { return format == RecordFormat::Cr ? '\r' : '\n'; }

}  // namespace recio

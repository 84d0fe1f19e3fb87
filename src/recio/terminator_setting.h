// The XIO_FMT_TERMINATOR grammar: "CR", "LF" or "CRLF" for every formatted unit, or
// [default";"][listed-terminator":"]list with a list of unit numbers and ranges.
#pragma once

#include <cstdint>

#include "recio/units.h"

namespace recio {

struct TerminatorSetting {
  static constexpr int kMaxItems = 64;
  struct Range {
    std::uint32_t first;
    std::uint32_t last;
  };

  bool hasDefault = false;
  RecordFormat defaultFormat = RecordFormat::CrLf;
  RecordFormat listedFormat = RecordFormat::Cr;
  int itemCount = 0;
  Range items[kMaxItems];

  RecordFormat formatFor(std::int32_t unitNumber) const;
};

// Parses a value; false on any syntax error (the setting is then left empty).
// An unset or empty value is valid and changes nothing.
bool parseTerminatorSetting(const char* value, TerminatorSetting& setting);

}  // namespace recio

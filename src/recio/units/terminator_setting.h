// The XIO_FMT_TERMINATOR setting: "CR", "LF" or "CRLF" for every formatted unit, or
// [default";"][listed-terminator":"]list with a list of unit numbers and ranges; and
// the record format it gives each unit as the unit is connected.
#pragma once

#include <cstdint>

#include "recio/units/record_format.h"

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

// Record format for a formatted sequential unit connected now, by XIO_FMT_TERMINATOR
// (read on the first call; a malformed value is warned about once and ignored).
RecordFormat recordFormatFor(std::int32_t unitNumber);

}  // namespace recio

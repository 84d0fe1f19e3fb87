// A unit's disk file read beside the unit by a reader of its own, as the read-ahead of a
// file's second half reads it: what that reader needs to know of the unit, and how the
// unit's input is moved past the lines the reader has taken. Each call takes the unit
// and gives it back, so it is made while no statement holds the unit.
#pragma once

#include <cstddef>
#include <cstdint>

#include "recio/platform/platform.h"

namespace recio {

struct SecondReader {
  platform::FileHandle file = platform::kNoFile;  // the caller closes it
  std::uint64_t fileSize = 0;
  // The byte that ends the unit's input records.
  char terminator = '\n';
  // The longest line, terminator included, that the unit reads without growing its
  // buffer, and so without a failure that the second reader could not see.
  std::size_t longestUnitLine = 0;
};

// Opens a reader of its own on the file of the connected unit `unitNumber`: false, with
// nothing open, when the unit is not connected, its file is not a disk file of at least
// `minimumBytes`, or the system gives no reader.
bool openSecondReader(std::int32_t unitNumber, std::uint64_t minimumBytes, SecondReader& reader);

// Whether the unit's next input record begins exactly at `offset`.
bool unitInputBeginsAt(std::int32_t unitNumber, std::uint64_t offset);

// Makes the unit's next input record begin at `offset`, at or after where it begins now,
// past lines that the second reader has taken for the statements. False, with the unit
// unchanged, when it cannot.
bool moveUnitInputTo(std::int32_t unitNumber, std::uint64_t offset);

}  // namespace recio

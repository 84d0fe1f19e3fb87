// A second reader of a unit's file, and the unit's input moved past what it has read.
#include "recio/units/second_reader.h"

#include "recio/units/input_buffer_limits.h"
#include "recio/units/unit.h"
#include "recio/units/unit_table.h"

namespace recio {

struct SecondReaderAccess {
  static bool open(Unit& unit, std::uint64_t minimumBytes, SecondReader& reader) {
    std::uint64_t size = 0;
    if (!platform::diskFileSize(unit.connection_.handle, size) || size < minimumBytes) return false;
    reader.file = platform::openSecondReader(unit.connection_.handle);
    reader.fileSize = size;
    reader.terminator = unit.inputTerminator_;
    reader.longestUnitLine = inputBufferLimits().initialCapacity;
    return reader.file != platform::kNoFile;
  }
  static bool beginsAt(const Unit& unit, std::uint64_t offset) { return unit.inputOffset() == offset; }
  static bool moveTo(Unit& unit, std::uint64_t offset) { return unit.moveInputTo(offset); }
};

namespace {

// Calls `use` with the connected unit, held for the call; false when none is connected.
template <class Use>
bool withUnit(std::int32_t unitNumber, Use&& use) {
  Unit* unit = acquireUnit(unitNumber);
  if (unit == nullptr) return false;
  const bool result = use(*unit);
  releaseUnit(*unit);
  return result;
}

}  // namespace

bool openSecondReader(std::int32_t unitNumber, std::uint64_t minimumBytes, SecondReader& reader) {
  return withUnit(unitNumber, [&](Unit& unit) { return SecondReaderAccess::open(unit, minimumBytes, reader); });
}

bool unitInputBeginsAt(std::int32_t unitNumber, std::uint64_t offset) {
  return withUnit(unitNumber, [&](Unit& unit) { return SecondReaderAccess::beginsAt(unit, offset); });
}

bool moveUnitInputTo(std::int32_t unitNumber, std::uint64_t offset) {
  return withUnit(unitNumber, [&](Unit& unit) { return SecondReaderAccess::moveTo(unit, offset); });
}

}  // namespace recio

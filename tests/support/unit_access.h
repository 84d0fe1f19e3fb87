// In-process access to units for tests: a clean I/O environment, the program's two kinds
// of open statement, records written or read one statement at a time, and what a unit
// keeps to itself.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "recio/units/unit.h"

namespace testing_support {

// Removes every XIO*/XIOT* variable from the test's environment and reads the start-up
// I/O settings anew. Call before the first open of a test: the record terminator setting
// is read once per process, at the first open.
void clearIoEnvironment();

// The readers' open: status "old", action "read", errors handled. 0 or the message number.
std::int32_t openForReading(std::int32_t unitNumber, std::string_view name);
// The table's open (status the integer 4, action "write"), but with errors handled.
std::int32_t openForWriting(std::int32_t unitNumber, std::string_view name);
// An open statement with character texts for status and action, errors handled.
std::int32_t openWithTexts(std::int32_t unitNumber, std::string_view name, std::string_view status,
                           std::string_view action);

// One record through the unit, as one statement: 0 or the message number.
std::int32_t writeRecord(std::int32_t unitNumber, std::string_view text);

// One input record of the unit: 0 and the record, or the message number.
struct InputRecord {
  std::int32_t result = 0;
  std::string text;
};
InputRecord readRecord(std::int32_t unitNumber);

// The file name the unit keeps for its messages ("" when the unit is not connected).
std::string unitPath(std::int32_t unitNumber);

// Gives the connected unit a fixed record length (a failure when it is not connected).
void setRecordLength(std::int32_t unitNumber, std::int32_t length);

// Closes the unit, expecting no failure, and returns the bytes of the file it wrote.
std::string closeAndRead(std::int32_t unitNumber, const std::string& path);

}  // namespace testing_support

namespace recio {

// What a connected unit settled and keeps to itself, for tests that inspect or change it
// (the caller holds the unit through acquireUnit): the unit's test peer.
struct UnitTestPeer {
  static const Connection& connection(const Unit& unit);
  static int osError(const Unit& unit);
  static void setRecordLength(Unit& unit, std::int32_t length);
  // The terminator is settled anew with the format.
  static void setRecordFormat(Unit& unit, RecordFormat format);
};

}  // namespace recio

namespace testing_support {
using UnitAccess = recio::UnitTestPeer;
}  // namespace testing_support

// The unit table: connecting unit numbers to files, finding a statement's unit, and
// disconnecting them. Every operation returns 0 or a message number; the ones that
// take an error-handling flag raise the fatal report themselves when the flag is clear.
// The module's interface as a whole is told in units.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "recio/units/unit.h"

namespace recio {

enum OpenStatus : std::int32_t {
  kStatusAbsent = 0,
  kStatusOld = 1,
  kStatusNew = 2,
  kStatusScratch = 3,
  kStatusUnknown = 4,
  kStatusReplace = 5,
};
enum OpenAction : std::int32_t {
  kActionAbsent = 0,
  kActionRead = 1,
  kActionReadWrite = 2,
  kActionWrite = 3,
};

struct OpenRequest {
  std::int32_t unitNumber = 0;
  const char* fileName = nullptr;
  std::size_t fileNameLength = 0;
  std::int32_t status = kStatusAbsent;
  std::int32_t action = kActionAbsent;
  bool handlesErrors = false;
};

// The file an open statement's name denotes, as its messages name it: the whole name,
// without leading blanks or trailing blanks and NULs, made absolute when that takes at
// most 256 characters.
std::string fullFileName(const char* name, std::size_t length);

std::int32_t openUnit(const OpenRequest& request);
std::int32_t closeUnit(std::int32_t unitNumber, bool handlesErrors);

// A statement's hold on a unit: finds the connection (connecting the console unit on
// its first use) and takes its lock. nullptr when the number is not connected.
Unit* acquireUnit(std::int32_t unitNumber);
void releaseUnit(Unit& unit);

// Writes out pending output and closes every connected unit, once per run.
void closeAllUnits();

// For tests that make the opens of many runs in one process, between two of them: the
// files read so far are forgotten, so that the next may write them.
void forgetFilesReadForTests();

}  // namespace recio

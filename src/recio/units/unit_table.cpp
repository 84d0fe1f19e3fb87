// The unit table: connecting unit numbers to files, disconnecting them, and closing
// everything when the run ends.
#include "recio/units/unit_table.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <new>

#include "recio/settings.h"
#include "recio/stop/messages.h"
#include "recio/stop/stop.h"
#include "recio/units/console_unit.h"
#include "recio/units/open_failure.h"
#include "recio/units/terminator_setting.h"

namespace recio {
namespace {

constexpr int kMaxUnits = 16;

// Connected units. Allocated once and never destroyed: after closeAllUnits its lock
// stays held so that no statement of another thread can start on a closed unit.
//
// Connections change under the lock. A statement looks its unit up without it: only the
// program thread opens, closes and uses units, and closeAllUnits, which may run on the
// console event thread, never frees a unit, so a unit found here stays valid.
struct UnitTable {
  std::mutex lock;
  std::atomic<Unit*> units[kMaxUnits] = {};
};

UnitTable& unitTable() {
  static UnitTable* table = new UnitTable;
  return *table;
}

std::atomic<Unit*>* findSlot(UnitTable& table, std::int32_t number) {
  for (std::atomic<Unit*>& slot : table.units) {
    Unit* unit = slot.load(std::memory_order_acquire);
    if (unit != nullptr && unit->number() == number) return &slot;
  }
  return nullptr;
}

std::atomic<Unit*>* freeSlot(UnitTable& table) {
  for (std::atomic<Unit*>& slot : table.units) {
    if (slot.load(std::memory_order_relaxed) == nullptr) return &slot;
  }
  return nullptr;
}

std::int32_t failOpen(const OpenRequest& request, std::int32_t message, const std::string& path) {
  if (!request.handlesErrors) fatalReport(message, request.unitNumber, path);
  return message;
}

}  // namespace

std::string fullFileName(const char* name, std::size_t length) {
  // The whole name, leading blanks skipped, trailing blanks and NULs removed: a name cut
  // short would open another file than the one named, and could replace it.
  if (name == nullptr) length = 0;
  while (length > 0 && *name == ' ') {
    ++name;
    --length;
  }
  while (length > 0 && (name[length - 1] == ' ' || name[length - 1] == '\0')) --length;
  return platform::fullPath(std::string_view(name, length), kMaxPathLength);
}

std::int32_t openUnit(const OpenRequest& request) {
  std::string path = fullFileName(request.fileName, request.fileNameLength);

  const bool forReading = request.action == kActionRead;
  if (request.unitNumber == kConsoleUnit) return failOpen(request, kMsgOpenFailure, path);

  // A name with a NUL inside cannot reach the operating system as written.
  if (std::memchr(path.data(), '\0', path.size()) != nullptr) return failOpen(request, kMsgFileNameError, path);

  if (path.empty()) return failOpen(request, kMsgFileNotFound, path);
  // Opening a connected number connects it anew: the old connection is written out and
  // closed first, as by a close statement, so that the same file can be opened again. A
  // failure to write it out (38) is the open's, and reported as the close would.
  if (const std::int32_t closed = closeUnit(request.unitNumber, request.handlesErrors); closed != 0) return closed;
  const platform::OpenResult opened =
      platform::openFile(path, forReading ? platform::OpenMode::Read : platform::OpenMode::Write);
  if (opened.failure != platform::Failure::None) {
    return failOpen(request, messageForOpenFailure(opened.failure), path);
  }

  const IoSettings& io = ioSettings();
  std::int32_t settingError = io.blockSizeInvalid               ? kMsgBlockSizeSyntax
                              : io.bufferCountInvalid           ? kMsgBufferCountSyntax
                              : io.formattedRecordLengthInvalid ? kMsgReclSyntax
                                                                : 0;
  if (settingError != 0) {
    int ignored = 0;
    platform::closeFile(opened.handle, ignored);
    return failOpen(request, settingError, path);
  }

  Connection connection;
  connection.number = request.unitNumber;
  connection.path = std::move(path);
  connection.handle = opened.handle;
  connection.access = forReading ? Access::Read : Access::Write;
  connection.format = recordFormatFor(request.unitNumber);
  connection.buffered = filesAreBuffered();
  connection.blockSize = io.blockSize;
  connection.bufferCount = io.bufferCount;
  connection.recordLength = io.formattedRecordLength;
  connection.isDiskFile = platform::isDiskFile(opened.handle);
  connection.truncateAtFirstWrite = !forReading && connection.isDiskFile;

  Unit* unit = new (std::nothrow) Unit(std::move(connection));
  if (unit == nullptr) {
    int ignored = 0;
    platform::closeFile(opened.handle, ignored);
    return failOpen(request, kMsgNoMemory, connection.path);
  }

  UnitTable& table = unitTable();
  std::int32_t result = 0;
  {
    std::lock_guard<std::mutex> guard(table.lock);
    // Another thread may have connected the number since it was closed above: the
    // first connection keeps it.
    if (findSlot(table, request.unitNumber) != nullptr) {
      result = kMsgOpenFailure;
    } else if (std::atomic<Unit*>* slot = freeSlot(table)) {
      *slot = unit;
    } else {
      result = kMsgOpenFailure;
    }
  }
  if (result != 0) {
    std::string failedPath = unit->path();
    unit->disconnect();
    delete unit;
    return failOpen(request, result, failedPath);
  }
  return 0;
}

std::int32_t closeUnit(std::int32_t unitNumber, bool handlesErrors) {
  UnitTable& table = unitTable();
  Unit* unit = nullptr;
  std::int32_t result = 0;
  {
    // The unit leaves the table only once its last block is written out and its file
    // closed. A stop from another thread meanwhile (closeAllUnits) waits for the table
    // and the unit, as it waits for a statement in progress, so the file never ends in
    // a torn record. The order, table then unit, is closeAllUnits's own.
    std::lock_guard<std::mutex> guard(table.lock);
    std::atomic<Unit*>* slot = findSlot(table, unitNumber);
    if (slot == nullptr) return 0;  // closing a unit that is not connected does nothing
    unit = *slot;
    {
      std::lock_guard<Unit> unitGuard(*unit);
      result = unit->disconnect();
    }
    *slot = nullptr;
  }
  std::string path = unit->path();
  delete unit;
  if (result != 0 && !handlesErrors) fatalReport(result, unitNumber, path);
  return result;
}

Unit* acquireUnit(std::int32_t unitNumber) {
  // Once another thread is ending the run, no statement begins: what it would write
  // could only race that thread's closing of the units.
  if (stopBegunElsewhere()) awaitOtherStop();
  UnitTable& table = unitTable();
  if (std::atomic<Unit*>* slot = findSlot(table, unitNumber)) {
    if (Unit* unit = slot->load(std::memory_order_acquire)) {
      unit->lock();
      return unit;
    }
  }
  Unit* unit = nullptr;
  {
    std::lock_guard<std::mutex> guard(table.lock);
    if (std::atomic<Unit*>* slot = findSlot(table, unitNumber)) {
      unit = *slot;
    } else if (unitNumber == kConsoleUnit) {
      unit = connectConsole();
      if (unit != nullptr) {
        if (std::atomic<Unit*>* free = freeSlot(table)) {
          *free = unit;
        } else {
          unit->disconnect();
          delete unit;
          unit = nullptr;
        }
      }
    }
  }
  if (unit != nullptr) unit->lock();
  return unit;
}

void releaseUnit(Unit& unit) { unit.unlock(); }

void closeAllUnits() {
  static std::atomic<bool> started{false};
  if (started.exchange(true)) return;
  UnitTable& table = unitTable();
  // The table lock and every unit lock stay held: the process ends after this, and no
  // statement on another thread may begin on a closed unit meanwhile.
  table.lock.lock();
  for (std::atomic<Unit*>& slot : table.units) {
    Unit* unit = slot.load();
    if (unit == nullptr) continue;
    unit->lock();
    // A unit that cannot be written out is reported (the run then ends with 38), and
    // the others are still written out and closed. Once a run is being aborted, a pipe
    // whose reader has gone loses nothing that anyone would read: the run ends with the
    // abort's own status, as it would had the reader gone a moment later.
    const std::int32_t result = unit->disconnect();
    if (result == kMsgWriteError && platform::isClosedPipeError(unit->osError()) && stopIsAbort()) continue;
    if (result != 0) fatalReport(result, unit->number(), unit->path());
  }
}

}  // namespace recio

// The unit table: connecting unit numbers to files, disconnecting them, and closing
// everything when the run ends.
#include "recio/units/unit_table.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include <string_view>

#include "recio/settings/settings.h"
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
//
// The files that units have read this run are remembered, so that no unit opened for
// writing replaces one of them: a table named as its own model would destroy it.
struct UnitTable {
  std::mutex lock;
  std::atomic<Unit*> units[kMaxUnits] = {};
  // The last kFilesRemembered files read, the oldest replaced first.
  static constexpr std::size_t kFilesRemembered = 32;
  platform::FileIdentity filesRead[kFilesRemembered];
  std::size_t filesReadCount = 0;
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

// The whole name, leading blanks skipped, trailing blanks and NULs removed: a name cut
// short would open another file than the one named, and could replace it.
std::string_view writtenFileName(const char* name, std::size_t length) {
  if (name == nullptr) length = 0;
  while (length > 0 && *name == ' ') {
    ++name;
    --length;
  }
  while (length > 0 && (name[length - 1] == ' ' || name[length - 1] == '\0')) --length;
  return std::string_view(name, length);
}

bool hasBeenRead(UnitTable& table, const platform::FileIdentity& identity) {
  std::lock_guard<std::mutex> guard(table.lock);
  const std::size_t remembered =
      table.filesReadCount < UnitTable::kFilesRemembered ? table.filesReadCount : UnitTable::kFilesRemembered;
  for (std::size_t index = 0; index < remembered; ++index) {
    if (table.filesRead[index] == identity) return true;
  }
  return false;
}

}  // namespace

std::string fullFileName(const char* name, std::size_t length) {
  return platform::fullPath(writtenFileName(name, length), kMaxPathLength);
}

std::int32_t openUnit(const OpenRequest& request) {
  // The file is opened by its name as written, which the system resolves through any
  // links on the way; the tidied full path only names it in messages.
  const std::string_view written = writtenFileName(request.fileName, request.fileNameLength);
  std::string path = platform::fullPath(written, kMaxPathLength);

  const bool forReading = request.action == kActionRead;
  if (request.unitNumber == kConsoleUnit) return failOpen(request, kMsgOpenFailure, path);

  // A name with a NUL inside cannot reach the operating system as written.
  if (written.find('\0') != std::string_view::npos) return failOpen(request, kMsgFileNameError, path);

  if (written.empty()) return failOpen(request, kMsgFileNotFound, path);
  // Opening a connected number connects it anew: the old connection is written out and
  // closed first, as by a close statement, so that the same file can be opened again. A
  // failure to write it out (38) is the open's, and reported as the close would.
  if (const std::int32_t closed = closeUnit(request.unitNumber, request.handlesErrors); closed != 0) return closed;
  // The process's standard output, named as such, is written where the shell left it.
  const platform::FileHandle standardOutput = forReading ? platform::kNoFile : platform::standardOutputNamed(path);
  platform::OpenResult opened;
  if (standardOutput != platform::kNoFile) {
    opened.handle = standardOutput;
  } else {
    opened =
        platform::openFile(std::string(written), forReading ? platform::OpenMode::Read : platform::OpenMode::Write);
  }
  if (opened.failure != platform::Failure::None) {
    return failOpen(request, messageForOpenFailure(opened.failure), path);
  }
  const bool closesHandle = standardOutput == platform::kNoFile;
  auto closeOpened = [&] {
    int ignored = 0;
    if (closesHandle) platform::closeFile(opened.handle, ignored);
  };

  UnitTable& table = unitTable();
  platform::FileIdentity identity;
  const bool identified = platform::fileIdentity(opened.handle, identity);
  // Nothing has been written yet: the file is untouched.
  if (!forReading && identified && hasBeenRead(table, identity)) {
    closeOpened();
    return failOpen(request, kMsgWriteOverInput, path);
  }

  const IoSettings& io = ioSettings();
  std::int32_t settingError = io.blockSizeInvalid               ? kMsgBlockSizeSyntax
                              : io.bufferCountInvalid           ? kMsgBufferCountSyntax
                              : io.formattedRecordLengthInvalid ? kMsgReclSyntax
                                                                : 0;
  if (settingError != 0) {
    closeOpened();
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
  connection.closesHandle = closesHandle;
  connection.isDiskFile = platform::isDiskFile(opened.handle);
  bool appending = false;
  if (!forReading && connection.isDiskFile && !closesHandle &&
      !platform::writePosition(opened.handle, connection.startOffset, appending)) {
    // Without its position, a failed write could not be cut back to its records alone.
    connection.isDiskFile = false;
  }
  // A file that is appended to keeps what it held.
  connection.truncateAtFirstWrite = !forReading && connection.isDiskFile && !appending;

  Unit* unit = new (std::nothrow) Unit(std::move(connection));
  if (unit == nullptr) {
    closeOpened();
    return failOpen(request, kMsgNoMemory, connection.path);
  }

  std::int32_t result = 0;
  {
    std::lock_guard<std::mutex> guard(table.lock);
    // Another thread may have connected the number since it was closed above: the
    // first connection keeps it.
    if (findSlot(table, request.unitNumber) != nullptr) {
      result = kMsgOpenFailure;
    } else if (std::atomic<Unit*>* slot = freeSlot(table)) {
      *slot = unit;
      if (forReading && identified) {
        table.filesRead[table.filesReadCount++ % UnitTable::kFilesRemembered] = identity;
      }
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

void forgetFilesReadForTests() {
  UnitTable& table = unitTable();
  std::lock_guard<std::mutex> guard(table.lock);
  table.filesReadCount = 0;
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

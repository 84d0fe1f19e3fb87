// The unit table: connecting unit numbers to files, disconnecting them, and closing
// everything when the run ends.
#include "recio/units.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "recio/console.h"
#include "recio/messages.h"
#include "recio/settings.h"
#include "recio/stop.h"

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
    if (unit != nullptr && unit->number == number) return &slot;
  }
  return nullptr;
}

std::atomic<Unit*>* freeSlot(UnitTable& table) {
  for (std::atomic<Unit*>& slot : table.units) {
    if (slot.load(std::memory_order_relaxed) == nullptr) return &slot;
  }
  return nullptr;
}

// Status and action texts: upper case, trailing blanks removed (one character kept
// at least), leading blanks significant.
std::int32_t matchKeywordText(const char* text, std::size_t length, const char* const* names, int count) {
  while (length > 1 && text[length - 1] == ' ') --length;
  for (int index = 0; index < count; ++index) {
    const char* name = names[index];
    if (std::strlen(name) != length) continue;
    bool same = true;
    for (std::size_t at = 0; at < length && same; ++at) {
      char c = text[at];
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      same = c == name[at];
    }
    if (same) return index + 1;
  }
  return 0;
}

constexpr const char* kStatusNames[] = {"OLD", "NEW", "SCRATCH", "UNKNOWN", "REPLACE"};
constexpr const char* kActionNames[] = {"READ", "READWRITE", "WRITE"};

std::int32_t failOpen(const OpenRequest& request, std::int32_t message, const std::string& path) {
  if (!request.handlesErrors) fatalReport(message, request.unitNumber, path);
  return message;
}

// Writes out the block buffer; 0 or 38.
std::int32_t writeOutPending(Unit& unit) {
  if (unit.blockUsed == 0) return 0;
  return writeOutBlock(unit) ? 0 : kMsgWriteError;
}

// Writes out, cuts a file whose first record never came (so that a run writing no
// record leaves an empty file, not the previous run's), closes and frees. 0 or 38.
std::int32_t disconnect(Unit& unit) {
  std::int32_t result = writeOutPending(unit);
  if (unit.truncateAtFirstWrite && unit.access == Access::Write) {
    unit.truncateAtFirstWrite = false;
    if (!platform::truncateHere(unit.handle, unit.osError) && result == 0) result = kMsgWriteError;
  }
  if (unit.closesHandle && unit.handle != platform::kNoFile) {
    if (!platform::closeFile(unit.handle, unit.osError) && result == 0) result = kMsgWriteError;
  }
  unit.handle = platform::kNoFile;
  std::free(unit.input.data);
  std::free(unit.record.data);
  std::free(unit.block);
  unit.input = InputBuffer{};
  unit.record = OutputRecord{};
  unit.block = nullptr;
  return result;
}

}  // namespace

std::int32_t openStatement(std::int32_t unitNumber, bool handlesErrors, const KeywordItem* items,
                           const KeywordValue* values) {
  OpenRequest request;
  request.unitNumber = unitNumber;
  request.handlesErrors = handlesErrors;
  const char* statusText = nullptr;
  std::size_t statusLength = 0;
  const char* actionText = nullptr;
  std::size_t actionLength = 0;

  for (int index = 0; !(items[index].bytes[0] == 1 && items[index].bytes[2] == 0); ++index) {
    const KeywordItem& item = items[index];
    const KeywordValue& value = values[index];
    const bool isText = item.bytes[0] == kKeywordKindCharacter;
    const auto length = static_cast<std::size_t>(value.word0 < 0 ? 0 : value.word0);
    const char* text = static_cast<const char*>(value.word1);
    switch (item.bytes[2]) {
      case kKeywordFile:
        request.fileName = text;
        request.fileNameLength = length;
        break;
      case kKeywordStatus:
        if (isText) {
          statusText = text;
          statusLength = length;
        } else {
          request.status = static_cast<std::int32_t>(value.word0);
        }
        break;
      case kKeywordAction:
        if (isText) {
          actionText = text;
          actionLength = length;
        } else {
          request.action = static_cast<std::int32_t>(value.word0);
        }
        break;
      default:
        break;
    }
  }

  bool keywordError = false;
  if (statusText != nullptr) {
    request.status = matchKeywordText(statusText, statusLength, kStatusNames, 5);
    keywordError = keywordError || request.status == 0;
  }
  if (actionText != nullptr) {
    request.action = matchKeywordText(actionText, actionLength, kActionNames, 3);
    keywordError = keywordError || request.action == 0;
  }
  if (keywordError) {
    std::string_view name(request.fileName != nullptr ? request.fileName : "", request.fileNameLength);
    return failOpen(request, kMsgKeywordValue, platform::fullPath(name, kMaxPathLength));
  }
  return openUnit(request);
}

std::int32_t openUnit(const OpenRequest& request) {
  // The name: at most 256 characters, leading blanks skipped, trailing blanks and NULs removed.
  std::size_t length = request.fileName != nullptr ? request.fileNameLength : 0;
  if (length > kMaxPathLength) length = kMaxPathLength;
  const char* name = request.fileName;
  while (length > 0 && *name == ' ') {
    ++name;
    --length;
  }
  while (length > 0 && (name[length - 1] == ' ' || name[length - 1] == '\0')) --length;
  std::string path = platform::fullPath(std::string_view(name, length), kMaxPathLength);

  const bool forReading = request.action == kActionRead;
  if (request.unitNumber == kConsoleUnit) return failOpen(request, kMsgOpenFailure, path);

  // A name with a NUL inside cannot reach the operating system as written.
  if (std::memchr(path.data(), '\0', path.size()) != nullptr) return failOpen(request, kMsgFileNameError, path);

  platform::OpenResult opened;
  if (path.empty()) {
    opened.message = kMsgFileNotFound;
  } else {
    opened = platform::openFile(path, forReading ? platform::OpenMode::Read : platform::OpenMode::Write);
  }
  if (opened.message != 0) return failOpen(request, opened.message, path);

  const IoSettings& io = ioSettings();
  std::int32_t settingError = io.blockSizeInvalid            ? kMsgBlockSizeSyntax
                              : io.bufferCountInvalid        ? kMsgBufferCountSyntax
                              : io.formattedRecordLengthInvalid ? kMsgReclSyntax
                                                                : 0;
  if (settingError != 0) {
    int ignored = 0;
    platform::closeFile(opened.handle, ignored);
    return failOpen(request, settingError, path);
  }

  Unit* unit = new (std::nothrow) Unit;
  if (unit == nullptr) {
    int ignored = 0;
    platform::closeFile(opened.handle, ignored);
    return failOpen(request, kMsgNoMemory, path);
  }
  unit->number = request.unitNumber;
  unit->path = std::move(path);
  unit->handle = opened.handle;
  unit->access = forReading ? Access::Read : Access::Write;
  unit->format = recordFormatFor(request.unitNumber);
  unit->buffered = environmentIsTrue("XIOT_BUFFERED");
  unit->blockSize = io.blockSize;
  unit->bufferCount = io.bufferCount;
  unit->recordLength = io.formattedRecordLength;
  unit->isDiskFile = platform::isDiskFile(opened.handle);
  unit->truncateAtFirstWrite = !forReading && unit->isDiskFile;

  UnitTable& table = unitTable();
  std::int32_t result = 0;
  {
    std::lock_guard<std::mutex> guard(table.lock);
    // Opening a connected number connects it anew: the old connection is closed first.
    if (std::atomic<Unit*>* old = findSlot(table, request.unitNumber)) {
      Unit* previous = *old;
      *old = nullptr;
      std::lock_guard<std::mutex> unitGuard(previous->lock);
      disconnect(*previous);
    }
    if (std::atomic<Unit*>* slot = freeSlot(table)) {
      *slot = unit;
    } else {
      result = kMsgOpenFailure;
    }
  }
  if (result != 0) {
    std::string failedPath = unit->path;
    disconnect(*unit);
    delete unit;
    return failOpen(request, result, failedPath);
  }
  return 0;
}

std::int32_t closeUnit(std::int32_t unitNumber, bool handlesErrors) {
  UnitTable& table = unitTable();
  Unit* unit = nullptr;
  {
    std::lock_guard<std::mutex> guard(table.lock);
    std::atomic<Unit*>* slot = findSlot(table, unitNumber);
    if (slot == nullptr) return 0;  // closing a unit that is not connected does nothing
    unit = *slot;
    *slot = nullptr;
  }
  std::int32_t result = 0;
  {
    std::lock_guard<std::mutex> unitGuard(unit->lock);
    result = disconnect(*unit);
  }
  std::string path = std::move(unit->path);
  delete unit;
  if (result != 0 && !handlesErrors) fatalReport(result, unitNumber, path);
  return result;
}

Unit* acquireUnit(std::int32_t unitNumber) {
  UnitTable& table = unitTable();
  if (std::atomic<Unit*>* slot = findSlot(table, unitNumber)) {
    if (Unit* unit = slot->load(std::memory_order_acquire)) {
      unit->lock.lock();
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
          disconnect(*unit);
          delete unit;
          unit = nullptr;
        }
      }
    }
  }
  if (unit != nullptr) unit->lock.lock();
  return unit;
}

void releaseUnit(Unit& unit) { unit.lock.unlock(); }

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
    unit->lock.lock();
    // A unit that cannot be written out is reported (the run then ends with 38), and
    // the others are still written out and closed.
    if (std::int32_t result = disconnect(*unit); result != 0) fatalReport(result, unit->number, unit->path);
  }
}

}  // namespace recio

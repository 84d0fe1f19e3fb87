// Connections of unit numbers to files and to the console, and the records that
// cross them. Every operation returns 0 or a message number; the ones that take an
// error-handling flag raise the fatal report themselves when the flag is clear.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "recio/outcome.h"
#include "recio/platform.h"

namespace recio {

constexpr std::int32_t kConsoleUnit = -1;
constexpr std::size_t kMaxPathLength = 256;

enum class Access : std::uint8_t { Read, Write };
enum class RecordFormat : std::uint8_t { CrLf, Lf, Cr, None };

enum OpenStatus : std::int32_t {
  kStatusAbsent = 0, kStatusOld = 1, kStatusNew = 2, kStatusScratch = 3, kStatusUnknown = 4, kStatusReplace = 5,
};
enum OpenAction : std::int32_t {
  kActionAbsent = 0, kActionRead = 1, kActionReadWrite = 2, kActionWrite = 3,
};

struct OpenRequest {
  std::int32_t unitNumber = 0;
  const char* fileName = nullptr;
  std::size_t fileNameLength = 0;
  std::int32_t status = kStatusAbsent;
  std::int32_t action = kActionAbsent;
  bool handlesErrors = false;
};

// Bytes read from a file: the current record [recordBegin, recordEnd), and the
// bytes read beyond it, [next, end), that later records are cut from.
struct InputBuffer {
  char* data = nullptr;
  std::size_t capacity = 0;
  std::size_t recordBegin = 0;
  std::size_t recordEnd = 0;
  std::size_t next = 0;
  std::size_t end = 0;
  bool reachedEndOfFile = false;  // the file has delivered its last byte
};

// The output record being built by a write statement. It only ever grows.
struct OutputRecord {
  char* data = nullptr;
  std::size_t capacity = 0;
};

struct Unit {
  std::int32_t number = 0;
  std::string path;  // full path as resolved at the open: the %s of every message about the unit
  platform::FileHandle handle = platform::kNoFile;
  bool closesHandle = true;  // false for the process's own standard output
  Access access = Access::Read;
  RecordFormat format = RecordFormat::CrLf;
  bool buffered = false;
  std::int32_t blockSize = 0;
  std::int32_t bufferCount = 1;
  std::int32_t recordLength = 0;  // 0: none given, records grow without limit
  bool noWrapMargin = false;      // free-format lines are not wrapped at 80 columns
  bool truncateAtFirstWrite = false;
  bool pendingOutput = false;
  int osError = 0;  // the operating system's code of the last failed read or write

  // Output to a disk file, counted from the start of the connection: the bytes handed
  // over so far (buffered ones included), and the end of the last whole record that has
  // reached the file. A failed write cuts the file back to that end, so that the file
  // never ends in a torn record.
  bool isDiskFile = false;
  std::uint64_t bytesHandedOver = 0;
  std::uint64_t wholeRecordBytes = 0;

  InputBuffer input;
  OutputRecord record;
  char* block = nullptr;  // buffered output
  std::size_t blockCapacity = 0;
  std::size_t blockUsed = 0;

  // Held by a transfer statement from its beginning to its end.
  std::mutex lock;
};

// Compiled keyword list of an open statement: 4-byte items, each with its value at
// the same index of the value list; the list ends with the item 01 00 00 00.
struct KeywordItem {
  std::uint8_t bytes[4];  // value kind, value form, keyword code, 0
};
struct KeywordValue {
  std::intptr_t word0;  // character value: its length; integer constant: the value
  const void* word1;    // character value: the address of its characters
};
constexpr std::uint8_t kKeywordKindCharacter = 0x38;
constexpr std::uint8_t kKeywordKindInteger = 0x09;
constexpr std::uint8_t kKeywordFile = 0x0D;
constexpr std::uint8_t kKeywordStatus = 0x1A;
constexpr std::uint8_t kKeywordAction = 0x3A;

// Compiles a keyword list into an OpenRequest and opens it. A status or action text
// that matches no keyword value fails with 45.
std::int32_t openStatement(std::int32_t unitNumber, bool handlesErrors, const KeywordItem* items,
                           const KeywordValue* values);
std::int32_t openUnit(const OpenRequest& request);
std::int32_t closeUnit(std::int32_t unitNumber, bool handlesErrors);

// A statement's hold on a unit: finds the connection (connecting the console unit on
// its first use) and takes its lock. nullptr when the number is not connected.
Unit* acquireUnit(std::int32_t unitNumber);
void releaseUnit(Unit& unit);

// Appends the unit's terminator to the record and hands it over: at once in one
// write call, or into the block buffer when the unit is buffered. 0 or 38.
std::int32_t putRecord(Unit& unit, const char* bytes, std::size_t count);

// Writes out the block buffer of a buffered unit; false (with the unit's osError set)
// when the write fails, after cutting a disk file back to its last whole record.
bool writeOutBlock(Unit& unit);

// Makes the next input record current (InputBuffer::recordBegin..recordEnd).
// 0, or 24 at end of file, 39 when the read fails, 98 when the buffer cannot grow.
std::int32_t getRecord(Unit& unit);

// Grows the unit's output record to at least `capacity` bytes, keeping its contents.
// False when the memory cannot be had.
bool reserveRecord(Unit& unit, std::size_t capacity);

// Writes out pending output and closes every connected unit, once per run.
void closeAllUnits();

// Terminator bytes of a record format.
struct Terminator {
  char bytes[2];
  std::uint8_t length;
};
Terminator terminatorOf(RecordFormat format);

// Record format for a formatted sequential unit connected now, by XIO_FMT_TERMINATOR
// (read on the first call; a malformed value is warned about once and ignored).
RecordFormat recordFormatFor(std::int32_t unitNumber);

// For tests: the first capacity of a unit's input buffer and the largest it may grow
// to before a doubling counts as failed (error 98). 0 restores the default.
void setInputBufferLimits(std::size_t initialCapacity, std::size_t maximumCapacity);

}  // namespace recio

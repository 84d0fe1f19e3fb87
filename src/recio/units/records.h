// The records that cross a unit: output records handed to the operating system with
// the unit's terminator, input records cut from the bytes read. Each returns 0 or a
// message number; the statements that call them decide whether that is reported.
#pragma once

#include <cstddef>
#include <cstdint>

#include "recio/units/unit.h"

namespace recio {

// Appends the unit's terminator to the record and hands it over: at once in one
// write call, or into the block buffer when the unit is buffered. 0 or 38.
std::int32_t putRecord(Unit& unit, const char* bytes, std::size_t count);

// Writes out the block buffer of a buffered unit; false (with the unit's system error
// code kept) when the write fails, after cutting a disk file back to its last whole record.
bool writeOutBlock(Unit& unit);

// Makes the next input record current (Unit::currentRecord).
// 0, or 24 at end of file, 39 when the read fails, 98 when the buffer cannot grow.
std::int32_t getRecord(Unit& unit);

// The file offset where the next input record begins: the first byte that no record
// has been cut from.
std::uint64_t inputOffset(const Unit& unit);

// Makes the next input record begin at `offset`, at or after inputOffset, of a disk
// file. False, with nothing changed, when the file cannot be positioned there.
bool moveInputTo(Unit& unit, std::uint64_t offset);

// The first capacity of every unit's input buffer: a line that fits it with its
// terminator is read without the buffer ever growing.
std::size_t initialInputCapacity();

// Grows the unit's output record to at least `capacity` bytes, keeping its contents.
// False when the memory cannot be had.
bool reserveRecord(Unit& unit, std::size_t capacity);

// For tests: the first capacity of a unit's input buffer and the largest it may grow
// to before a doubling counts as failed (error 98). 0 restores the default.
void setInputBufferLimits(std::size_t initialCapacity, std::size_t maximumCapacity);

}  // namespace recio

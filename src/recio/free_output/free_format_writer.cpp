// Free-format output of message lines.
#include "recio/free_output/free_format_writer.h"

#include <cstring>

#include "recio/stop/messages.h"
#include "recio/stop/stop.h"
#include "recio/units/terminator_setting.h"
#include "recio/units/unit.h"

namespace recio {
namespace {

// Line lengths are 16-bit quantities.
constexpr std::size_t kLongestLine = 65535;

}  // namespace

std::size_t freeFormatLineLength(const Unit& unit) {
  const std::size_t recordLength = static_cast<std::size_t>(unit.recordLength());
  if (unit.noWrapMargin()) {
    std::size_t capacity = unit.blockBytes();
    if (recordLength + 4 > capacity) capacity = recordLength + 4;
    return capacity > kLongestLine ? kLongestLine : capacity;
  }
  if (recordLength == 0) return 80;
  // A record must hold its blank and at least one character of an item, or a long
  // item would never make progress.
  return recordLength < 2 ? 2 : recordLength;
}

void FreeFormatWriter::begin(std::int32_t unitNumber) {
  unit_ = hold_.take(unitNumber);
  if (unit_ == nullptr) fatalReport(kMsgOpenFailure, unitNumber, "");
  lineLength_ = freeFormatLineLength(*unit_);
  if (!unit_->reserveRecord(lineLength_)) fail(kMsgRecordOverflow);
  startRecord();
}

void FreeFormatWriter::transfer(const TransferItem& item) {
  if (item.type() == kTypeCharacter && item.form() == kFormLengthAddress) {
    const auto* block = static_cast<const LengthAddressBlock*>(item.argument);
    const std::size_t length = block->length > 0 ? static_cast<std::size_t>(block->length) : 0;
    place(static_cast<const char*>(block->address), length);
  }
  if (!item.isLast()) return;
  // The last record of a statement is always written, even when it holds only its blank.
  if (length_ == 0 && blankPending_) putBlank();
  if (!endRecord()) fail(kMsgWriteError);
  unit_ = nullptr;
  hold_.release();
}

void FreeFormatWriter::place(const char* text, std::size_t length) {
  std::size_t room = lineLength_ - length_;
  // Whether the item fits is judged before the record's blank: an item as long as a line
  // begins in a fresh record, after its blank, instead of leaving a record of the blank alone.
  const std::size_t roomAtStart = room;
  if (blankPending_ && length <= room) {
    putBlank();
    --room;
  }
  // An item that does not fit the rest of a record that already holds text starts a new one.
  if (length > roomAtStart && length_ > 0) {
    if (!endRecord()) fail(kMsgWriteError);
    startRecord();
    room = lineLength_;
  }
  // Longer than a line: fill whole records with it.
  while (room < length) {
    if (blankPending_) {
      putBlank();
      --room;
    }
    copy(text, room);
    text += room;
    length -= room;
    if (!endRecord()) fail(kMsgWriteError);
    startRecord();
    room = lineLength_;
  }
  if (blankPending_) {
    putBlank();
    --room;
    if (length > room) {
      copy(text, room);
      text += room;
      length -= room;
      if (!endRecord()) fail(kMsgWriteError);
      startRecord();
      putBlank();
    }
  }
  copy(text, length);
}

void FreeFormatWriter::putBlank() {
  unit_->outputRecord()[length_++] = ' ';
  blankPending_ = false;
}

void FreeFormatWriter::copy(const char* text, std::size_t count) {
  if (count > 0) std::memcpy(unit_->outputRecord() + length_, text, count);
  length_ += count;
}

bool FreeFormatWriter::endRecord() { return unit_->putRecord(unit_->outputRecord(), length_) == 0; }

void FreeFormatWriter::startRecord() {
  length_ = 0;
  blankPending_ = true;
}

void FreeFormatWriter::fail(std::int32_t message) {
  unit_ = nullptr;
  hold_.releaseAndReport(message);
  // A severe report returns only to a thread that is already ending the run.
  runStop(message);
}

}  // namespace recio

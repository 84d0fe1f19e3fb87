// The read statement: its begin and end, its items and the storing of their values,
// and the path that nearly every value takes (blanks, then a plain number, cut into
// the parts its conversion takes), kept in one place so that a statement of one value
// costs little more than its conversion.
#include "recio/reader/reader.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string_view>

#include "recio/decimal/decimal.h"
#include "recio/reader/byte_classes.h"
#include "recio/reader/plain_line.h"
#include "recio/reader/plain_number.h"
#include "recio/reader/quick_lines.h"
#include "recio/stop/messages.h"
#include "recio/stop/stop.h"
#include "recio/units/unit.h"

namespace recio {

using reader::isBlank;

namespace {

constexpr std::int32_t kIntegerMinimum = std::numeric_limits<std::int32_t>::min();

// Element sizes as shifts: a division per item would cost more than the rest of it.
constexpr unsigned kInteger32Shift = 2;
constexpr unsigned kReal64Shift = 3;
static_assert(sizeof(std::int32_t) == 1u << kInteger32Shift && sizeof(double) == 1u << kReal64Shift);

// A real value stored into an integer item: truncated toward zero; a value that has no
// 32-bit integer (out of range, infinite or NaN) stores the most negative integer.
std::int32_t truncateToInteger32(double value) {
  // Both bounds are exact doubles; every value strictly between them truncates into
  // range, and NaN fails both comparisons.
  if (value > -2147483649.0 && value < 2147483648.0) return static_cast<std::int32_t>(value);
  return kIntegerMinimum;
}

}  // namespace

FreeFormatReader::FreeFormatReader() = default;

FreeFormatReader::~FreeFormatReader() = default;

IoOutcome FreeFormatReader::beginStatement(std::int32_t unitNumber, std::uint32_t options, const TransferItem& first) {
  if (const IoOutcome outcome = startStatement(unitNumber, options); outcome != kSuccess) return outcome;
  return transferItem(first);
}

IoOutcome FreeFormatReader::readReal(std::int32_t unitNumber, std::uint32_t options, double* target) {
  if (const IoOutcome outcome = startStatement(unitNumber, options); outcome != kSuccess) return outcome;
  if (double value; reader::plainRecordValue(cursor_, recordEnd_, value)) {
    *target = value;
    ++plainRecordsRead_;
    return endStatement();
  }
  LengthAddressBlock block = realArrayBlock(target, 1);
  return transferItem(arrayItem(kTypeReal64, block, kFollowLast));
}

std::size_t FreeFormatReader::readPlainReals(std::int32_t unitNumber, double* const* targets, std::size_t count) {
  // An unconnected unit is readReal's to report.
  Unit* const unit = hold_.take(unitNumber);
  if (unit == nullptr) return 0;
  double* const* target = targets;
  const std::size_t taken = unit->takeBufferedLines(
      count,
      [&](const char* begin, const char* end, char terminator, std::size_t most) {
        double* const* next = target;
        const char* const linesEnd = reader::quickLines(begin, end, terminator, most, [&next](double value) {
          **next++ = value;
          return true;
        });
        const auto lines = static_cast<std::size_t>(next - target);
        target = next;
        quickLinesRead_ += lines;
        return LinesTaken{lines, linesEnd};
      },
      [&target](const char* begin, const char* end) {
        double value;
        if (!reader::plainRecordValue(begin, end, value)) return false;
        **target++ = value;
        return true;
      });
  plainRecordsReadInRuns_ += taken;
  hold_.endStatement();
  return taken;
}

// Takes the unit and makes its next record current: the part of every statement before
// its first item.
IoOutcome FreeFormatReader::startStatement(std::int32_t unitNumber, std::uint32_t options) {
  unitNumber_ = unitNumber;
  options_ = options;
  state_ = ScanState{};
  state_.newRecord = true;
  // A unit kept from the statement before is checked again here: whatever ran since it
  // ended (fetching the targets, say) may have let another thread begin a stop.
  unit_ = hold_.take(unitNumber);
  if (unit_ == nullptr) {
    // No file is connected to the number, so there is nothing to read from.
    if ((options & kHandlesErrors) != 0) return kMsgFileNotFound;
    fatalReport(kMsgFileNotFound, unitNumber, {});
    return kMsgFileNotFound;
  }
  // A statement always starts at a new record: the rest of the last one is dropped.
  if (std::int32_t error = nextRecord(); error != 0) return failStatement(error);
  return kSuccess;
}

IoOutcome FreeFormatReader::transferItem(const TransferItem& item) {
  ElementType type;
  unsigned elementShift;  // an array's element count is its byte length shifted by this
  if (item.type() == kTypeInteger32) {
    type = ElementType::Integer32;
    elementShift = kInteger32Shift;
  } else if (item.type() == kTypeReal64) {
    type = ElementType::Real64;
    elementShift = kReal64Shift;
  } else {
    return failStatement(kMsgConversion);  // no value of this input converts into it
  }

  if (item.form() == kFormScalarAddress) {
    void* address = static_cast<const AddressBlock*>(item.argument)->address;
    if (std::int32_t error = fillElement(type, address); error != 0) return failStatement(error);
  } else if (item.form() == kFormArray) {
    const auto* block = static_cast<const LengthAddressBlock*>(item.argument);
    const std::size_t count = block->length > 0 ? static_cast<std::size_t>(block->length) >> elementShift : 0;
    char* element = static_cast<char*>(const_cast<void*>(block->address));
    for (std::size_t index = 0; index < count; ++index, element += std::size_t{1} << elementShift) {
      if (std::int32_t error = fillElement(type, element); error != 0) return failStatement(error);
    }
  } else {
    return failStatement(kMsgConversion);
  }

  if (item.isLast()) return endStatement();
  return kSuccess;
}

// One item or array element: it takes a repeated value, the next value of the input,
// or nothing once a slash has ended the list. This and the two below it are the whole
// of a one-value statement: kept inline in transferItem, a value costs no calls of its
// own besides its scan and its conversion.
[[gnu::always_inline]] inline std::int32_t FreeFormatReader::fillElement(ElementType type, void* address) {
  std::int32_t error = 0;
  if (state_.slashSeen) {
    // Keeps its value.
  } else if (state_.repeatLeft > 0) {
    --state_.repeatLeft;
    error = storeValue(type, address);
  } else {
    error = findValue();
    if (error == 0) error = storeValue(type, address);
    // The pair's second number belongs to this double; it must be passed over before
    // the next value is sought.
    if (error == 0 && state_.parenOpen && state_.valueKind == ValueKind::Numeric && type == ElementType::Real64) {
      error = closePair();
    }
  }
  state_.newRecord = false;
  return error;
}

// The record's bytes lie in the unit's input buffer, which may have moved.
std::int32_t FreeFormatReader::nextRecord() {
  if (std::int32_t error = unit_->getRecord(); error != 0) return error;
  const RecordText record = unit_->currentRecord();
  recordBegin_ = record.begin;
  recordEnd_ = record.end;
  cursor_ = recordBegin_;
  return 0;
}

[[gnu::always_inline]] inline std::int32_t FreeFormatReader::findValue() {
  state_.partsCut = false;
  // Inside a pair the flags carry over from the value before the pair's comma.
  if (!state_.parenOpen) {
    state_.valueKind = ValueKind::None;
    state_.integerForm = false;
    state_.commaTaken = false;
    state_.prevEndedWithComma = false;
    state_.textBeforeRecord = false;
  }
  if (cursor_ < recordEnd_ && !isBlank(*cursor_)) {
    state_.textSeen = true;
  } else if (std::int32_t error = skipBlanks(); error != 0) {
    return error;
  }
  // The common value, a plain number, is taken without the general rules' loop.
  if (const reader::PlainToken plain = reader::plainNumberParts(cursor_, recordEnd_, parts_); plain.end != nullptr) {
    state_.token = {cursor_, static_cast<std::size_t>(plain.end - cursor_)};
    state_.partsCut = true;
    state_.integerForm = plain.integerForm;
    state_.valueKind = ValueKind::Numeric;
    cursor_ = plain.end;
    return 0;
  }
  return classifyValue();
}

[[gnu::always_inline]] inline std::int32_t FreeFormatReader::storeValue(ElementType type, void* address) {
  switch (state_.valueKind) {
    case ValueKind::None:  // after a slash
    case ValueKind::Null:
      return 0;
    case ValueKind::Logical:
    case ValueKind::Quoted:
      return kMsgConversion;
    case ValueKind::Numeric:
      break;
  }
  // A token that its scan has cut is converted from its parts, without a second scan.
  const Token& token = state_.token;
  const auto parseReal = [&] {
    return state_.partsCut ? decimal::parseReal64(parts_) : decimal::parseReal64(token.start, token.length);
  };
  if (type == ElementType::Real64) {
    const decimal::ParseResult<double> real = parseReal();
    if (real.status != decimal::ConversionStatus::Ok) return kMsgConversion;
    *static_cast<double*>(address) = real.value;
    return 0;
  }
  if (state_.integerForm) {
    const decimal::ParseResult<std::int32_t> integer =
        state_.partsCut ? decimal::parseInteger32(parts_) : decimal::parseInteger32(token.start, token.length);
    if (integer.status != decimal::ConversionStatus::Ok) return kMsgConversion;
    *static_cast<std::int32_t*>(address) = integer.value;
    return 0;
  }
  const decimal::ParseResult<double> real = parseReal();
  if (real.status != decimal::ConversionStatus::Ok) return kMsgConversion;
  *static_cast<std::int32_t*>(address) = truncateToInteger32(real.value);
  return 0;
}

IoOutcome FreeFormatReader::endStatement() {
  // The rest of the record and any repetitions left are dropped: the next statement
  // starts with a record of its own and a fresh state.
  unit_ = nullptr;
  hold_.endStatement();
  return kSuccess;
}

IoOutcome FreeFormatReader::failStatement(std::int32_t error) {
  unit_ = nullptr;
  const bool handled = error == kMsgEndOfFile ? (options_ & kHandlesEndOfFile) != 0 : (options_ & kHandlesErrors) != 0;
  if (handled) {
    hold_.release();
    return error == kMsgEndOfFile ? kEndOfFile : error;
  }
  hold_.releaseAndReport(error);
  return error;  // only when the run is already stopping
}

}  // namespace recio

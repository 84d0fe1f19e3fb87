// The read statement: its begin and end, its items and the storing of their values,
// and the path that nearly every value takes (blanks, then a plain number, cut into
// the parts its conversion takes), kept in one place so that a statement of one value
// costs little more than its conversion.
#include "recio/reader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>
#include <string_view>

#include "recio/decimal.h"
#include "recio/messages.h"
#include "recio/reader_bytes.h"
#include "recio/stop.h"
#include "recio/records.h"
#include "recio/unit_table.h"

namespace recio {

using reader_bytes::isBlank;
using reader_bytes::NumericByte;
using reader_bytes::ValueStart;

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

// The value of eight digits held one to a byte, the first digit in the lowest byte:
// neighbours are joined into pairs, pairs into fours and fours into the eight, each
// step one multiplication for every lane at once. No lane overflows: a pair is at most
// 99 in its byte, a four at most 9999 in its 16 bits.
constexpr std::uint64_t eightDigitsValue(std::uint64_t digits) {
  digits = (digits * 10 + (digits >> 8)) & 0x00FF00FF00FF00FF;
  digits = (digits * 100 + (digits >> 16)) & 0x0000FFFF0000FFFF;
  return (digits * 10000 + (digits >> 32)) & 0xFFFFFFFF;
}
static_assert(eightDigitsValue(0x0807060504030201) == 12345678);

constexpr std::array<std::uint64_t, 9> kDigitScales = [] {
  std::array<std::uint64_t, 9> scales{};
  std::uint64_t scale = 1;
  for (std::uint64_t& entry : scales) {
    entry = scale;
    scale *= 10;
  }
  return scales;
}();

// Steps over a run of digits and adds them to `value` (addWrittenDigit, eight at a
// time): eight bytes at a time while the record holds that many, so that neither the
// run's length nor its digits cost a branch per byte. Used for fractions, the long runs
// of real files; integer parts and exponents are short, and a plain loop over them is
// cheaper.
const char* fractionRun(const char* at, const char* end, std::uint64_t& value) {
  constexpr std::uint64_t kZeros = 0x3030303030303030;  // '0' in every byte
  constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7F;
  constexpr std::uint64_t kAboveNine = 0x7676767676767676;  // 0x80 - 10 in every byte
  constexpr std::uint64_t kHigh = 0x8080808080808080;
  while (end - at >= 8) {
    std::uint64_t word;
    std::memcpy(&word, at, sizeof word);
    const std::uint64_t offsets = word ^ kZeros;  // a digit's byte becomes 0..9
    // The top bit of a byte is set when its offset is 10 or more: by the addition for
    // offsets below 0x80 (masked first so that no carry crosses bytes), else by itself.
    const std::uint64_t others = (((offsets & kLow7) + kAboveNine) | offsets) & kHigh;
    if (others != 0) {
      const unsigned count = static_cast<unsigned>(std::countr_zero(others)) >> 3;
      // The run's digits moved to the top bytes: the bytes below become leading zeros.
      if (count != 0) value = value * kDigitScales[count] + eightDigitsValue(offsets << (64 - 8 * count));
      return at + count;
    }
    value = value * kDigitScales[8] + eightDigitsValue(offsets);
    at += 8;
  }
  for (unsigned digit = 0; at < end && (digit = decimal_syntax::digitValue(*at)) < 10; ++at) {
    value = addWrittenDigit(value, digit);
  }
  return at;
}

// Nearly every token has the plain shape [sign] digits [. digits] [letter [sign]
// digits], which meets every rule of a numeric token by its form. Such a token is
// taken in runs of digits rather than byte by byte, and the runs, with their digits
// added up on the way, are the parts that its conversion takes (whole only when an end
// is returned); its end, or nullptr for any other token (the rules then decide) and for
// one ended by '*' (a repeat count). `start` stands on a byte of the record.
const char* plainNumberEnd(const char* start, const char* end, bool& hasPoint, bool& hasExponent,
                           NumberParts& parts) {
  const auto run = [](const char* from, const char* to) {
    return std::string_view(from, static_cast<std::size_t>(to - from));
  };
  // Signed and unsigned numbers come in no predictable order: no branch for the sign.
  parts.negative = *start == '-';
  const char* at = start + static_cast<int>(*start == '+' || *start == '-');
  const char* const mantissa = at;
  std::uint64_t written = 0;
  for (unsigned digit = 0; at < end && (digit = decimal_syntax::digitValue(*at)) < 10; ++at) {
    written = addWrittenDigit(written, digit);
  }
  parts.integerDigits = run(mantissa, at);
  parts.fractionDigits = {};
  std::ptrdiff_t pointBytes = 0;
  if (at < end && *at == '.') {
    hasPoint = true;
    pointBytes = 1;
    const char* const fraction = at + 1;
    at = fractionRun(fraction, end, written);
    parts.fractionDigits = run(fraction, at);
  }
  if (at - mantissa == pointBytes) return nullptr;  // no mantissa digit
  parts.writtenDigits = written;
  parts.exponentDigits = {};
  parts.exponentValue = 0;
  parts.exponentNegative = false;
  if (at < end && reader_bytes::isExponentLetter(*at)) {
    hasExponent = true;
    ++at;
    if (at < end && (*at == '+' || *at == '-')) parts.exponentNegative = *at++ == '-';
    const char* const exponent = at;
    std::int64_t exponentValue = 0;
    for (unsigned digit = 0; at < end && (digit = decimal_syntax::digitValue(*at)) < 10; ++at) {
      exponentValue = addExponentDigit(exponentValue, digit);
    }
    if (at == exponent) return nullptr;
    parts.exponentDigits = run(exponent, at);
    parts.exponentValue = exponentValue;
  }
  if (at < end && reader_bytes::numericByte(*at) != NumericByte::End) return nullptr;
  return at;
}

}  // namespace

FreeFormatReader::FreeFormatReader() = default;

IoOutcome FreeFormatReader::beginStatement(std::int32_t unitNumber, std::uint32_t options,
                                           const TransferItem& first) {
  unitNumber_ = unitNumber;
  options_ = options;
  state_ = ScanState{};
  state_.newRecord = true;
  unit_ = acquireUnit(unitNumber);
  if (unit_ == nullptr) {
    // No file is connected to the number, so there is nothing to read from.
    if ((options & kHandlesErrors) != 0) return kMsgFileNotFound;
    fatalReport(kMsgFileNotFound, unitNumber, {});
    return kMsgFileNotFound;
  }
  // A statement always starts at a new record: the rest of the last one is dropped.
  if (std::int32_t error = nextRecord(); error != 0) return failStatement(error);
  return transferItem(first);
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
  if (std::int32_t error = getRecord(*unit_); error != 0) return error;
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
  if (reader_bytes::valueStart(*cursor_) == ValueStart::Numeric) {
    bool hasPoint = false;
    bool hasExponent = false;
    if (const char* tokenEnd = plainNumberEnd(cursor_, recordEnd_, hasPoint, hasExponent, parts_)) {
      state_.token = {cursor_, static_cast<std::size_t>(tokenEnd - cursor_)};
      state_.partsCut = true;
      state_.integerForm = !hasPoint && !hasExponent;
      state_.valueKind = ValueKind::Numeric;
      cursor_ = tokenEnd;
      return 0;
    }
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
    return state_.partsCut ? parseReal64(parts_) : parseReal64(token.start, token.length);
  };
  if (type == ElementType::Real64) {
    const ParseResult<double> real = parseReal();
    if (real.status != ConversionStatus::Ok) return kMsgConversion;
    *static_cast<double*>(address) = real.value;
    return 0;
  }
  if (state_.integerForm) {
    const ParseResult<std::int32_t> integer =
        state_.partsCut ? parseInteger32(parts_) : parseInteger32(token.start, token.length);
    if (integer.status != ConversionStatus::Ok) return kMsgConversion;
    *static_cast<std::int32_t*>(address) = integer.value;
    return 0;
  }
  const ParseResult<double> real = parseReal();
  if (real.status != ConversionStatus::Ok) return kMsgConversion;
  *static_cast<std::int32_t*>(address) = truncateToInteger32(real.value);
  return 0;
}

IoOutcome FreeFormatReader::endStatement() {
  // The rest of the record and any repetitions left are dropped: the next statement
  // starts with a record of its own and a fresh state.
  Unit* unit = unit_;
  unit_ = nullptr;
  releaseUnit(*unit);
  return kSuccess;
}

IoOutcome FreeFormatReader::failStatement(std::int32_t error) {
  state_.error = error;
  Unit* unit = unit_;
  unit_ = nullptr;
  const bool handled = error == kMsgEndOfFile ? (options_ & kHandlesEndOfFile) != 0 : (options_ & kHandlesErrors) != 0;
  if (handled) {
    releaseUnit(*unit);
    return error == kMsgEndOfFile ? kEndOfFile : error;
  }
  // The report closes every unit, which takes their locks: this statement's lock must
  // be given up first, so the name it reports is copied out of the unit beforehand.
  char path[kMaxPathLength];
  const std::size_t pathLength = std::min(unit->path().size(), sizeof path);
  std::memcpy(path, unit->path().data(), pathLength);
  releaseUnit(*unit);
  fatalReport(error, unitNumber_, std::string_view(path, pathLength));
  return error;  // only when the run is already stopping
}

}  // namespace recio

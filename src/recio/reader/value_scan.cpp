// The general rules of finding a value: blanks and record ends, commas and null
// values, slashes, numeric tokens checked rule by rule, and repeat counts.
#include "recio/reader/reader.h"

#include "recio/decimal/decimal.h"
#include "recio/reader/byte_classes.h"
#include "recio/stop/messages.h"

namespace recio {

using reader::isBlank;
using reader::NumericByte;
using reader::ValueStart;

// Moves the cursor to the next non-blank byte, fetching records as needed. The flags
// set at each record end let the comma rules tell a separator from a null value.
std::int32_t FreeFormatReader::skipBlanks() {
  for (;;) {
    while (cursor_ < recordEnd_) {
      if (!isBlank(*cursor_)) {
        state_.textSeen = true;
        return 0;
      }
      ++cursor_;
    }
    if (state_.textSeen) state_.textBeforeRecord = true;
    const char* last = recordEnd_;
    while (last > recordBegin_ && isBlank(last[-1])) --last;
    if (last > recordBegin_ && last[-1] == ',') state_.prevEndedWithComma = true;
    if (std::int32_t error = nextRecord(); error != 0) return error;
    state_.newRecord = true;
  }
}

// The comma under the cursor is a null value after another comma (only blanks and
// line ends between) or before any text of the statement; after a value it separates.
bool FreeFormatReader::commaIsNull() const {
  if (state_.commaTaken || state_.prevEndedWithComma) return true;
  if (state_.newRecord) return !state_.textBeforeRecord;
  const char* before = cursor_;
  while (before > recordBegin_ && isBlank(before[-1])) --before;
  return before > recordBegin_ && before[-1] == ',';
}

// The general rules for the value that starts at the non-blank byte under the cursor.
std::int32_t FreeFormatReader::classifyValue() {
  // Blanks are skipped before each byte is classified, except the first one (the
  // cursor stands on a non-blank byte) and the one after a repeat count's '*' (a
  // blank there made the value null).
  bool skipBlanksFirst = false;
  bool countTaken = false;
  for (;;) {
    if (skipBlanksFirst) {
      if (std::int32_t error = skipBlanks(); error != 0) return error;
    }
    skipBlanksFirst = true;
    switch (reader::valueStart(*cursor_)) {
      case ValueStart::Numeric:
        break;
      case ValueStart::Comma: {
        const bool isNull = commaIsNull();
        state_.newRecord = false;
        ++cursor_;
        if (isNull) {
          state_.valueKind = ValueKind::Null;
          return 0;
        }
        state_.commaTaken = true;
        continue;
      }
      case ValueStart::Slash:
        state_.slashSeen = true;
        state_.valueKind = ValueKind::None;
        return 0;
      case ValueStart::Quote:
        return scanQuoted(*cursor_);
      case ValueStart::OpenParen:
        if (state_.parenOpen) return kMsgSyntax;
        state_.parenOpen = true;
        ++cursor_;
        continue;
      case ValueStart::CloseParen:
        return kMsgSyntax;
      case ValueStart::Logical:
        // A logical value converts into none of the items.
        state_.valueKind = ValueKind::Logical;
        return kMsgConversion;
      case ValueStart::Point:
        if (cursor_ + 1 < recordEnd_ && reader::isLogicalLetter(cursor_[1])) {
          state_.valueKind = ValueKind::Logical;
          return kMsgConversion;
        }
        break;
    }

    bool endsWithStar = false;
    if (std::int32_t error = scanNumericToken(endsWithStar); error != 0) return error;
    if (!endsWithStar) {
      state_.valueKind = ValueKind::Numeric;
      return 0;
    }
    // A value carries at most one repeat count.
    if (countTaken) return kMsgSyntax;
    countTaken = true;
    const decimal::ParseResult<std::int32_t> count = decimal::parseInteger32(state_.token.start, state_.token.length);
    if (count.status != decimal::ConversionStatus::Ok) return kMsgConversion;
    // The current item takes the value as well; a count of 0 or below gives it to
    // this item only.
    state_.repeatLeft = count.value > 1 ? count.value - 1 : 0;
    ++cursor_;  // the '*'
    if (cursor_ == recordEnd_) {
      state_.valueKind = ValueKind::Null;
      return 0;
    }
    if (*cursor_ == ' ' || *cursor_ == '\t' || *cursor_ == ',') {
      ++cursor_;
      state_.valueKind = ValueKind::Null;
      return 0;
    }
    skipBlanksFirst = false;
  }
}

// Cuts the numeric token that starts at the cursor and checks it rule by rule; the
// cursor stops on the byte that ended it. The token is converted later, where it lies.
std::int32_t FreeFormatReader::scanNumericToken(bool& endsWithStar) {
  const char* const start = cursor_;
  const char* const end = recordEnd_;
  endsWithStar = false;

  const char* at = start;
  bool signSeen = false;
  bool digitSinceSign = false;  // a digit after the last sign, or since the start
  bool hasPoint = false;
  bool hasExponent = false;
  for (; at < end; ++at) {
    switch (reader::numericByte(*at)) {
      case NumericByte::Digit:
        digitSinceSign = true;
        continue;
      case NumericByte::Sign:
        if (signSeen && !digitSinceSign) return kMsgSyntax;
        signSeen = true;
        digitSinceSign = false;
        continue;
      case NumericByte::Point:
        if (hasPoint) return kMsgSyntax;
        hasPoint = true;
        continue;
      case NumericByte::ExponentLetter:
        if (hasExponent || !digitSinceSign) return kMsgSyntax;
        hasExponent = true;
        continue;
      case NumericByte::WordLetter: {
        if (!(at == start || (at == start + 1 && signSeen))) return kMsgSyntax;
        // An infinity or NaN word runs to a byte that ends a token, over any '*' (no
        // repeat count ends in a word); a NaN's parenthesised group may hold such bytes
        // of its own, and one left open runs to the record's end.
        const bool nanWord = (*at | 0x20) == 'n';
        for (++at; at < end && !reader::endsToken(*at);) {
          if (nanWord && *at == '(') {
            const char* const groupEnd = reader::nanGroupEnd(at, end);
            at = groupEnd != nullptr ? groupEnd : end;
          } else {
            ++at;
          }
        }
        state_.token = {start, static_cast<std::size_t>(at - start)};
        state_.integerForm = true;
        cursor_ = at;
        return 0;
      }
      case NumericByte::End:
        break;
      case NumericByte::Star:
        endsWithStar = true;
        break;
      case NumericByte::Invalid:
        return kMsgSyntax;
    }
    break;
  }
  // A number needs a digit, and one after its last sign: "+", ".", "1e+" are not numbers.
  if (!digitSinceSign) return kMsgSyntax;
  state_.token = {start, static_cast<std::size_t>(at - start)};
  state_.integerForm = !hasPoint && !hasExponent;
  cursor_ = at;
  return 0;
}

}  // namespace recio

// The values with delimiters of their own: quoted text and the parenthesised pair.
// Neither converts into the program's items (a pair gives its first number), but both
// must be scanned to their end to tell a syntax error from the other outcomes.
#include "recio/reader/reader.h"

#include <cstring>

#include "recio/decimal/syntax.h"
#include "recio/reader/byte_classes.h"
#include "recio/stop/messages.h"

namespace recio {

using decimal::matchedLetters;

// The text runs to the next quote of the same kind; a doubled quote stands for one
// quote character, unless the first of the two ends its record. A record end inside
// the text adds nothing to it.
std::int32_t FreeFormatReader::scanQuoted(char quote) {
  ++cursor_;
  std::size_t length = 0;
  for (;;) {
    while (cursor_ < recordEnd_) {
      const char byte = *cursor_++;
      if (byte == quote) {
        if (cursor_ == recordEnd_ || *cursor_ != quote) {
          state_.valueKind = ValueKind::Quoted;
          state_.token = {text_, length};
          return kMsgConversion;  // text converts into none of the items
        }
        ++cursor_;
      }
      if (length == kTextCapacity - 1) return kMsgSyntax;
      text_[length++] = byte;
    }
    const std::int32_t error = nextRecord();
    if (error == kMsgEndOfFile) return kMsgSyntax;  // the text was left open
    if (error != 0) return error;
    state_.newRecord = true;
  }
}

// After the pair's first number has been stored: ", second )" with blanks and line
// ends around its parts. The second number is checked, never converted.
std::int32_t FreeFormatReader::closePair() {
  if (state_.repeatLeft > 0 && state_.token.start != text_) {
    // The value is repeated into later items, but the rest of the pair may lie on
    // later records, and fetching one gives the record buffer's bytes away. The
    // token is kept in the text buffer instead.
    if (state_.token.length >= kTextCapacity) return kMsgSyntax;
    std::memcpy(text_, state_.token.start, state_.token.length);
    state_.token.start = text_;
    state_.partsCut = false;  // the parts lie in the record buffer
  }
  if (std::int32_t error = skipBlanks(); error != 0) return error;
  if (*cursor_ != ',') return kMsgSyntax;
  ++cursor_;
  if (std::int32_t error = skipBlanks(); error != 0) return error;
  if (std::int32_t error = skipSecondNumber(); error != 0) return error;
  if (std::int32_t error = skipBlanks(); error != 0) return error;
  if (*cursor_ != ')') return kMsgSyntax;
  ++cursor_;
  state_.parenOpen = false;
  return 0;
}

// An optional sign, then an infinity or NaN word (as far as it matches, within the
// record), or digits with an optional fraction and an unsigned exponent.
std::int32_t FreeFormatReader::skipSecondNumber() {
  const char* at = cursor_;
  const char* const end = recordEnd_;
  if (at < end && (*at == '+' || *at == '-')) ++at;
  if (at == end) return kMsgSyntax;
  const char letter = static_cast<char>(*at | 0x20);
  if (letter == 'i') {
    at += matchedLetters(at, end, "infinity");
  } else if (letter == 'n') {
    at += matchedLetters(at, end, "nan");
    if (const char* groupEnd = reader::nanGroupEnd(at, end)) at = groupEnd;
  } else {
    if (!reader::isDigit(*at)) return kMsgSyntax;
    while (at < end && reader::isDigit(*at)) ++at;
    if (at < end && *at == '.') {
      ++at;
      while (at < end && reader::isDigit(*at)) ++at;
    }
    if (at < end && reader::isExponentLetter(*at)) {
      ++at;
      while (at < end && reader::isDigit(*at)) ++at;
    }
  }
  cursor_ = at;
  return 0;
}

}  // namespace recio

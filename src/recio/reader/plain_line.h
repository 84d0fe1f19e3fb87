// The plain line: one input record that a read statement of one real value takes by
// itself, through its common path, and with success: optional blanks, then a number of
// the plain shape that converts, then the record's end or a byte that ends a token.
// Whatever follows the token would be dropped with the statement.
#pragma once

#include "recio/decimal/decimal.h"
#include "recio/reader/byte_classes.h"
#include "recio/reader/plain_number.h"
#include "recio/units/terminator_search.h"

namespace recio::reader {

// [begin, end) is the record's text, as a unit makes it current. False for every other
// record: a blank one (the statement would go on into the next record), a null value, a
// slash, a quote or a parenthesis, a repeat count, a logical value, a number word, a
// token that breaks a rule or does not convert.
inline bool plainRecordValue(const char* begin, const char* end, double& value) {
  const char* at = begin;
  while (at < end && isBlank(*at)) ++at;
  decimal::NumberParts parts;
  if (at == end || plainNumberParts(at, end, parts).end == nullptr) return false;
  const decimal::ParseResult<double> real = decimal::parseReal64(parts);
  if (real.status != decimal::ConversionStatus::Ok) return false;
  value = real.value;
  return true;
}

// [begin, end) is the record as the file holds it, its terminator left out and the CRs
// before that terminator left in. Also false for the end-of-file mark (a record of
// Ctrl-Z alone), which is no number.
inline bool plainLineValue(const char* begin, const char* end, char terminator, double& value) {
  return plainRecordValue(begin, recordTextEnd(begin, end, terminator), value);  // the record layer's own cut
}

}  // namespace recio::reader

// Free-format read statements: values are cut out of the records of a unit, converted
// where they lie in the record buffer and stored into the statement's items.
//
// A statement is begun with its first item and receives every further item through
// transferItem, in order. It ends inside the call for the item marked last, or at its
// first failure; the caller stops calling as soon as an outcome is not 0. From begin
// to end the statement holds the unit's lock.
#pragma once

#include <cstddef>
#include <cstdint>

#include "recio/decimal/decimal.h"
#include "recio/outcome.h"
#include "recio/transfer.h"
#include "recio/units/held_unit.h"

namespace recio {

class FreeFormatReader {
 public:
  FreeFormatReader();
  ~FreeFormatReader();
  FreeFormatReader(const FreeFormatReader&) = delete;
  FreeFormatReader& operator=(const FreeFormatReader&) = delete;

  // From here on a statement that ends well keeps its unit for the next statement
  // (HeldUnit), until releaseHeldUnit, which must come before anything else on this
  // thread takes the unit, or the destructor. A failing statement gives the unit up
  // before it reports.
  void holdUnitBetweenStatements() { hold_.keepBetweenStatements(); }
  void releaseHeldUnit() { hold_.release(); }

  // Options: kHandlesErrors and kHandlesEndOfFile. Outcome 0, -1 (end of file, when
  // handled) or the number of the run-time message; an unhandled failure is a fatal
  // report instead.
  IoOutcome beginStatement(std::int32_t unitNumber, std::uint32_t options, const TransferItem& first);
  IoOutcome transferItem(const TransferItem& item);

  // The whole of a statement whose one item is the double `target`. A plain record
  // (plain_line.h), nearly every record of a model, gives its value without the general
  // rules, which read any other; the outcome and the effects are those of the statement.
  IoOutcome readReal(std::int32_t unitNumber, std::uint32_t options, double* target);
  // The records readReal has taken as plain ones.
  std::uint64_t plainRecordsRead() const { return plainRecordsRead_; }

  // readReal for each of up to `count` targets in turn, as long as the next record lies
  // whole in the bytes the unit has read and is plain: a run of statements in one hold
  // of the unit, without a read call or any statement's own bookkeeping. Returns how
  // many ran; when fewer than `count`, the next statement is readReal's, whatever its
  // record holds. Each ran as readReal would have.
  std::size_t readPlainReals(std::int32_t unitNumber, double* const* targets, std::size_t count);
  // The records readPlainReals has taken.
  std::uint64_t plainRecordsReadInRuns() const { return plainRecordsReadInRuns_; }
  // Of those, the records taken as quick lines (quick_lines.h).
  std::uint64_t quickLinesRead() const { return quickLinesRead_; }

  // Quoted text is collected here; a quoted value may hold one character fewer.
  static constexpr std::size_t kTextCapacity = 2050;

 private:
  enum class ValueKind : std::uint8_t { None, Null, Numeric, Logical, Quoted };
  enum class ElementType : std::uint8_t { Integer32, Real64 };

  struct Token {
    const char* start = nullptr;
    std::size_t length = 0;
  };

  // Everything one statement knows; reset when the statement begins.
  struct ScanState {
    std::int32_t repeatLeft = 0;  // later items that take the current value unscanned
    ValueKind valueKind = ValueKind::None;
    Token token;               // in the record buffer, or quoted text in the text buffer
    bool partsCut = false;     // parts_ holds the numeric token as its scan cut it
    bool integerForm = false;  // the token has neither a '.' nor an exponent letter
    bool slashSeen = false;
    bool commaTaken = false;          // a comma was stepped over as a separator since the last value
    bool newRecord = false;           // a record was started since the last value
    bool textSeen = false;            // a non-blank byte has been met in this statement
    bool textBeforeRecord = false;    // textSeen was already set when the current record began
    bool prevEndedWithComma = false;  // the last non-blank byte of the previous record was a comma
    bool parenOpen = false;
  };

  // read_statement.cpp: the statement, its items, the storing of values and the common value.
  IoOutcome startStatement(std::int32_t unitNumber, std::uint32_t options);
  std::int32_t fillElement(ElementType type, void* address);
  std::int32_t storeValue(ElementType type, void* address);
  IoOutcome endStatement();
  IoOutcome failStatement(std::int32_t error);
  std::int32_t nextRecord();
  std::int32_t findValue();

  // value_scan.cpp: the general rules of finding a value.
  std::int32_t skipBlanks();
  std::int32_t classifyValue();
  bool commaIsNull() const;
  std::int32_t scanNumericToken(bool& endsWithStar);

  // delimited_values.cpp: quoted values and the rest of a parenthesised pair.
  std::int32_t scanQuoted(char quote);
  std::int32_t closePair();
  std::int32_t skipSecondNumber();

  HeldUnit hold_;
  Unit* unit_ = nullptr;  // the hold's unit while a statement runs
  std::uint64_t plainRecordsRead_ = 0;
  std::uint64_t plainRecordsReadInRuns_ = 0;
  std::uint64_t quickLinesRead_ = 0;
  std::int32_t unitNumber_ = 0;
  std::uint32_t options_ = 0;
  // The current record and the next byte to scan; the bytes lie in the unit's input
  // buffer, which may move whenever the next record is fetched.
  const char* recordBegin_ = nullptr;
  const char* cursor_ = nullptr;
  const char* recordEnd_ = nullptr;
  ScanState state_;
  // Beside the state rather than in it: valid only while partsCut says so, so beginning
  // a statement, once per model value, need not clear its eight words.
  decimal::NumberParts parts_;
  char text_[kTextCapacity];
};

}  // namespace recio

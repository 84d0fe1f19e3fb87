// A long run of formatted write statements of one format, such as a table's, with the
// fields edited ahead, on worker threads where they pay, while the statements hand the
// records to the unit one by one, in order.
#pragma once

#include <cstddef>
#include <cstdint>

#include "recio/format/formatted_writer.h"

namespace recio {

// The items of a run of statements: the doubles of statements [first, first + count)
// of the run, valuesPerStatement of them per statement, statement by statement. Called
// from several threads at once, each with a range of its own, so it may only read
// what the run shares.
class StatementValues {
 public:
  virtual void fill(std::uint64_t first, std::size_t count, double* values) const = 0;

  // A hint: how many statements after one the value at `position` is likely to recur (a
  // table's x, once per row), or 0. Only a hint: a field is reused only when its value's
  // bits equal those it was edited from, so a wrong period costs a comparison, never a
  // byte.
  virtual std::size_t repeatPeriod(std::size_t /*position*/) const { return 0; }

 protected:
  ~StatementValues() = default;
};

// Has the effect of `statementCount` formatted write statements on `unitNumber` with
// `program`, statement n transferring its values from `values` as real items, the
// last one marked last. What reaches the unit, and when, is the same: each statement
// holds the unit while it hands over its record, so a stop from another thread finds
// only whole records, and a failure ends the run at the statement that fails, after
// the records before it. Only the editing moves. For a format of E fields alone with
// one field per value, records are edited a chunk at a time ahead of their statements:
// on worker threads when a file is connected to the unit, the run is long enough to
// pay for the threads, the machine has a processor to spare and the threads can be
// had; otherwise on the calling thread, a chunk and then its statements in turn. Any
// other format runs as the statements themselves.
void writeStatements(std::int32_t unitNumber, const FormatProgram& program, std::uint64_t statementCount,
                     std::size_t valuesPerStatement, const StatementValues& values);

}  // namespace recio

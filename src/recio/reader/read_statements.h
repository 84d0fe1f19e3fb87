// A long run of free-format read statements of one real value each, such as a model's
// cells, with the second half of a large file read ahead on a worker thread where that
// pays, while the statements read the first half.
#pragma once

#include <cstddef>
#include <cstdint>

#include "recio/outcome.h"

namespace recio {

// Where the values of a run of statements go: the addresses of the doubles that
// statements [first, first + count) of the run read into, statement by statement.
// Called from several threads at once, each with a range of its own, so it may only
// read what the run shares. Every statement has a double of its own.
class StatementTargets {
 public:
  virtual void fill(std::uint64_t first, std::size_t count, double** targets) const = 0;

 protected:
  ~StatementTargets() = default;
};

// Has the effect of `statementCount` read statements on `unitNumber` with `options`
// (kHandlesErrors, kHandlesEndOfFile), statement n reading one real value into its
// target, the item an array of one double marked last. Returns the outcome of the run:
// 0 when every statement succeeded, else that of the first that failed (-1 at the end
// of the file, or the message number), the statements after it not run. Targets and
// outcome are those of the statements alone. When the unit's file is a disk file of at
// least 1 MiB and the process has a processor to spare, a worker converts the
// plain lines of its second half (from the first line boundary at or after its middle)
// into their targets meanwhile, assuming that each line of the first half is one
// statement's. The statements take the worker's values, and step past its lines, only
// where that assumption holds: when they reach the worker's first statement standing
// exactly at the split. Otherwise the worker's targets are given back and the
// statements read on. The worker writes only targets that hold +0.0, which it can give
// back; it stops at the first that does not. Should an unhandled failure end the run
// inside its statement, the process exits with the run's frame, which holds what the
// worker reads, still in place beneath it.
IoOutcome readStatements(std::int32_t unitNumber, std::uint32_t options, std::uint64_t statementCount,
                         const StatementTargets& targets);

}  // namespace recio

// The program's three connections of unit 1 and the message lines about its files.
#pragma once

#include <cstdint>
#include <string_view>

#include "app/names.h"
#include "app/stage_status.h"
#include "recio/format/formatted_writer.h"
#include "recio/outcome.h"

namespace app {

constexpr std::int32_t kFileUnit = 1;

// The mesh's and the model's read statements handle their own failures and the end of
// the file.
constexpr std::uint32_t kReadOptions = recio::kHandlesErrors | recio::kHandlesEndOfFile;

// A failed run must not look like success to the script that called it.
constexpr int kFailureStatus = 1;

// Connects unit 1 for reading an existing file; 0 or the message number of the failure.
std::int32_t openForReading(const FileName& name);

// Connects unit 1 for writing the table, creating it if missing. A failure ends the run
// with its fatal report.
void openForWriting(const FileName& name);

// The message lines of a stage that reads a file, one for each way it can fail: a
// free-format line of its literal and the name when the file is not found; otherwise a
// formatted message (an empty line, then the literal and the name).
struct StageMessages {
  std::string_view notFound;
  const recio::FormatProgram& readFailure;
  // The end of the file before the last value.
  const recio::FormatProgram& tooShort;
};

// Returns when the stage ended with Ok; otherwise writes the stage's message for its
// status about the file `name`, then stops the run as failed.
void stopUnlessOk(StageStatus status, const StageMessages& messages, const FileName& name);

}  // namespace app

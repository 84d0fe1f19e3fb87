// The program's three connections of unit 1 and the message lines about its files.
#pragma once

#include <cstdint>
#include <string_view>

#include "app/names.h"
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

// One free-format line of the literal and the name, then the stop of a failed run.
[[noreturn]] void stopWithNotFound(std::string_view literal, const FileName& name);

// One formatted message (an empty line, then the literal and the name), then the stop
// of a failed run.
[[noreturn]] void stopWithReadFailure(const recio::FormatProgram& message, const FileName& name);

}  // namespace app

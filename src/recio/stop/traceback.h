// The traceback block of a fatal report: a header line and one line per stack frame.
#pragma once

#include <cstddef>

namespace recio {

// Size of the buffer that holds a whole report, message line and traceback together,
// so that the report is written in one piece.
constexpr std::size_t kReportCapacity = 16384;

// Prepares the symbol look-up at start-up; when that fails, no traceback is ever printed.
void prepareTraceback();
bool tracebackAvailable();

// Appends the traceback of the calling thread to `buffer` after `length` bytes and
// returns the new length (never more than `capacity`).
std::size_t appendTraceback(char* buffer, std::size_t capacity, std::size_t length);

}  // namespace recio

// The result of a transfer statement, an open or a close, and the options by which a
// read statement takes its errors and the end of its file into its own hands.
#pragma once

#include <cstdint>

namespace recio {

// Result of one transfer, open or close: 0 success, -1 end of file, otherwise the
// number of a run-time message.
using IoOutcome = std::int32_t;

constexpr IoOutcome kSuccess = 0;
constexpr IoOutcome kEndOfFile = -1;

// Statement options of a read statement.
constexpr std::uint32_t kHandlesErrors = 1u << 0;
constexpr std::uint32_t kHandlesEndOfFile = 1u << 1;

}  // namespace recio

// The result of a transfer statement, and the options by which a read statement takes
// its errors and the end of its file into its own hands. (Opens and closes, which meet
// no end of file, return their message number as a plain std::int32_t.)
#pragma once

#include <cstdint>

namespace recio {

// Result of one transfer statement: 0 success, -1 end of file, otherwise the number of a
// run-time message.
using IoOutcome = std::int32_t;

constexpr IoOutcome kSuccess = 0;
constexpr IoOutcome kEndOfFile = -1;

// Statement options of a read statement.
constexpr std::uint32_t kHandlesErrors = 1u << 0;
constexpr std::uint32_t kHandlesEndOfFile = 1u << 1;

}  // namespace recio

// The command line's quoting rule, in both directions: splitting one line into arguments,
// and joining arguments into a line that splits back into them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace app {

// Blanks and tabs outside quotation separate arguments. A double quote opens and
// closes quotation and is not copied; inside quotation a doubled quote gives one
// literal quote and ends the quotation. A backslash is an ordinary character. Text
// adjoining a quoted stretch belongs to the same argument; "" alone is an empty
// argument. Index 0 is the program name.
std::vector<std::string> splitCommandLine(std::string_view line);

// One line from an argument vector (for a platform that gives one): every argument is
// quoted whole, a double quote inside as three quotes, so that splitCommandLine gives
// back exactly these arguments.
std::string joinArguments(int count, const char* const* arguments);

}  // namespace app

// The command line's quoting rule, both ways.
#include "app/command_line.h"

namespace app {
namespace {

// The pair of quotes gives a literal quote and ends the quotation; the third reopens it.
void appendQuoted(std::string& line, const char* argument) {
  line += '"';
  for (const char* c = argument; *c != '\0'; ++c) {
    if (*c == '"') {
      line += "\"\"\"";
    } else {
      line += *c;
    }
  }
  line += '"';
}

}  // namespace

std::vector<std::string> splitCommandLine(std::string_view line) {
  std::vector<std::string> arguments;
  std::string current;
  bool inArgument = false;
  bool quoted = false;
  for (std::size_t at = 0; at < line.size(); ++at) {
    const char c = line[at];
    if (!quoted && (c == ' ' || c == '\t')) {
      if (inArgument) arguments.push_back(std::move(current));
      current.clear();
      inArgument = false;
      continue;
    }
    inArgument = true;
    if (c != '"') {
      current += c;
    } else if (!quoted) {
      quoted = true;
    } else if (at + 1 < line.size() && line[at + 1] == '"') {
      // The pair gives one literal quote, and the quotation ends with it.
      current += '"';
      ++at;
      quoted = false;
    } else {
      quoted = false;
    }
  }
  if (inArgument) arguments.push_back(std::move(current));
  return arguments;
}

std::string joinArguments(int count, const char* const* arguments) {
  std::string line;
  for (int index = 0; index < count; ++index) {
    if (index > 0) line += ' ';
    appendQuoted(line, arguments[index]);
  }
  return line;
}

}  // namespace app

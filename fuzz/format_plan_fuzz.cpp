// Statements that follow a compiled plan against the interpreter: a format of E fields
// alone is planned, and the same format with an empty literal before its end is
// interpreted item by item while writing the same characters. Both write the same
// statements to a file of their own through one writer each; the files must be equal.
//
// Input: the format (format_fuzzing.h: field count, scale factor, then per field repeat,
// width and d bytes); then per statement one byte of item count and 8 bytes per item.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "format_fuzzing.h"
#include "recio/format/formatted_writer.h"

namespace {

using Statement = std::vector<double>;

std::string writeAll(const std::string& name, const std::vector<std::uint32_t>& words,
                     const std::vector<Statement>& statements) {
  return fuzzing::bytesWrittenBy(name, [&] {
    const recio::FormatProgram program = fuzzing::programOf(words);
    recio::FormattedWriter writer;
    for (const Statement& statement : statements) {
      fuzzing::transferStatement(writer, program, statement.data(), statement.size());
    }
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::size_t at = 0;
  fuzzing::EFieldInput format;
  if (!fuzzing::readEFields(data, size, at, format)) return 0;
  // Statements with fewer, as many or more items than the format has fields.
  std::vector<Statement> statements;
  while (at < size && statements.size() < 64) {
    Statement statement;
    const std::size_t items = 1 + data[at++] % 12;
    for (std::size_t item = 0; item < items && size - at >= 8; ++item, at += 8) {
      double value;
      std::memcpy(&value, data + at, sizeof value);
      statement.push_back(value);
    }
    if (statement.empty()) break;
    statements.push_back(statement);
  }
  const std::string planned = writeAll("planned", format.words(false), statements);
  const std::string interpreted = writeAll("interpreted", format.words(true), statements);
  if (planned != interpreted) std::abort();
  return 0;
}

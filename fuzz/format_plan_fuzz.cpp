// Statements that follow a compiled plan against the interpreter: a format of E fields
// alone is planned, and the same format with an empty literal before its end is
// interpreted item by item while writing the same characters. Both write the same
// statements to a file of their own through one writer each; the files must be equal.
//
// Input: one byte of field count, then per field repeat, width, d and k bytes; then
// per statement one byte of item count and 8 bytes per item.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "memory_file.h"
#include "recio/format/formatted_writer.h"
#include "recio/format/builder.h"
#include "recio/transfer.h"
#include "recio/units/unit_table.h"
#include "support/e_field_format.h"

namespace {

using namespace recio::format;

struct Statement {
  std::vector<double> values;
};

std::string writeAll(const std::string& name, const std::vector<std::uint32_t>& words,
                     const std::vector<Statement>& statements) {
  const std::string path = fuzzing::scratchDirectory() + "/" + name;
  if (fuzzing::openForWriting(path) != 0) std::abort();
  const recio::FormatProgram program{reinterpret_cast<const std::uint8_t*>(words.data()), words.size() * 4};
  recio::FormattedWriter writer;
  for (const Statement& statement : statements) {
    writer.begin(1, program);
    for (std::size_t item = 0; item < statement.values.size(); ++item) {
      const bool last = item + 1 == statement.values.size();
      writer.transfer(recio::realItem(statement.values[item], last ? recio::kFollowLast : recio::kFollowMore));
    }
  }
  if (recio::closeUnit(1, true) != 0) std::abort();
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  std::size_t at = 0;
  const std::size_t fieldCount = 1 + data[at++] % 6;
  if (size - at < fieldCount * 4 + 1) return 0;
  std::vector<LongDescriptor> fields;
  const auto scale = static_cast<std::int32_t>(static_cast<std::int8_t>(data[at++]) % 4);
  for (std::size_t field = 0; field < fieldCount; ++field) {
    const std::int32_t repeat = data[at] % 4;  // 0 edits one item, as 1 does
    const std::int32_t width = 1 + data[at + 1] % 40;
    const auto fractionDigits = static_cast<std::uint8_t>(data[at + 2] % 20);
    fields.push_back(editE(repeat, width, fractionDigits));
    at += 3;
  }
  // Statements with fewer, as many or more items than the format has fields.
  std::vector<Statement> statements;
  while (at < size && statements.size() < 64) {
    Statement statement;
    const std::size_t items = 1 + data[at++] % 12;
    for (std::size_t item = 0; item < items && size - at >= 8; ++item, at += 8) {
      double value;
      std::memcpy(&value, data + at, sizeof value);
      statement.values.push_back(value);
    }
    if (statement.values.empty()) break;
    statements.push_back(statement);
  }
  const std::string planned = writeAll("planned", testing_support::eFieldFormat(fields, scale, false), statements);
  const std::string interpreted = writeAll("interpreted", testing_support::eFieldFormat(fields, scale, true), statements);
  if (planned != interpreted) std::abort();
  return 0;
}

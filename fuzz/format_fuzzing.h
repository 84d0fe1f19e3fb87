// What the formatted-output fuzz targets share: the format of E fields an input begins
// with, statements made of the writer's own entry points, and the file of bytes that a
// way of writing them leaves, for comparing two ways.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "memory_file.h"
#include "recio/format/builder.h"
#include "recio/format/formatted_writer.h"
#include "recio/transfer.h"
#include "recio/units/unit_table.h"
#include "support/e_field_format.h"

namespace fuzzing {

// A format of E fields under one scale factor, as an input gives it.
struct EFieldInput {
  std::vector<recio::format::LongDescriptor> fields;
  std::int32_t scale = 0;
  // The fields a plan of the format has: a repeat count of 0 edits one item, as 1 does.
  std::size_t planFields = 0;

  // The format's bytes: planned, or with an empty literal that keeps it from a plan while
  // writing the same characters.
  std::vector<std::uint32_t> words(bool interpreted) const {
    return testing_support::eFieldFormat(fields, scale, interpreted);
  }
};

// Reads the format from data[at, size): a byte of field count (1 to 6), a byte of scale
// factor (-3 to 3), then per field a byte each of repeat (0 to 3), width (1 to 40) and d
// (0 to 19). Steps `at` past it; false when the input ends first.
inline bool readEFields(const std::uint8_t* data, std::size_t size, std::size_t& at, EFieldInput& input) {
  if (size - at < 2) return false;
  const std::size_t fieldCount = 1 + data[at++] % 6;
  input.scale = static_cast<std::int32_t>(static_cast<std::int8_t>(data[at++]) % 4);
  if (size - at < fieldCount * 3) return false;
  for (std::size_t field = 0; field < fieldCount; ++field, at += 3) {
    const std::int32_t repeat = data[at] % 4;
    input.fields.push_back(
        recio::format::editE(repeat, 1 + data[at + 1] % 40, static_cast<std::uint8_t>(data[at + 2] % 20)));
    input.planFields += repeat == 0 ? 1 : static_cast<std::size_t>(repeat);
  }
  return true;
}

inline recio::FormatProgram programOf(const std::vector<std::uint32_t>& words) {
  return {reinterpret_cast<const std::uint8_t*>(words.data()), words.size() * 4};
}

// One statement of real items through the writer's entry points: begin, then a transfer
// of each value, the last marked last.
inline void transferStatement(recio::FormattedWriter& writer, const recio::FormatProgram& program, const double* values,
                              std::size_t count) {
  writer.begin(1, program);
  for (std::size_t item = 0; item < count; ++item) {
    writer.transfer(recio::realItem(values[item], item + 1 == count ? recio::kFollowLast : recio::kFollowMore));
  }
}

// Runs `statements` on unit 1 connected to the file `name` of the scratch directory and
// returns the bytes they leave in it.
template <class Statements>
std::string bytesWrittenBy(const std::string& name, Statements statements) {
  const std::string path = scratchDirectory() + "/" + name;
  if (openForWriting(path) != 0) std::abort();
  statements();
  if (recio::closeUnit(1, true) != 0) std::abort();
  return readWholeFile(path);
}

}  // namespace fuzzing

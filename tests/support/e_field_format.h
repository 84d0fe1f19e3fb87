// Formats of E fields built at run time, for the tests and fuzz targets that compare
// planned statements with interpreted ones.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "recio/format/builder.h"

namespace testing_support {

// (kP, fields...): a format of E fields under scale factor `scale`. `interpreted` adds
// an empty literal before the end, which keeps the format from a plan while writing the
// same characters. The words hold the program's bytes, 4-byte aligned.
inline std::vector<std::uint32_t> eFieldFormat(const std::vector<recio::format::LongDescriptor>& fields,
                                               std::int32_t scale, bool interpreted) {
  using namespace recio::format;
  std::vector<std::uint8_t> bytes(ShortDescriptor::kSize + LongDescriptor::kSize * (fields.size() + 1) +
                                  LiteralDescriptor<0>::kSize + ShortDescriptor::kSize);
  std::size_t at = 0;
  formatStart().writeTo(bytes.data() + at), at += ShortDescriptor::kSize;
  scaleFactor(scale).writeTo(bytes.data() + at), at += LongDescriptor::kSize;
  for (const LongDescriptor& field : fields) field.writeTo(bytes.data() + at), at += LongDescriptor::kSize;
  if (interpreted) LiteralDescriptor<0>{}.writeTo(bytes.data() + at), at += LiteralDescriptor<0>::kSize;
  formatEnd().writeTo(bytes.data() + at), at += ShortDescriptor::kSize;
  std::vector<std::uint32_t> words((at + 3) / 4);
  std::memcpy(words.data(), bytes.data(), at);
  return words;
}

}  // namespace testing_support

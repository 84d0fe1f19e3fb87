// The field cache against uncached E editing on arbitrary sequences of edits: every
// field it gives must be the field editReal writes, and so must every field that the
// short layout in registers (short_field.h) takes, with nothing written past it. Each edit takes 4 bytes (the
// position, w, d and k) and then either 8 bytes of a new value or, when the position
// byte's top bit is set, one byte choosing a value seen before, so that sequences with
// repeats and with values sharing slots are easy to reach.
#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "recio/format/edit.h"
#include "recio/format/field_cache.h"
#include "recio/format/short_field.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using recio::format::FieldCache;
  static auto* cache = new FieldCache;  // kept across inputs, as a writer keeps it across statements
  std::vector<double> seen;
  char cached[256];
  char edited[256];
  std::size_t at = 0;
  while (size - at >= 5) {
    const std::uint8_t positionByte = data[at];
    const std::int32_t width = data[at + 1] % 40;
    const std::int32_t fractionDigits = data[at + 2] % 24;
    const std::int32_t scaleFactor = static_cast<std::int8_t>(data[at + 3]) % 12;
    at += 4;
    double value;
    if ((positionByte & 0x80) != 0 && !seen.empty()) {
      value = seen[data[at] % seen.size()];
      at += 1;
    } else {
      if (size - at < 8) break;
      std::uint64_t bits;
      std::memcpy(&bits, data + at, sizeof bits);
      at += 8;
      value = std::bit_cast<double>(bits);
      seen.push_back(value);
    }
    const std::size_t position = positionByte & 0x07;
    std::memset(cached, '?', sizeof cached);
    std::memset(edited, '?', sizeof edited);
    cache->edit(position, value, width, fractionDigits, scaleFactor, cached);
    recio::format::editReal(value, width, fractionDigits, scaleFactor, edited);
    if (std::memcmp(cached, edited, sizeof cached) != 0) std::abort();
    const recio::format::ShortFieldShape shape(width, fractionDigits, scaleFactor);
    std::memset(cached, '?', sizeof cached);
    if (shape.usable() && shape.edit(value, cached) && std::memcmp(cached, edited, sizeof cached) != 0) std::abort();
  }
  return 0;
}

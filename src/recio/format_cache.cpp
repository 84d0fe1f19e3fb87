// E editing through the cache of edited fields.
#include "recio/format_cache.h"

#include <bit>

#include "recio/format_edit.h"

namespace recio::format {
void FieldCache::edit(std::size_t position, double value, std::int32_t width, std::int32_t fractionDigits,
                      std::int32_t scaleFactor, char* field) {
  const std::uint32_t shape = shapeOf(width, fractionDigits, scaleFactor);
  if (shape == 0) {
    editReal(value, width, fractionDigits, scaleFactor, field);
    return;
  }
  const std::size_t region = regionOf(position);
  if (!looksUp(region)) {
    editReal(value, width, fractionDigits, scaleFactor, field);
    return;
  }
  const auto bits = std::bit_cast<std::uint64_t>(value);
  const auto fieldWidth = static_cast<std::size_t>(width);
  if (const char* kept = find(position, bits, shape)) {
    ++use_[region].hits;
    copyField(field, kept, fieldWidth);
    return;
  }
  editReal(value, width, fractionDigits, scaleFactor, field);
  keep(position, bits, shape, field, fieldWidth);
}

bool FieldCache::looksUp(std::size_t region) {
  RegionUse& use = use_[region];
  if (use.edits == kWindow) {
    use.bypassed = use.hits * kBypassRatio < use.lookups;
    use = {0, 0, 0, use.bypassed};
  }
  const bool looks = !use.bypassed || use.edits % kSampleStride == 0;
  ++use.edits;
  use.lookups += looks ? 1 : 0;
  return looks;
}

}  // namespace recio::format

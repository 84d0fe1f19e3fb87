// Edited E fields kept for reuse. The characters of an Ew.d field under scale factor k
// depend on nothing but the value's bits, w, d and k (no sign or blank setting of the
// statement enters E editing), so a field edited once can be copied byte for byte.
//
// Tables repeat their values by position: the point table's y and elevation equal the
// previous record's, and each x centre recurs once per row. So the fields are kept per
// item position of the statement, each position in its own direct-mapped region, and a
// value only ever evicts one of its own column.
//
// A slot is chosen by Fibonacci hashing of the value's bits (the top bits of bits x
// 2^64/phi). Cell centres of a mesh with equal widths are an arithmetic progression,
// and so are their bit patterns within one binade; by the three-distance theorem the
// multiples of 1/phi spread such a progression almost evenly over the slots, so a row of
// up to about a region's size of distinct x values stays in the cache whole.
//
// A slot is taken by a new field only from one not found since it was kept (its mark is
// cleared instead, once), so that values seen once, among recurring ones, seldom evict
// those (a model column of the kind that repeats some values and not others).
//
// A column whose values do not repeat (the model values of a table, as a rule) would
// only pay a lookup that misses the processor's caches and a store per field. So each
// region counts its lookups and their hits over windows of kWindow edits, and a region
// whose lookups hit less than one in kBypassRatio is looked up only every
// kSampleStride-th edit in the next window, which is enough to notice when its values
// begin to repeat.
//
// Size: kPositions x kSlots x 32 bytes = 512 KiB, allocated once by a writer that has
// edited a few hundred E fields (formatted_writer.h), and by each thread that edits
// records ahead (write_statements.h).
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "recio/format/edit.h"
#include "recio/format/field_copy.h"

namespace recio::format {

class FieldCache {
 public:
  static constexpr std::size_t kPositions = 4;  // later positions share the last region
  static constexpr std::size_t kSlotBits = 12;
  static constexpr std::size_t kSlots = std::size_t{1} << kSlotBits;
  static constexpr std::size_t kMaxWidth = 20;  // wider fields are edited every time
  static_assert(kMaxWidth <= kLargestFieldCopy);

  // What decides a field besides the value: w, d and k packed with a mark that makes
  // every cacheable shape non-zero, so that an empty slot never matches. 0 when the
  // field is not kept (too wide, or d or k outside the packed ranges).
  static constexpr std::uint32_t shapeOf(std::int32_t width, std::int32_t fractionDigits, std::int32_t scaleFactor) {
    if (width <= 0 || width > static_cast<std::int32_t>(kMaxWidth) || fractionDigits < 0 || fractionDigits > 0xFF ||
        scaleFactor < -0x80 || scaleFactor > 0x7F) {
      return 0;
    }
    return static_cast<std::uint32_t>(width) | static_cast<std::uint32_t>(fractionDigits) << 8 |
           static_cast<std::uint32_t>(scaleFactor + 0x80) << 16 | std::uint32_t{1} << 24;
  }

  // Writes `value` as an Ew.d field under scale factor k into field[0, width), exactly
  // as editReal (edit.h) does, for the item at `position` of its statement:
  // copied when kept, else edited and kept.
  void edit(std::size_t position, double value, std::int32_t width, std::int32_t fractionDigits,
            std::int32_t scaleFactor, char* field) {
    editShaped(position, shapeOf(width, fractionDigits, scaleFactor), value, width, fractionDigits, scaleFactor, field);
  }

  // edit, for a field whose shapeOf is `shape`: a column of fields of one shape asks for
  // it once.
  void editShaped(std::size_t position, std::uint32_t shape, double value, std::int32_t width,
                  std::int32_t fractionDigits, std::int32_t scaleFactor, char* field) {
    editShapedBy(position, shape, value, static_cast<std::size_t>(width), field,
                 [&] { editReal(value, width, fractionDigits, scaleFactor, field); });
  }

  // editShaped with `editField()` in place of editReal, for an editor of the same
  // characters that knows the field's shape beforehand.
  template <class EditField>
  void editShapedBy(std::size_t position, std::uint32_t shape, double value, std::size_t width, char* field,
                    EditField&& editField) {
    const std::size_t region = regionOf(position);
    if (shape == 0 || !looksUp(region)) {
      editField();
      return;
    }
    const auto bits = std::bit_cast<std::uint64_t>(value);
    if (const char* kept = find(position, bits, shape)) {
      ++use_[region].hits;
      copyField(field, kept, width);
      return;
    }
    editField();
    keep(position, bits, shape, field, width);
  }

  // Whether the fields at `position` are looked up only now and then in the current
  // window, their values having seldom recurred.
  bool bypasses(std::size_t position) const { return use_[regionOf(position)].bypassed; }

  // For a column of fields looked up with find and kept with keep rather than edited
  // through edit: counts its `edits`, `lookups` and `hits` at `position` at once, as
  // edit counts them one by one, so that whether the next window bypasses the position
  // is decided alike.
  void countColumn(std::size_t position, std::uint32_t edits, std::uint32_t lookups, std::uint32_t hits) {
    RegionUse& use = use_[regionOf(position)];
    use.edits += edits;
    use.lookups += lookups;
    use.hits += hits;
    if (use.edits >= kWindow) use = {0, 0, 0, use.hits * kBypassRatio < use.lookups};
  }

  // The kept characters of the field, or nullptr. A field found is marked as one whose
  // value recurs.
  const char* find(std::size_t position, std::uint64_t bits, std::uint32_t shape) {
    return findIn(slotIn(region(position), bits), bits, shape);
  }

  // Keeps `width` (<= kMaxWidth) characters of a field in its slot, unless the slot holds
  // a field found since it was kept: that one only loses its mark, so that a value seen
  // once (a column's values that never recur, among others that do) takes the slot of a
  // recurring one only if that one has not recurred again by the next such value.
  void keep(std::size_t position, std::uint64_t bits, std::uint32_t shape, const char* field, std::size_t width) {
    if (char* text = keepIn(slotIn(region(position), bits), bits, shape)) copyField(text, field, width);
  }

  struct Slot {
    std::uint64_t bits = 0;
    std::uint32_t shape = 0;
    char text[kMaxWidth] = {};
  };

  // find and keep in parts, for a column of one position's fields: its region is found
  // once, a field's slot once for both, and the column copies the characters itself, in
  // a way chosen once for its width.
  Slot* region(std::size_t position) { return slots_[regionOf(position)]; }
  static Slot& slotIn(Slot* region, std::uint64_t bits) {
    return region[bits * kGoldenRatioMultiplier >> (64 - kSlotBits)];
  }
  static const char* findIn(Slot& slot, std::uint64_t bits, std::uint32_t shape) {
    if (slot.bits != bits || (slot.shape & ~kRecurs) != shape) return nullptr;
    slot.shape = shape | kRecurs;
    return slot.text;
  }
  // Where keep copies the field's characters to, or nullptr when the slot keeps its own.
  static char* keepIn(Slot& slot, std::uint64_t bits, std::uint32_t shape) {
    if ((slot.shape & kRecurs) != 0) {
      slot.shape &= ~kRecurs;
      return nullptr;
    }
    slot.bits = bits;
    slot.shape = shape;
    return slot.text;
  }

 private:
  static constexpr std::uint64_t kGoldenRatioMultiplier = 0x9E3779B97F4A7C15;  // 2^64 / phi, odd
  // A slot's mark of a field found since it was kept, above every bit of shapeOf.
  static constexpr std::uint32_t kRecurs = std::uint32_t{1} << 31;

  static constexpr std::uint32_t kWindow = 1024;
  static constexpr std::uint32_t kBypassRatio = 8;
  static constexpr std::uint32_t kSampleStride = 16;

  struct RegionUse {
    std::uint32_t edits = 0;    // in the current window
    std::uint32_t lookups = 0;  // of those, the ones looked up
    std::uint32_t hits = 0;
    bool bypassed = false;  // this window looks up only every kSampleStride-th edit
  };

  static std::size_t regionOf(std::size_t position) { return position < kPositions ? position : kPositions - 1; }
  // Whether this edit looks the field up; counts the edit in its window.
  bool looksUp(std::size_t region) {
    RegionUse& use = use_[region];
    if (use.edits == kWindow) use = {0, 0, 0, use.hits * kBypassRatio < use.lookups};
    const bool looks = !use.bypassed || use.edits % kSampleStride == 0;
    ++use.edits;
    use.lookups += looks ? 1 : 0;
    return looks;
  }

  static_assert(sizeof(Slot) == 32);
  Slot slots_[kPositions][kSlots];
  RegionUse use_[kPositions];
};

// A new cache, or nullptr without the memory for it: the cache only saves work, so its
// owner then edits every field itself.
inline std::unique_ptr<FieldCache> makeFieldCache() {
  return std::unique_ptr<FieldCache>(new (std::nothrow) FieldCache);
}

}  // namespace recio::format

// Edited fields reused from the cache are exactly the fields that E editing writes.
#include "recio/format/field_cache.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "recio/format/edit.h"
#include "support/doubles.h"
#include "support/sanitizer.h"

namespace {

using recio::format::FieldCache;
using testing_support::awkwardDouble;

struct Shape {
  std::int32_t width;
  std::int32_t fractionDigits;
  std::int32_t scaleFactor;
};

// The point table's two fields, other scale factors, the widest kept field, one too
// wide to keep, and fields too narrow for most values (asterisks).
constexpr Shape kShapes[] = {{17, 9, 1}, {13, 5, 1}, {17, 9, 0}, {12, 5, -2}, {20, 12, 3},
                             {21, 9, 1}, {8, 3, 1},  {5, 2, 1},  {3, 1, 1}};

// Compares one edit through the cache with uncached editing; true when it was found kept.
bool editBoth(FieldCache& cache, std::size_t position, double value, const Shape& shape) {
  const std::uint32_t key = FieldCache::shapeOf(shape.width, shape.fractionDigits, shape.scaleFactor);
  const bool found = key != 0 && cache.find(position, std::bit_cast<std::uint64_t>(value), key) != nullptr;
  std::string cached(static_cast<std::size_t>(shape.width), '?');
  std::string edited(cached);
  cache.edit(position, value, shape.width, shape.fractionDigits, shape.scaleFactor, cached.data());
  recio::format::editReal(value, shape.width, shape.fractionDigits, shape.scaleFactor, edited.data());
  EXPECT_EQ(cached, edited) << "bits " << std::hex << std::bit_cast<std::uint64_t>(value) << std::dec << " E"
                            << shape.width << "." << shape.fractionDigits << " k " << shape.scaleFactor << " position "
                            << position;
  return found;
}

TEST(FieldCache, GivesTheFieldsOfUncachedEditing) {
  const int edits = testing_support::sanitizedCount(3'000'000, 10);
  std::mt19937_64 random(20261207);
  // More values than slots, so that slots are shared and fields evicted, and mostly
  // drawn again, so that most edits find a kept field.
  std::vector<double> pool(3 * FieldCache::kSlots);
  for (double& value : pool) value = awkwardDouble(random);

  auto cache = std::make_unique<FieldCache>();
  int found = 0;
  for (int edit = 0; edit < edits; ++edit) {
    // Positions 0 to 2 are columns of one shape with repeated values; the rest share the
    // last region with any shape and mostly new values, so that it is looked up only now
    // and then.
    const std::size_t position = random() % (FieldCache::kPositions + 2);
    const bool column = position + 1 < FieldCache::kPositions;
    const Shape& shape = kShapes[column ? position : random() % std::size(kShapes)];
    const bool repeated = random() % 8 < (column ? 6u : 1u);
    found += editBoth(*cache, position, repeated ? pool[random() % pool.size()] : awkwardDouble(random), shape) ? 1 : 0;
    if (HasFailure()) return;
  }
  // Both roads were taken many times.
  EXPECT_GT(found, edits / 20);
  EXPECT_LT(found, edits - edits / 20);

  // A column that stopped being looked up is looked up again once its values repeat.
  const int repeats = 100'000;
  int foundAgain = 0;
  for (int edit = 0; edit < repeats; ++edit) {
    foundAgain += editBoth(*cache, FieldCache::kPositions - 1, pool[random() % 64], kShapes[0]) ? 1 : 0;
  }
  EXPECT_GT(foundAgain, repeats * 9 / 10);
}

// A field found since it was kept keeps its slot against the next field that would take
// it, and loses it to the one after: a value of the same slot is found by keeping it over
// an unfound one.
TEST(FieldCache, AFieldFoundAgainOutlastsOneNewcomer) {
  const auto cache = std::make_unique<FieldCache>();
  const std::uint32_t shape = FieldCache::shapeOf(13, 5, 1);
  const char kept[13] = {'k'};
  const char newcomer[13] = {'n'};
  const std::uint64_t recurring = std::bit_cast<std::uint64_t>(0.0123);
  std::uint64_t sameSlot = 0;
  for (std::uint64_t candidate = recurring + 1; sameSlot == 0; ++candidate) {
    cache->keep(3, recurring, shape, kept, 13);
    cache->keep(3, candidate, shape, newcomer, 13);
    if (cache->find(3, recurring, shape) == nullptr) sameSlot = candidate;
  }
  cache->keep(3, recurring, shape, kept, 13);
  ASSERT_NE(cache->find(3, recurring, shape), nullptr);
  cache->keep(3, sameSlot, shape, newcomer, 13);
  EXPECT_EQ(cache->find(3, sameSlot, shape), nullptr);
  ASSERT_NE(cache->find(3, recurring, shape), nullptr);  // found again: marked once more
  cache->keep(3, sameSlot, shape, newcomer, 13);
  cache->keep(3, sameSlot, shape, newcomer, 13);
  EXPECT_EQ(cache->find(3, recurring, shape), nullptr);
  const char* found = cache->find(3, sameSlot, shape);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found[0], 'n');
}

}  // namespace

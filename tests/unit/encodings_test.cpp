// The bytes that the runtime's constructors give the items and keyword lists: they are
// the runtime's interface and must stay exactly these.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "recio/transfer.h"
#include "recio/units/open_keywords.h"

namespace {

using Bytes = std::array<std::uint8_t, 4>;

Bytes bytesOf(const recio::TransferItem& item) {
  return {item.descriptor[0], item.descriptor[1], item.descriptor[2], item.descriptor[3]};
}
Bytes bytesOf(const recio::KeywordItem& item) { return {item.bytes[0], item.bytes[1], item.bytes[2], item.bytes[3]}; }

TEST(Encodings, TransferItemDescriptors) {
  const double value = 1.0;
  const recio::AddressBlock address{nullptr};
  const recio::LengthAddressBlock block{0, nullptr};
  struct Row {
    recio::TransferItem item;
    Bytes bytes;
    const void* argument;
  };
  const Row rows[] = {
      {recio::realItem(value, recio::kFollowMore), {0x30, 1, 2, 0}, &value},
      {recio::realItem(value, recio::kFollowLast), {0x30, 1, 1, 0}, &value},
      {recio::characterItem(block, recio::kFollowMore), {0x38, 4, 2, 0}, &block},
      {recio::characterItem(block, recio::kFollowLast), {0x38, 4, 1, 0}, &block},
      {recio::scalarItem(recio::kTypeInteger32, address, recio::kFollowMore), {0x09, 3, 2, 0}, &address},
      {recio::scalarItem(recio::kTypeReal64, address, recio::kFollowLast), {0x30, 3, 1, 0}, &address},
      {recio::arrayItem(recio::kTypeReal64, block, recio::kFollowLast), {0x30, 5, 1, 0}, &block},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(bytesOf(row.item), row.bytes);
    EXPECT_EQ(row.item.argument, row.argument);
  }
}

TEST(Encodings, ArgumentBlocksHoldByteAndCharacterLengths) {
  double values[3];
  EXPECT_EQ(recio::realArrayBlock(values, 3).length, 24);
  EXPECT_EQ(recio::realArrayBlock(values, 3).address, values);
  EXPECT_EQ(recio::realArrayBlock(values, 0).length, 0);
  EXPECT_EQ(recio::realArrayBlock(values, -5).length, 0) << "a negative count is an empty array";
  const std::string_view text = "name";
  EXPECT_EQ(recio::characterBlock(text).length, 4);
  EXPECT_EQ(recio::characterBlock(text).address, text.data());
}

TEST(Encodings, KeywordListsEndWithTheirMarker) {
  constexpr auto list =
      recio::keywordList(recio::characterKeyword(recio::kKeywordFile), recio::integerKeyword(recio::kKeywordStatus),
                         recio::characterKeyword(recio::kKeywordAction));
  const std::vector<Bytes> expected = {{0x38, 4, 0x0D, 0}, {0x09, 1, 0x1A, 0}, {0x38, 4, 0x3A, 0}, {1, 0, 0, 0}};
  ASSERT_EQ(list.size(), expected.size());
  for (std::size_t index = 0; index < list.size(); ++index) EXPECT_EQ(bytesOf(list[index]), expected[index]);
  EXPECT_TRUE(recio::isEndOfKeywords(list.back()));

  const auto values = recio::keywordValues(recio::characterValue("old"), recio::integerValue(4));
  ASSERT_EQ(values.size(), 3u);
  EXPECT_EQ(values[0].length, 3);
  EXPECT_EQ(values[1].length, 4);
  EXPECT_EQ(values[1].address, nullptr);
  EXPECT_EQ(values[2].length, 0);
  EXPECT_EQ(values[2].address, nullptr);
}

}  // namespace

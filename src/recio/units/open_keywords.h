// The compiled keyword list of an open statement and its decoding. A list is a run of
// 4-byte items, each with its value at the same index of a value list, ending with the
// item 01 00 00 00. An item is: the value's kind (0x38 a character value, two words:
// length then address; 0x09 an integer constant, one word), the value's form (4 and 1
// respectively: the transfer codes of transfer.h), the keyword code, and 0. These bytes are the runtime's interface:
// statements build their lists with the constructors below, never byte by byte.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "recio/transfer.h"

namespace recio {

struct KeywordItem {
  std::uint8_t bytes[4];  // value kind, value form, keyword code, 0
};
// A keyword's value has the shape of a transfer's length-and-address block: a character
// value is its length and the address of its characters; an integer constant is the
// value itself in the first word, with no address.
using KeywordValue = LengthAddressBlock;

constexpr std::uint8_t kKeywordFile = 0x0D;
constexpr std::uint8_t kKeywordStatus = 0x1A;
constexpr std::uint8_t kKeywordAction = 0x3A;

// A keyword given a character value, or an integer constant.
// The kinds and forms are a transfer item's type and form codes.
constexpr KeywordItem characterKeyword(std::uint8_t keyword) {
  return {{kTypeCharacter, kFormLengthAddress, keyword, 0}};
}
constexpr KeywordItem integerKeyword(std::uint8_t keyword) { return {{kTypeInteger32, kFormValue, keyword, 0}}; }

constexpr KeywordItem kEndOfKeywords = {{0x01, 0x00, 0x00, 0x00}};
constexpr bool isEndOfKeywords(const KeywordItem& item) { return item.bytes[0] == 0x01 && item.bytes[2] == 0x00; }

// The values of a list's items.
constexpr KeywordValue characterValue(std::string_view text) { return characterBlock(text); }
constexpr KeywordValue integerValue(std::int32_t value) { return {value, nullptr}; }
// The value slot that lines up with the end marker.
constexpr KeywordValue kNoKeywordValue = {0, nullptr};

// A whole list: the items in order, then the end marker; and its values, the slot of
// the end marker included.
template <typename... Items>
constexpr std::array<KeywordItem, sizeof...(Items) + 1> keywordList(Items... items) {
  return {items..., kEndOfKeywords};
}
template <typename... Values>
constexpr std::array<KeywordValue, sizeof...(Values) + 1> keywordValues(Values... values) {
  return {values..., kNoKeywordValue};
}

// Decodes a keyword list into an OpenRequest and opens it (unit_table.h). A status or
// action text that matches no keyword value fails with 45.
std::int32_t openStatement(std::int32_t unitNumber, bool handlesErrors, const KeywordItem* items,
                           const KeywordValue* values);

}  // namespace recio

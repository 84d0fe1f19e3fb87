// How a transfer statement hands over one item: a 4-byte descriptor and the address
// of an argument block. The descriptor bytes are fixed; the argument blocks hold
// pointer-size words so that an address always fits. Statements make their items
// and blocks with the constructors at the end, never byte by byte.
#pragma once

#include <cstdint>
#include <string_view>

namespace recio {

enum TypeCode : std::uint8_t {
  kTypeInteger32 = 0x09,
  kTypeReal64 = 0x30,
  kTypeCharacter = 0x38,
};

enum FormCode : std::uint8_t {
  kFormValue = 1,          // the argument points at the value itself
  kFormScalarAddress = 3,  // the argument block holds the item's address
  kFormLengthAddress = 4,  // the argument block holds a length and the characters' address
  kFormArray = 5,          // the argument block holds a byte length and the base address
};

enum FollowCode : std::uint8_t {
  kFollowLast = 1,
  kFollowMore = 2,
};

struct TransferItem {
  std::uint8_t descriptor[4];  // type, form, follow, 0
  const void* argument;

  TypeCode type() const { return static_cast<TypeCode>(descriptor[0]); }
  FormCode form() const { return static_cast<FormCode>(descriptor[1]); }
  bool isLast() const { return descriptor[2] == kFollowLast; }
};

// Argument block of form 3.
struct AddressBlock {
  void* address;
};

// Argument block of forms 4 and 5: the length (characters, or bytes of the array)
// comes first, then the address.
struct LengthAddressBlock {
  std::intptr_t length;
  const void* address;
};

// Constructors of the items the program's statements hand over. The item keeps the
// address of its value or block, which must outlive the statement's call for it.

// A double passed by value's address (type 0x30, form 1): the writers' numbers.
constexpr TransferItem realItem(const double& value, FollowCode follow) {
  return {{kTypeReal64, kFormValue, follow, 0}, &value};
}

// A character string (type 0x38, form 4): its block holds the length and the address.
constexpr TransferItem characterItem(const LengthAddressBlock& text, FollowCode follow) {
  return {{kTypeCharacter, kFormLengthAddress, follow, 0}, &text};
}
constexpr LengthAddressBlock characterBlock(std::string_view text) {
  return {static_cast<std::intptr_t>(text.size()), text.data()};
}

// A scalar to read into (form 3): a 32-bit integer or a double at the block's address.
constexpr TransferItem scalarItem(TypeCode type, const AddressBlock& address, FollowCode follow) {
  return {{type, kFormScalarAddress, follow, 0}, &address};
}

// A contiguous array to read into (form 5): its block holds the byte length and the base.
constexpr TransferItem arrayItem(TypeCode type, const LengthAddressBlock& array, FollowCode follow) {
  return {{type, kFormArray, follow, 0}, &array};
}
// The block of `count` doubles from `first`; a count below 1 is an empty array.
constexpr LengthAddressBlock realArrayBlock(double* first, std::int64_t count) {
  return {count > 0 ? static_cast<std::intptr_t>(count) * static_cast<std::intptr_t>(sizeof(double)) : 0, first};
}

}  // namespace recio

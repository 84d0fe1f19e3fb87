// How a transfer statement hands over one item: a 4-byte descriptor and the address
// of an argument block. The descriptor bytes are fixed; the argument blocks hold
// pointer-size words so that an address always fits.
#pragma once

#include <cstdint>

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

}  // namespace recio

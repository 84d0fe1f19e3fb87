// parseReal64 and parseInteger32 on arbitrary bytes: no crash, no read outside the
// token, and results that keep their own promises.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "recio/decimal/decimal.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A copy of exactly `size` bytes on the heap, so that the address sanitizer sees any
  // read past the token's end.
  char* token = static_cast<char*>(std::malloc(size == 0 ? 1 : size));
  std::memcpy(token, data, size);

  const auto integer = recio::decimal::parseInteger32(token, size);
  if (integer.status != recio::decimal::ConversionStatus::Ok && integer.value != 0) std::abort();

  const auto real = recio::decimal::parseReal64(token, size);
  if (real.status == recio::decimal::ConversionStatus::Overflow && real.value != 0.0 && !std::isinf(real.value)) {
    // An overflow carries no finite value worth keeping.
    std::abort();
  }

  // Whatever the text, digit generation of the value must stay within its digits.
  if (real.status == recio::decimal::ConversionStatus::Ok) {
    for (int digits : {1, 6, 10, 17, recio::decimal::DecimalDigits::kMaxDigits}) {
      recio::decimal::DecimalDigits result;
      recio::decimal::generateDigits(real.value, digits, result);
      if (result.kind == recio::decimal::DigitsKind::Finite && (result.count != digits || result.digits[0] == '0'))
        std::abort();
    }
  }
  std::free(token);
  return 0;
}

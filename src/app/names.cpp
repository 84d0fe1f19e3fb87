// File names fetched into fixed 120-character fields, and their trimmed text.
#include "app/names.h"

#include <algorithm>
#include <cstring>

namespace app {

NameField NameField::fromArgument(std::string_view argument) {
  NameField name;
  const std::size_t count = std::min(argument.size(), kWidth);
  std::memcpy(name.text, argument.data(), count);
  std::memset(name.text + count, ' ', kWidth - count);
  return name;
}

std::string_view NameField::trimmed() const {
  std::size_t length = kWidth;
  while (length > 0 && text[length - 1] == ' ') --length;
  return {text, length};
}

}  // namespace app

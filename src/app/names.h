// File names as the program keeps them: fixed 120-character fields, blank-padded.
#pragma once

#include <cstddef>
#include <string_view>

namespace app {

struct NameField {
  static constexpr std::size_t kWidth = 120;
  char text[kWidth];

  // The argument's first 120 characters, the rest of the field blanks.
  static NameField fromArgument(std::string_view argument);
  // The name without its trailing blanks.
  std::string_view trimmed() const;
  std::string_view field() const { return {text, kWidth}; }
};

}  // namespace app

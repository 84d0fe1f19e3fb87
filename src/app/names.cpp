// File names taken whole from the command line, and their trimmed text.
#include "app/names.h"

namespace app {

FileName FileName::fromArgument(std::string_view argument) {
  FileName name;
  name.text_ = argument;
  return name;
}

std::string_view FileName::trimmed() const {
  std::string_view name = text_;
  while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
  return name;
}

}  // namespace app

// File names as the program takes them from its command line: each argument whole.
#pragma once

#include <string>
#include <string_view>

namespace app {

class FileName {
 public:
  // The argument whole, at any length: a name cut short would open another file than
  // the one named, and could replace it.
  static FileName fromArgument(std::string_view argument);
  // The name as the open statement gets it; the open drops trailing blanks itself.
  std::string_view text() const { return text_; }
  // The name without its trailing blanks, as the messages name it.
  std::string_view trimmed() const;

 private:
  std::string text_;
};

}  // namespace app

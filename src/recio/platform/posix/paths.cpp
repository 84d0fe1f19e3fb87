// The platform layer on POSIX, paths: a name's full path, tidied without asking the file
// system, and the character that separates a path's parts.
#include "recio/platform/platform.h"

#include <errno.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace recio::platform {

std::string fullPath(std::string_view name, std::size_t maximumLength) {
  if (name.empty()) return std::string();
  std::string absolute;
  if (name.front() != '/') {
    std::vector<char> directory(4096);
    while (::getcwd(directory.data(), directory.size()) == nullptr) {
      if (errno != ERANGE) return std::string(name);
      directory.resize(directory.size() * 2);
    }
    absolute = directory.data();
    absolute += '/';
  }
  absolute.append(name);

  // Lexical normalisation: the file need not exist, and links are not followed.
  std::vector<std::string_view> parts;
  std::string_view rest(absolute);
  while (!rest.empty()) {
    std::size_t slash = rest.find('/');
    std::string_view part = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  // The result's length is known before it is built: it is written once, in place, into a
  // string of that size (every byte starts as a slash; the parts fill the gaps).
  std::size_t length = parts.empty() ? 1 : 0;  // the root alone when every part cancelled out
  for (std::string_view part : parts) length += 1 + part.size();
  if (length > maximumLength) return std::string(name);
  std::string normal(length, '/');
  std::size_t at = 0;
  for (std::string_view part : parts) {
    part.copy(normal.data() + at + 1, part.size());
    at += 1 + part.size();
  }
  return normal;
}

bool isPathSeparator(char c) { return c == '/'; }

}  // namespace recio::platform

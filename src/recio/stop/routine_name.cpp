// Routine names from symbols, through the C++ ABI's demangler.
#include "recio/stop/routine_name.h"

#include <cxxabi.h>

#include <cstdlib>
#include <cstring>

namespace recio {
namespace {

constexpr char kAnonymous[] = "(anonymous namespace)";

}  // namespace

void shortRoutineName(const char* symbol, char* out, std::size_t capacity) {
  int status = 0;
  char* demangled = abi::__cxa_demangle(symbol, nullptr, nullptr, &status);
  const char* name = status == 0 && demangled != nullptr ? demangled : symbol;
  std::size_t end = 0;
  int templateDepth = 0;
  std::size_t start = 0;
  for (; name[end] != '\0'; ++end) {
    char c = name[end];
    if (c == '<') ++templateDepth;
    if (c == '>' && templateDepth > 0) --templateDepth;
    if (templateDepth == 0 && c == '(') {
      // A routine of an unnamed namespace: its qualifier is not where the parameters start.
      if (std::strncmp(name + end, kAnonymous, sizeof kAnonymous - 1) == 0) {
        end += sizeof kAnonymous - 2;
        continue;
      }
      if (end > 0) break;
    }
    if (templateDepth == 0 && c == ':' && name[end + 1] == ':') start = end + 2;
  }
  std::size_t length = end - start;
  if (length >= capacity) length = capacity - 1;
  std::memcpy(out, name + start, length);
  out[length] = '\0';
  std::free(demangled);
}

}  // namespace recio

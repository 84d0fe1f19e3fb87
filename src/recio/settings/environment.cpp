// Environment variables through the C runtime, which both systems' builds share.
#include "recio/settings/environment.h"

#include <cstdlib>

namespace recio {

const char* environmentText(const char* name) {
  const char* text = std::getenv(name);
  return text != nullptr && *text != '\0' ? text : nullptr;
}

bool textIsTrue(const char* text) {
  if (text == nullptr || *text == '\0') return false;
  const char first = text[0];
  if (first == 't' || first == 'T' || first == 'y' || first == 'Y') return true;
  bool nonZero = false;
  for (const char* c = text; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9') return false;
    if (*c != '0') nonZero = true;
  }
  return nonZero;
}

bool environmentIsTrue(const char* name) { return textIsTrue(environmentText(name)); }

}  // namespace recio

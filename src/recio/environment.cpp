// Environment variables through the C runtime, which both systems' builds share.
#include "recio/environment.h"

#include <cstdlib>

namespace recio {

const char* environment(const char* name) { return std::getenv(name); }

bool isTrue(const char* value) {
  if (value == nullptr || *value == '\0') return false;
  char first = value[0];
  if (first == 't' || first == 'T' || first == 'y' || first == 'Y') return true;
  bool nonZero = false;
  for (const char* c = value; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9') return false;
    if (*c != '0') nonZero = true;
  }
  return nonZero;
}

bool environmentIsTrue(const char* name) { return isTrue(environment(name)); }

}  // namespace recio

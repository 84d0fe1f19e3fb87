// The read-ahead's policy: the machine's defaults unless a test overrides them.
#include "recio/reader/read_ahead_policy.h"

namespace recio {
namespace {

ReadAheadPolicy& policy() {
  static ReadAheadPolicy value;
  return value;
}

}  // namespace

void overrideReadAheadPolicyForTests(const ReadAheadPolicy& replacement) { policy() = replacement; }

namespace reader {

const ReadAheadPolicy& readAheadPolicy() { return policy(); }

}  // namespace reader

}  // namespace recio

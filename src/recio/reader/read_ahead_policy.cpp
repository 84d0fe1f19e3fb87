// The read-ahead's policy: the machine's defaults unless a test overrides them.
#include "recio/reader/read_ahead_policy.h"

namespace recio::reader {
namespace {

ReadAheadPolicy& policy() {
  static ReadAheadPolicy value;
  return value;
}

}  // namespace

const ReadAheadPolicy& readAheadPolicy() { return policy(); }

void overrideReadAheadPolicyForTests(const ReadAheadPolicy& replacement) { policy() = replacement; }

}  // namespace recio::reader

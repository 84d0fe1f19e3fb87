// The direct writes' policy: the machine's defaults unless a test overrides them.
#include "recio/units/direct_write_policy.h"

namespace recio {
namespace {

DirectWritePolicy& policy() {
  static DirectWritePolicy value;
  return value;
}

}  // namespace

const DirectWritePolicy& directWritePolicy() { return policy(); }

void overrideDirectWritePolicyForTests(const DirectWritePolicy& replacement) { policy() = replacement; }

}  // namespace recio

// The environment's truth rule: which texts of a switch variable (XIO_DISABLE_STACK_TRACE,
// XIOT_BUFFERED and the others) turn it on.
#include "recio/settings/environment.h"

#include <gtest/gtest.h>

namespace {

TEST(TruthRule, Table) {
  struct Case {
    const char* value;
    bool isTrue;
  };
  const Case cases[] = {
      {"t", true},   {"T", true},      {"y", true},   {"Y", true},      {"true", true}, {"yes", true},
      {"tx", true},  {"Yonder", true}, {"1", true},   {"007", true},    {"10", true},   {"99999999999999999999", true},
      {"0", false},  {"000", false},   {"no", false}, {"false", false}, {"", false},    {"n", false},
      {"f", false},  {"1x", false},    {" 1", false}, {"-1", false},    {"+1", false},  {"1 ", false},
      {" t", false}, {"0x1", false},
  };
  for (const Case& test : cases) EXPECT_EQ(recio::textIsTrue(test.value), test.isTrue) << "[" << test.value << "]";
  EXPECT_FALSE(recio::textIsTrue(nullptr));
}

}  // namespace

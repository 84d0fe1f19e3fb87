// Values for a run of the point table's write statements (recio/format/write_statements.h)
// where only the run matters, not what its records hold.
#pragma once

#include <cstddef>
#include <cstdint>

#include "recio/format/write_statements.h"

namespace testing_support {

// Every value of every statement is 1.5; the point table's four values per statement.
class ConstantValues final : public recio::StatementValues {
 public:
  void fill(std::uint64_t, std::size_t count, double* values) const override {
    for (std::size_t value = 0; value < 4 * count; ++value) values[value] = 1.5;
  }
};

}  // namespace testing_support

// Giving a unit up before reporting on it.
#include "recio/units/held_unit.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace recio {

void HeldUnit::releaseAndReport(std::int32_t messageNumber) {
  // The report closes every unit, which takes their locks: this one must be given up
  // first, or the report would wait for itself. Once given up, the unit may be closed
  // and freed by another thread, so what the report names is copied out beforehand.
  const std::int32_t number = unit_->number();
  char path[kMaxPathLength];
  const std::size_t pathLength = std::min(unit_->path().size(), sizeof path);
  std::memcpy(path, unit_->path().data(), pathLength);
  release();
  fatalReport(messageNumber, number, std::string_view(path, pathLength));
}

}  // namespace recio

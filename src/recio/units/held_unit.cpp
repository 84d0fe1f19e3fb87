// Giving a unit up before reporting on it.
#include "recio/units/held_unit.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace recio {

void HeldUnit::releaseAndReport(std::int32_t messageNumber) {
  // The report closes every unit, which takes their locks: this one must be given up
  // first, or the report would wait for itself. Once given up, the unit may be closed
  // and freed by another thread, so what the report names is copied out beforehand,
  // whole: the memory may be short, so the stack holds what it can.
  const std::int32_t number = unit_->number();
  const std::string& name = unit_->path();
  char onStack[1024];
  char* path = name.size() <= sizeof onStack ? onStack : static_cast<char*>(std::malloc(name.size()));
  std::size_t pathLength = name.size();
  if (path == nullptr) {
    path = onStack;
    pathLength = sizeof onStack;
  }
  std::memcpy(path, name.data(), pathLength);
  release();
  fatalReport(messageNumber, number, std::string_view(path, pathLength));
  if (path != onStack) std::free(path);
}

}  // namespace recio

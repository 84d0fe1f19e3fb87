// The routine column of a traceback frame. With the platform because it reads symbols as
// the toolchain mangles them (the same C++ ABI on both systems).
#pragma once

#include <cstddef>

namespace recio::platform {

// The unqualified name of a routine from its (possibly mangled) symbol:
// "_ZN5recio11fatalReportEiiSt17basic_string_view..." gives "fatalReport".
void shortRoutineName(const char* symbol, char* out, std::size_t capacity);

}  // namespace recio::platform

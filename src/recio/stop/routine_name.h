// The routine column of a traceback frame, from a symbol as the toolchain mangles it (the
// same C++ ABI on both systems). No operating-system code: it sits beside the traceback,
// its one user.
#pragma once

#include <cstddef>

namespace recio {

// The unqualified name of a routine from its (possibly mangled) symbol:
// "_ZN5recio11fatalReportEiiSt17basic_string_view..." gives "fatalReport".
void shortRoutineName(const char* symbol, char* out, std::size_t capacity);

}  // namespace recio

// The program's compiled formats: the point-table record and the three read-failure
// messages.
#pragma once

#include <cstddef>

#include "recio/format/formatted_writer.h"

namespace app {

// (1P,3E17.9,E13.5): one point-table record, x, y, elevation and value.
extern const recio::FormatProgram kPointTableFormat;
// The values of one point-table record, as the format takes them.
inline constexpr std::size_t kPointTableValuesPerRecord = 4;
// (/,' Error reading mesh file ',A)
extern const recio::FormatProgram kMeshReadFailureFormat;
// (/,' Error reading model file ',A)
extern const recio::FormatProgram kModelReadFailureFormat;
// (/,' Error: not enough values in model file ',A)
extern const recio::FormatProgram kModelTooShortFormat;

}  // namespace app

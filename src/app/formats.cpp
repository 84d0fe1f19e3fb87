// The program's formats, compiled at build time from their descriptors.
#include "app/formats.h"

#include "recio/format/builder.h"

namespace app {
namespace {

using namespace recio::format;

constexpr auto kPointTableBytes =
    compileFormat(formatStart(), scaleFactor(1), editE(3, 17, 9), editE(1, 13, 5), formatEnd());
// A statement that hands over another count of values leaves the fast paths silently.
static_assert(kPointTableBytes.realValues == kPointTableValuesPerRecord);

constexpr auto kMeshReadFailureBytes =
    compileFormat(formatStart(), endRecord(), literal(" Error reading mesh file "), editA(), formatEnd());

constexpr auto kModelReadFailureBytes =
    compileFormat(formatStart(), endRecord(), literal(" Error reading model file "), editA(), formatEnd());

constexpr auto kModelTooShortBytes = compileFormat(
    formatStart(), endRecord(), literal(" Error: not enough values in model file "), editA(), formatEnd());

}  // namespace

constinit const recio::FormatProgram kPointTableFormat = kPointTableBytes.program();
constinit const recio::FormatProgram kMeshReadFailureFormat = kMeshReadFailureBytes.program();
constinit const recio::FormatProgram kModelReadFailureFormat = kModelReadFailureBytes.program();
constinit const recio::FormatProgram kModelTooShortFormat = kModelTooShortBytes.program();

}  // namespace app

// The message catalogue: every run-time message by number, with its severity and text.
#include "recio/stop/messages.h"

namespace recio {
namespace {

constexpr Message kCatalog[] = {
    {kMsgPermissionDenied, Severity::Severe, "permission to access file denied, unit %d, file %s"},
    {kMsgEndOfFile, Severity::Severe, "end-of-file during read, unit %d, file %s"},
    {kMsgFileNotFound, Severity::Severe, "file not found, unit %d, file %s"},
    {kMsgOpenFailure, Severity::Severe, "open failure, unit %d, file %s"},
    {kMsgWriteError, Severity::Severe, "error during write, unit %d, file %s"},
    {kMsgReadError, Severity::Severe, "error during read, unit %d, file %s"},
    {kMsgNoMemory, Severity::Severe, "insufficient virtual memory"},
    {kMsgNoSuchDevice, Severity::Severe, "no such device, unit %d, file %s"},
    {kMsgFileNameError, Severity::Severe, "file name specification error, unit %d, file %s"},
    {kMsgKeywordValue, Severity::Severe, "keyword value error in OPEN statement, unit %d, file %s"},
    {kMsgWriteOverInput, Severity::Severe, "cannot write over an input file of this run, unit %d, file %s"},
    {kMsgSyntax, Severity::Severe, "list-directed I/O syntax error, unit %d, file %s"},
    {kMsgConversion, Severity::Severe, "input conversion error, unit %d, file %s"},
    {kMsgRecordOverflow, Severity::Severe, "output statement overflows record, unit %d, file %s"},
    {kMsgTerminatorSetting, Severity::Warning,
     "XIO_FMT_TERMINATOR environment variable has erroneous syntax, value \"%s\"; "
     "records keep the CR LF terminator"},
    {kMsgTornRecord, Severity::Warning,
     "file could not be cut back to its last whole record after a failed write, unit %d, file %s"},
    {kMsgBufferMemory, Severity::Severe,
     "cannot allocate memory for the file buffer - out of memory, unit %d, file %s"},
    {kMsgReclSyntax, Severity::Severe, "XIOT_FMT_RECL environment variable has erroneous syntax"},
    {kMsgBlockSizeSyntax, Severity::Severe, "XIOT_BLOCKSIZE environment variable has erroneous syntax"},
    {kMsgBufferCountSyntax, Severity::Severe, "XIOT_BUFFERCOUNT environment variable has erroneous syntax"},
    {kMsgArraySize, Severity::Severe, "Cannot allocate array - overflow on array size calculation."},
    {kMsgAborting, Severity::Error, "program aborting due to %s event"},
};

}  // namespace

const Message* findMessage(std::int32_t number) {
  for (const Message& message : kCatalog) {
    if (message.number == number) return &message;
  }
  return nullptr;
}

}  // namespace recio

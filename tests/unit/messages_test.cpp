// The run-time message catalogue: the number, severity and text of every message that
// the runtime reports.
#include "recio/stop/messages.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

TEST(MessageCatalog, EntriesAndSeverities) {
  using recio::Severity;
  struct Entry {
    std::int32_t number;
    Severity severity;
    const char* text;
  };
  const Entry entries[] = {
      {9, Severity::Severe, "permission to access file denied, unit %d, file %s"},
      {24, Severity::Severe, "end-of-file during read, unit %d, file %s"},
      {29, Severity::Severe, "file not found, unit %d, file %s"},
      {30, Severity::Severe, "open failure, unit %d, file %s"},
      {38, Severity::Severe, "error during write, unit %d, file %s"},
      {39, Severity::Severe, "error during read, unit %d, file %s"},
      {41, Severity::Severe, "insufficient virtual memory"},
      {42, Severity::Severe, "no such device, unit %d, file %s"},
      {43, Severity::Severe, "file name specification error, unit %d, file %s"},
      {45, Severity::Severe, "keyword value error in OPEN statement, unit %d, file %s"},
      {59, Severity::Severe, "list-directed I/O syntax error, unit %d, file %s"},
      {64, Severity::Severe, "input conversion error, unit %d, file %s"},
      {66, Severity::Severe, "output statement overflows record, unit %d, file %s"},
      {96, Severity::Warning, nullptr},
      {98, Severity::Severe, "cannot allocate memory for the file buffer - out of memory, unit %d, file %s"},
      {99, Severity::Severe, "XIOT_FMT_RECL environment variable has erroneous syntax"},
      {106, Severity::Severe, "XIOT_BLOCKSIZE environment variable has erroneous syntax"},
      {107, Severity::Severe, "XIOT_BUFFERCOUNT environment variable has erroneous syntax"},
      {179, Severity::Severe, "Cannot allocate array - overflow on array size calculation."},
      {200, Severity::Error, "program aborting due to %s event"},
  };
  for (const Entry& entry : entries) {
    const recio::Message* message = recio::findMessage(entry.number);
    ASSERT_NE(message, nullptr) << entry.number;
    EXPECT_EQ(message->severity, entry.severity) << entry.number;
    if (entry.text != nullptr) {
      EXPECT_STREQ(message->text, entry.text) << entry.number;
    }
  }
}

}  // namespace

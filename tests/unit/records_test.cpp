// Input records: how the bytes of a file are cut into records under the CR LF, LF and CR
// formats, wherever the reads and the buffer's growth fall, and the end-of-file, Ctrl-Z,
// read-error and buffer-growth outcomes.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <string>
#include <vector>

#include "recio/stop/messages.h"
#include "recio/units/unit.h"
#include "recio/units/unit_table.h"
#include "support/sanitizer.h"
#include "support/temp_dir.h"
#include "support/test_overrides.h"
#include "support/unit_access.h"

namespace {

using recio::RecordFormat;
using testing_support::TempDir;

constexpr std::int32_t kUnit = 4;
constexpr std::int32_t kEndOfFile = recio::kMsgEndOfFile;

// One getRecord outcome: a record, or a message number.
struct Outcome {
  std::int32_t result;
  std::string record;
  bool operator==(const Outcome&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Outcome& outcome) {
  if (outcome.result != 0) return out << "<" << outcome.result << ">";
  out << '"';
  for (char c : outcome.record) {
    if (c == '\r') {
      out << "\\r";
    } else if (c == '\n') {
      out << "\\n";
    } else if (c == '\x1a') {
      out << "^Z";
    } else {
      out << c;
    }
  }
  return out << '"';
}

Outcome record(std::string text) { return {0, std::move(text)}; }
const Outcome kEnd{kEndOfFile, {}};

// The records of a file's contents, stated independently of any buffering: split at the
// terminator byte; bytes after the last terminator form one more record; under CR LF and
// LF the CRs at a record's end go; a record of one Ctrl-Z is an end of file, and reading
// goes on after it. The file's end gives end of file, again and again.
std::vector<Outcome> referenceOutcomes(const std::string& contents, RecordFormat format, std::size_t trailingEnds) {
  const char terminator = format == RecordFormat::Cr ? '\r' : '\n';
  std::vector<Outcome> outcomes;
  std::size_t start = 0;
  while (start < contents.size()) {
    std::size_t end = contents.find(terminator, start);
    const std::size_t next = end == std::string::npos ? contents.size() : end + 1;
    if (end == std::string::npos) end = contents.size();
    std::string text = contents.substr(start, end - start);
    if (format != RecordFormat::Cr) {
      while (!text.empty() && text.back() == '\r') text.pop_back();
    }
    outcomes.push_back(text == "\x1a" ? kEnd : record(text));
    start = next;
  }
  for (std::size_t count = 0; count < trailingEnds; ++count) outcomes.push_back(kEnd);
  return outcomes;
}

class InputRecords : public testing::Test {
 protected:
  void SetUp() override { testing_support::clearIoEnvironment(); }
  void TearDown() override { recio::closeUnit(kUnit, true); }

  // Opens `contents` as a file under `format` and reads `count` outcomes. The file lives
  // in memory: thousands of files are read, and creating each on disk can take milliseconds.
  std::vector<Outcome> read(const std::string& contents, RecordFormat format, std::size_t count) {
    const int memory = ::memfd_create("input", MFD_CLOEXEC);
    EXPECT_GE(memory, 0);
    EXPECT_EQ(::write(memory, contents.data(), contents.size()), static_cast<ssize_t>(contents.size()));
    const std::string path = "/proc/self/fd/" + std::to_string(memory);
    EXPECT_EQ(testing_support::openForReading(kUnit, path), 0);
    ::close(memory);
    recio::Unit* unit = recio::acquireUnit(kUnit);
    EXPECT_NE(unit, nullptr);
    if (unit == nullptr) return {};
    testing_support::UnitAccess::setRecordFormat(*unit, format);
    recio::releaseUnit(*unit);
    std::vector<Outcome> outcomes;
    for (std::size_t index = 0; index < count; ++index) {
      testing_support::InputRecord input = testing_support::readRecord(kUnit);
      outcomes.push_back({input.result, input.text});
    }
    recio::closeUnit(kUnit, true);
    return outcomes;
  }

  TempDir directory;
  testing_support::TestOverridesReset hooksReset_;
};

struct FormatCase {
  const char* contents;
  RecordFormat format;
  std::vector<Outcome> outcomes;  // followed by end of file
};

TEST_F(InputRecords, Formats) {
  const std::vector<FormatCase> cases = {
      {"", RecordFormat::CrLf, {}},
      {"a\r\nb\r\n", RecordFormat::CrLf, {record("a"), record("b")}},
      {"a\nb\n", RecordFormat::CrLf, {record("a"), record("b")}},
      {"a\r\nb\r\n", RecordFormat::Lf, {record("a"), record("b")}},
      {"7\r\r\n", RecordFormat::CrLf, {record("7")}},
      {"7\r\r\n", RecordFormat::Lf, {record("7")}},
      {"a\rb\r\n", RecordFormat::CrLf, {record("a\rb")}},
      {"\n\r\n\n", RecordFormat::CrLf, {record(""), record(""), record("")}},
      {"last", RecordFormat::CrLf, {record("last")}},
      {"last\r", RecordFormat::CrLf, {record("last")}},
      {"a\n\r", RecordFormat::CrLf, {record("a"), record("")}},
      {"a\rb\r", RecordFormat::Cr, {record("a"), record("b")}},
      {"a\r\nb\r\n", RecordFormat::Cr, {record("a"), record("\nb"), record("\n")}},
      {"a\r\r", RecordFormat::Cr, {record("a"), record("")}},
      {"a\nb", RecordFormat::Cr, {record("a\nb")}},
      {"a\n\x1a\nb\n", RecordFormat::CrLf, {record("a"), kEnd, record("b")}},
      {"\x1a", RecordFormat::CrLf, {kEnd}},
      {"\x1a\r\n", RecordFormat::CrLf, {kEnd}},
      {"\x1a\x1a\n \x1a\n\x1a \n", RecordFormat::CrLf, {record("\x1a\x1a"), record(" \x1a"), record("\x1a ")}},
      {"\x1a\r", RecordFormat::Cr, {kEnd}},
      {"\x1a\n", RecordFormat::Cr, {record("\x1a\n")}},
  };
  for (const FormatCase& test : cases) {
    std::vector<Outcome> expected = test.outcomes;
    expected.push_back(kEnd);
    expected.push_back(kEnd);
    EXPECT_EQ(read(test.contents, test.format, expected.size()), expected)
        << "format " << static_cast<int>(test.format) << ", contents " << testing::PrintToString(test.contents);
  }
  // NUL and other control bytes are ordinary record bytes.
  const std::string binary("n\0l\x01\t \n", 7);
  EXPECT_EQ(read(binary, RecordFormat::CrLf, 2), (std::vector<Outcome>{record(std::string("n\0l\x01\t ", 6)), kEnd}));
}

constexpr int kRandomFiles = testing_support::sanitizedCount(1000, 5);

TEST_F(InputRecords, RandomFilesWithTinyBuffers) {
  // Few kinds of byte, so that terminators, CR runs, Ctrl-Z lines and files ending
  // without a terminator are frequent, and every record boundary meets every buffer end.
  static constexpr char kBytes[] = {'a', 'b', '\r', '\n', '\n', '\x1a'};
  std::mt19937 random(5150);
  std::uniform_int_distribution<int> pick(0, sizeof kBytes - 1);
  std::uniform_int_distribution<int> length(0, 40);
  int checked = 0;
  for (std::size_t initialCapacity : {1, 2, 3, 4, 5, 7, 8, 16}) {
    recio::overrideInputBufferLimitsForTests({.initialCapacity = initialCapacity});
    for (RecordFormat format : {RecordFormat::CrLf, RecordFormat::Lf, RecordFormat::Cr}) {
      for (int round = 0; round < kRandomFiles; ++round) {
        std::string contents;
        for (int count = length(random); count > 0; --count) contents += kBytes[pick(random)];
        const std::vector<Outcome> expected = referenceOutcomes(contents, format, 2);
        ASSERT_EQ(read(contents, format, expected.size()), expected)
            << "initial capacity " << initialCapacity << ", format " << static_cast<int>(format) << ", contents "
            << testing::PrintToString(contents);
        ++checked;
      }
    }
  }
  EXPECT_EQ(checked, 8 * 3 * kRandomFiles);
}

TEST_F(InputRecords, LastLineWithoutTerminatorAtEveryPosition) {
  // Every file length against every buffer size: the last record is whole and alone.
  for (std::size_t initialCapacity = 1; initialCapacity <= 9; ++initialCapacity) {
    recio::overrideInputBufferLimitsForTests({.initialCapacity = initialCapacity});
    for (std::size_t lastLength = 1; lastLength <= 20; ++lastLength) {
      const std::string last(lastLength, 'z');
      for (const std::string& before : {std::string(), std::string("12\r\n"), std::string("123456\n")}) {
        std::vector<Outcome> expected;
        if (!before.empty()) expected.push_back(record(before.substr(0, before.find_first_of("\r\n"))));
        expected.push_back(record(last));
        expected.push_back(kEnd);
        ASSERT_EQ(read(before + last, RecordFormat::CrLf, expected.size()), expected)
            << "capacity " << initialCapacity << ", last line " << lastLength;
      }
    }
  }
}

TEST_F(InputRecords, VeryLongLine) {
  std::string line;
  for (int index = 0; index < 100000; ++index) line += static_cast<char>('a' + index % 26);
  const std::string contents = "short\n" + line + "\r\n" + line + "\nend";
  const std::vector<Outcome> expected = {record("short"), record(line), record(line), record("end"), kEnd};
  EXPECT_EQ(read(contents, RecordFormat::CrLf, expected.size()), expected);
  recio::overrideInputBufferLimitsForTests({.initialCapacity = 1});
  EXPECT_EQ(read(contents, RecordFormat::CrLf, expected.size()), expected) << "grown from one byte";
}

TEST_F(InputRecords, BufferThatCannotGrowIs98) {
  recio::overrideInputBufferLimitsForTests({.initialCapacity = 4, .maximumCapacity = 16});
  // 15 characters and the terminator fill the largest buffer exactly.
  EXPECT_EQ(read(std::string(15, 'f') + "\n" + "x\n", RecordFormat::CrLf, 3),
            (std::vector<Outcome>{record(std::string(15, 'f')), record("x"), kEnd}));
  EXPECT_EQ(read(std::string(16, 'f') + "\n", RecordFormat::CrLf, 1),
            (std::vector<Outcome>{{recio::kMsgBufferMemory, {}}}));
  EXPECT_EQ(read("ok\n" + std::string(40, 'f'), RecordFormat::CrLf, 2),
            (std::vector<Outcome>{record("ok"), {recio::kMsgBufferMemory, {}}}));
}

TEST_F(InputRecords, ReadErrorIs39) {
  const std::string path = directory.write("input.txt", "never read\n");
  ASSERT_EQ(testing_support::openForReading(kUnit, path), 0);
  // The unit's descriptor is made to denote a directory, which cannot be read.
  recio::Unit* unit = recio::acquireUnit(kUnit);
  ASSERT_NE(unit, nullptr);
  const int directoryHandle = ::open(directory.path().c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(directoryHandle, 0);
  const int handle = testing_support::UnitAccess::connection(*unit).handle;
  ASSERT_EQ(::dup2(directoryHandle, handle), handle);
  ::close(directoryHandle);
  recio::releaseUnit(*unit);
  const testing_support::InputRecord input = testing_support::readRecord(kUnit);
  EXPECT_EQ(input.result, recio::kMsgReadError);
  unit = recio::acquireUnit(kUnit);
  ASSERT_NE(unit, nullptr);
  EXPECT_EQ(testing_support::UnitAccess::osError(*unit), EISDIR) << "the system's code is kept with the unit";
  recio::releaseUnit(*unit);
}

TEST(ReferenceOutcomes, AgreesWithHandPickedCases) {
  EXPECT_EQ(referenceOutcomes("a\r\r\nb", RecordFormat::CrLf, 1),
            (std::vector<Outcome>{record("a"), record("b"), kEnd}));
  EXPECT_EQ(referenceOutcomes("a\r\nb\r\n", RecordFormat::Cr, 0),
            (std::vector<Outcome>{record("a"), record("\nb"), record("\n")}));
  EXPECT_EQ(referenceOutcomes("\x1a\r\n\n", RecordFormat::Lf, 0), (std::vector<Outcome>{kEnd, record("")}));
}

}  // namespace

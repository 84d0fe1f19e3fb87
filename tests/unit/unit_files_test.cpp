// Connecting units to files, in the test's own process: the outcomes of an open, the file
// name rules, the start-up settings, writing records buffered and unbuffered, the
// truncation of an existing table, and opening a connected number again. What needs the
// run to end, a report or a second process is in end_to_end/units_test.cpp.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "recio/settings/settings.h"
#include "recio/stop/messages.h"
#include "recio/stop/stop.h"
#include "recio/units/held_unit.h"
#include "recio/units/unit.h"
#include "recio/units/unit_table.h"
#include "support/run_program.h"
#include "support/temp_dir.h"
#include "support/test_overrides.h"
#include "support/unit_access.h"
#include "support/units_fixture.h"

namespace {

using testing_support::openForReading;
using testing_support::openForWriting;
using testing_support::readFile;
using testing_support::readRecord;
using testing_support::TempDir;
using testing_support::unitPath;
using testing_support::writeRecord;

class Units : public testing_support::UnitsFixture {
 protected:
  // Sets start-up settings as if the run had begun with them.
  static void startWith(const std::vector<std::pair<const char*, const char*>>& settings) {
    for (const auto& [name, value] : settings) ::setenv(name, value, 1);
    recio::readStartUpSettings();
  }
};

// --- Open outcomes ------------------------------------------------------------------------

TEST_F(Units, OpenOutcomes) {
  const std::string existing = directory.write("mesh.msh", "3 2 1\n");
  ::mkdir(directory.file("sub").c_str(), 0755);

  // Reading.
  EXPECT_EQ(openForReading(1, existing), 0);
  EXPECT_EQ(recio::closeUnit(1, true), 0);
  EXPECT_EQ(openForReading(1, directory.file("missing.msh")), recio::kMsgFileNotFound);
  EXPECT_EQ(openForReading(1, directory.file("no/such/dir/mesh.msh")), recio::kMsgFileNotFound);
  EXPECT_EQ(openForReading(1, existing + "/below-a-file"), recio::kMsgFileNotFound);
  EXPECT_EQ(openForReading(1, directory.file("sub")), recio::kMsgPermissionDenied) << "a directory cannot be read";
  EXPECT_EQ(openForReading(1, std::string(300, 'n')), recio::kMsgFileNameError) << "name too long";
  // Writing.
  EXPECT_EQ(openForWriting(1, directory.file("no/such/dir/table.xyz")), recio::kMsgFileNotFound);
  EXPECT_EQ(openForWriting(1, directory.file("sub")), recio::kMsgPermissionDenied);
  // A failed open leaves the unit unconnected.
  EXPECT_EQ(recio::acquireUnit(1), nullptr);
}

TEST_F(Units, SocketIsNoSuchDevice) {
  const std::string path = directory.file("socket");
  const int socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_GE(socket, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  ASSERT_LT(path.size(), sizeof address.sun_path);
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  ASSERT_EQ(::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  EXPECT_EQ(openForReading(1, path), recio::kMsgNoSuchDevice);
  EXPECT_EQ(openForWriting(1, path), recio::kMsgNoSuchDevice);
  ::close(socket);
}

// --- File names ------------------------------------------------------------------------------

TEST_F(Units, LeadingBlanksSkippedTrailingBlanksAndNulsRemoved) {
  const std::string path = directory.write("model.mod", "1.5\n");
  EXPECT_EQ(openForReading(1, "   " + path), 0);
  EXPECT_EQ(unitPath(1), path);
  EXPECT_EQ(openForReading(2, path + std::string(120 - path.size(), ' ')), 0);
  EXPECT_EQ(unitPath(2), path);
  EXPECT_EQ(openForReading(3, path + std::string("  \0\0 \0", 6)), 0);
  EXPECT_EQ(unitPath(3), path);
  EXPECT_EQ(readRecord(3).text, "1.5");
}

TEST_F(Units, RelativeNamesAreResolvedLexically) {
  const std::string path = directory.write("grid.msh", "x\n");
  ::mkdir(directory.file("sub").c_str(), 0755);
  EXPECT_EQ(openForReading(1, directory.path() + "//sub/./../grid.msh"), 0);
  EXPECT_EQ(unitPath(1), path);
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(directory.file("sub"));
  EXPECT_EQ(openForReading(2, "../grid.msh"), 0);
  EXPECT_EQ(unitPath(2), path);
  EXPECT_EQ(openForWriting(3, "new.xyz"), 0);
  EXPECT_EQ(unitPath(3), directory.file("sub/new.xyz"));
  std::filesystem::current_path(before);
}

TEST_F(Units, ANameIsUsedWhole) {
  // A file whose full path is exactly 256 characters, and one whose name goes on past it:
  // each name opens its own file, leading blanks skipped.
  const std::size_t fileLength = 256 - directory.path().size() - 1;
  ASSERT_LT(fileLength, 256u);
  const std::string path = directory.write(std::string(fileLength, 'f'), "short\n");
  ASSERT_EQ(path.size(), 256u);
  const std::string longer = directory.write(std::string(fileLength, 'f') + "-and-more-characters", "long\n");
  EXPECT_EQ(openForReading(1, longer), 0);
  EXPECT_EQ(unitPath(1), longer);
  EXPECT_EQ(readRecord(1).text, "long");
  EXPECT_EQ(openForReading(2, " " + path), 0);
  EXPECT_EQ(readRecord(2).text, "short");
  EXPECT_EQ(openForReading(3, path + "-and-more"), recio::kMsgFileNotFound);
}

// A relative name is made absolute up to a full path of 256 characters, and kept as
// written past it.
TEST_F(Units, RelativeNameIsMadeAbsoluteUpTo256Characters) {
  const std::size_t fileLength = 256 - directory.path().size() - 1;
  const std::string exact = directory.write(std::string(fileLength, 'e'), "");
  const std::string over = directory.write(std::string(fileLength + 1, 'o'), "");
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(directory.path());
  EXPECT_EQ(openForReading(1, std::string(fileLength, 'e')), 0);
  EXPECT_EQ(openForReading(2, std::string(fileLength + 1, 'o')), 0);
  std::filesystem::current_path(before);
  EXPECT_EQ(unitPath(1), exact);
  EXPECT_EQ(unitPath(2), std::string(fileLength + 1, 'o'));
}

TEST_F(Units, FullPathLongerThan256KeepsTheNameAsWritten) {
  std::string deep = directory.path();
  while (deep.size() < 260) {
    deep += "/" + std::string(40, 'd');
    ::mkdir(deep.c_str(), 0755);
  }
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(deep);
  EXPECT_EQ(openForWriting(1, "table.xyz"), 0);
  EXPECT_EQ(unitPath(1), "table.xyz");
  EXPECT_EQ(writeRecord(1, "r"), 0);
  std::filesystem::current_path(before);
  EXPECT_EQ(recio::closeUnit(1, true), 0);
  EXPECT_EQ(readFile(deep + "/table.xyz"), "r\r\n");
}

// --- Start-up settings -------------------------------------------------------------------------

int openDescriptorCount() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) ++count;
  return count;
}

TEST_F(Units, InvalidSettingsFailEveryOpenAfterTheSystemOpen) {
  const std::string path = directory.write("mesh.msh", "1\n");
  struct Case {
    const char* name;
    const char* value;
    std::int32_t result;
  };
  const Case cases[] = {
      {"XIOT_BLOCKSIZE", "abc", 106},      {"XIOT_BLOCKSIZE", "-512", 106},
      {"XIOT_BLOCKSIZE", " 512", 106},     {"XIOT_BLOCKSIZE", "2147467265", 106},
      {"XIOT_BLOCKSIZE", "2147467264", 0}, {"XIOT_BLOCKSIZE", "512", 0},
      {"XIOT_BUFFERCOUNT", "128", 107},    {"XIOT_BUFFERCOUNT", "x", 107},
      {"XIOT_BUFFERCOUNT", "-1", 107},     {"XIOT_BUFFERCOUNT", "127", 0},
      {"XIOT_BUFFERCOUNT", "0", 0},        {"XIOT_FMT_RECL", "x", 99},
      {"XIOT_FMT_RECL", "-1", 99},         {"XIOT_FMT_RECL", "0", 0},
      {"XIOT_FMT_RECL", "132", 0},         {"XIOT_BLOCKSIZE", "", 0},
  };
  for (const Case& test : cases) {
    testing_support::clearIoEnvironment();
    startWith({{test.name, test.value}});
    const int descriptors = openDescriptorCount();
    EXPECT_EQ(openForReading(1, path), test.result) << test.name << "=" << test.value;
    EXPECT_EQ(openForWriting(2, directory.file("table.xyz")), test.result) << test.name << "=" << test.value;
    if (test.result != 0) {
      EXPECT_EQ(openDescriptorCount(), descriptors) << "the file opened before the check is closed again";
      // The system open comes first: a missing file is still reported as missing.
      EXPECT_EQ(openForReading(3, directory.file("missing")), recio::kMsgFileNotFound);
    }
    recio::closeUnit(1, true);
    recio::closeUnit(2, true);
  }
}

TEST_F(Units, SettingsReachTheUnit) {
  struct Case {
    std::vector<std::pair<const char*, const char*>> settings;
    std::int32_t blockSize;
    std::int32_t bufferCount;
    std::int32_t recordLength;
  };
  const Case cases[] = {
      {{}, 131072, 1, 0},
      {{{"XIOT_BLOCKSIZE", "1000"}}, 1024, 1, 0},
      {{{"XIOT_BLOCKSIZE", "1024"}}, 1024, 1, 0},
      {{{"XIOT_BLOCKSIZE", "1"}, {"XIOT_BUFFERCOUNT", "3"}}, 512, 3, 0},
      {{{"XIOT_BLOCKSIZE", "0"}}, 512, 1, 0},  // no block is smaller than 512 bytes
      {{{"XIOT_BUFFERCOUNT", "0"}, {"XIOT_FMT_RECL", "132"}}, 131072, 1, 132},
  };
  const std::string path = directory.write("in", "");
  for (const Case& test : cases) {
    testing_support::clearIoEnvironment();
    startWith(test.settings);
    ASSERT_EQ(openForReading(1, path), 0);
    recio::Unit* unit = recio::acquireUnit(1);
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(testing_support::UnitAccess::connection(*unit).blockSize, test.blockSize);
    EXPECT_EQ(testing_support::UnitAccess::connection(*unit).bufferCount, test.bufferCount);
    EXPECT_EQ(unit->recordLength(), test.recordLength);
    recio::releaseUnit(*unit);
    recio::closeUnit(1, true);
  }
}

// --- Writing records -------------------------------------------------------------------------

TEST_F(Units, UnbufferedRecordsReachTheFileOneByOne) {
  const std::string path = directory.file("table.xyz");
  ASSERT_EQ(openForWriting(1, path), 0);
  std::string expected;
  for (int index = 0; index < 20; ++index) {
    const std::string record = std::string(static_cast<std::size_t>(index), 'r') + std::to_string(index);
    ASSERT_EQ(writeRecord(1, record), 0);
    expected += record + "\r\n";
    ASSERT_EQ(readFile(path), expected) << "after record " << index;
  }
  EXPECT_EQ(writeRecord(1, ""), 0);
  EXPECT_EQ(readFile(path), expected + "\r\n") << "an empty record is its terminator";
}

TEST_F(Units, BufferedRecordsReachTheFileInBlocks) {
  startWith({{"XIOT_BLOCKSIZE", "512"}, {"XIOT_BUFFERCOUNT", "2"}});
  ::setenv("XIOT_BUFFERED", "true", 1);  // read at every open
  const std::string path = directory.file("table.xyz");
  ASSERT_EQ(openForWriting(1, path), 0);
  const std::string record(10, 'b');  // 12 bytes with the terminator
  std::string expected;
  for (int index = 0; index < 200; ++index) {
    ASSERT_EQ(writeRecord(1, record), 0);
    expected += record + "\r\n";
    const std::size_t written = expected.size() / 1024 * 1024;
    ASSERT_EQ(readFile(path), expected.substr(0, written)) << "after record " << index;
  }
  EXPECT_EQ(recio::closeUnit(1, true), 0);
  EXPECT_EQ(readFile(path), expected);
  // XIOT_BUFFERED is read at each open.
  ::setenv("XIOT_BUFFERED", "0", 1);
  ASSERT_EQ(openForWriting(1, path), 0);
  ASSERT_EQ(writeRecord(1, record), 0);
  EXPECT_EQ(readFile(path), record + "\r\n");
}

// Records handed over together fill the block up to its edge under every terminator,
// down to none at all: what reaches the file is each record with its terminator, and no
// copy writes past the block (the address sanitizer watches its end).
TEST_F(Units, RecordsHandedOverTogetherFillTheBlockToItsEdge) {
  startWith({{"XIOT_BLOCKSIZE", "512"}});
  ::setenv("XIOT_BUFFERED", "true", 1);
  const std::string path = directory.file("table.xyz");
  for (const auto& [format, terminator] : {std::pair{recio::RecordFormat::CrLf, "\r\n"},
                                           {recio::RecordFormat::Lf, "\n"},
                                           {recio::RecordFormat::Cr, "\r"},
                                           {recio::RecordFormat::None, ""}}) {
    for (const std::size_t length : {std::size_t{1}, std::size_t{7}, std::size_t{62}, std::size_t{255},
                                     std::size_t{509}, std::size_t{510}, std::size_t{511}}) {
      SCOPED_TRACE("record length " + std::to_string(length) + ", terminator of " +
                   std::to_string(std::string(terminator).size()));
      ASSERT_EQ(openForWriting(1, path), 0);
      recio::Unit* unit = recio::acquireUnit(1);
      ASSERT_NE(unit, nullptr);
      testing_support::UnitAccess::setRecordFormat(*unit, format);
      // The records lie as edited ahead: each followed by the unit's terminator.
      std::string records;
      for (int index = 0; index < 40; ++index) {
        records += std::string(length, static_cast<char>('a' + index % 26)) + terminator;
      }
      const std::size_t stride = length + std::string(terminator).size();
      std::size_t done = 0;
      while (done < 40) {
        std::size_t handedOver = 0;
        ASSERT_EQ(unit->putRecordCopies(records.data() + done * stride, length, 40 - done, handedOver), 0);
        done += handedOver;
      }
      recio::releaseUnit(*unit);
      EXPECT_EQ(testing_support::closeAndRead(1, path), records);
    }
  }
}

TEST_F(Units, ExistingLongerFileIsCutAtTheFirstRecord) {
  for (const char* buffered : {"0", "1"}) {
    ::setenv("XIOT_BUFFERED", buffered, 1);
    const std::string path = directory.write("table.xyz", std::string(5000, 'o') + "\r\n");
    ASSERT_EQ(openForWriting(1, path), 0);
    EXPECT_EQ(readFile(path).size(), 5002u) << "kept until the first write";
    ASSERT_EQ(writeRecord(1, "new"), 0);
    ASSERT_EQ(writeRecord(1, "second"), 0);
    ASSERT_EQ(recio::closeUnit(1, true), 0);
    EXPECT_EQ(readFile(path), "new\r\nsecond\r\n") << "buffered=" << buffered;
  }
}

TEST_F(Units, NoRecordWrittenLeavesAnEmptyFile) {
  const std::string existing = directory.write("old.xyz", "previous run\r\n");
  ASSERT_EQ(openForWriting(1, existing), 0);
  ASSERT_EQ(recio::closeUnit(1, true), 0);
  EXPECT_EQ(readFile(existing), "");
  const std::string created = directory.file("new.xyz");
  ASSERT_EQ(openForWriting(1, created), 0);
  ASSERT_EQ(recio::closeUnit(1, true), 0);
  EXPECT_TRUE(std::filesystem::exists(created));
  EXPECT_EQ(readFile(created), "");
}

TEST_F(Units, DevicesAreNeverCut) {
  ASSERT_EQ(openForWriting(1, "/dev/null"), 0);
  EXPECT_EQ(writeRecord(1, "gone"), 0);
  EXPECT_EQ(recio::closeUnit(1, true), 0);
}

TEST_F(Units, FailedWritesAre38) {
  ASSERT_EQ(openForWriting(1, "/dev/full"), 0);
  EXPECT_EQ(writeRecord(1, "no room"), recio::kMsgWriteError);
  recio::Unit* unit = recio::acquireUnit(1);
  ASSERT_NE(unit, nullptr);
  EXPECT_EQ(testing_support::UnitAccess::osError(*unit), ENOSPC) << "the system's code is kept with the unit";
  recio::releaseUnit(*unit);
  // Buffered, the failure comes with the write-out at the close.
  ::setenv("XIOT_BUFFERED", "yes", 1);
  ASSERT_EQ(openForWriting(2, "/dev/full"), 0);
  EXPECT_EQ(writeRecord(2, "held"), 0);
  EXPECT_EQ(recio::closeUnit(2, true), recio::kMsgWriteError);
  EXPECT_EQ(recio::acquireUnit(2), nullptr) << "the unit is disconnected all the same";
}

TEST_F(Units, ClosedNumberCanBeOpenedAgainAtOnce) {
  const std::string path = directory.file("t.xyz");
  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(openForWriting(1, path), 0);
    ASSERT_EQ(writeRecord(1, std::to_string(round)), 0);
    ASSERT_EQ(recio::closeUnit(1, true), 0);
  }
  EXPECT_EQ(readFile(path), "2\r\n");
  EXPECT_EQ(recio::closeUnit(1, true), 0) << "closing an unconnected unit does nothing";
}

TEST_F(Units, OpeningAConnectedNumberWritesOutTheOldConnectionFirst) {
  ::setenv("XIOT_BUFFERED", "true", 1);
  const std::string first = directory.file("first.xyz");
  const std::string second = directory.file("second.xyz");
  ASSERT_EQ(openForWriting(1, first), 0);
  for (const char* record : {"one", "two", "three"}) ASSERT_EQ(writeRecord(1, record), 0);
  ASSERT_EQ(readFile(first), "") << "the records are still held in the block";
  ASSERT_EQ(openForWriting(1, second), 0);
  EXPECT_EQ(readFile(first), "one\r\ntwo\r\nthree\r\n");
  EXPECT_EQ(unitPath(1), second);
  ASSERT_EQ(writeRecord(1, "four"), 0);
  EXPECT_EQ(recio::closeUnit(1, true), 0);
  EXPECT_EQ(readFile(second), "four\r\n");
  EXPECT_EQ(readFile(first), "one\r\ntwo\r\nthree\r\n");
}

// The old connection is closed before the new file is opened, so the file it holds can
// be opened again; its failure to write out is the open's.
TEST_F(Units, OpeningAConnectedNumberAgainClosesTheOldConnectionFirst) {
  ::setenv("XIOT_BUFFERED", "true", 1);
  const std::string table = directory.file("table.xyz");
  ASSERT_EQ(openForWriting(1, table), 0);
  ASSERT_EQ(writeRecord(1, "old"), 0);
  ASSERT_EQ(openForWriting(1, table), 0);
  ASSERT_EQ(writeRecord(1, "new"), 0);
  EXPECT_EQ(recio::closeUnit(1, true), 0);
  EXPECT_EQ(readFile(table), "new\r\n");

  ASSERT_EQ(openForWriting(1, "/dev/full"), 0);
  ASSERT_EQ(writeRecord(1, "held in the block"), 0);
  EXPECT_EQ(openForWriting(1, table), 38);
  EXPECT_EQ(unitPath(1), "");
}

// A statement's report on its unit closes every unit, this one included: the hold gives
// the unit up first, or the report would wait for it for ever (the alarm ends that wait
// as a failure). The report names the unit as it was connected.
TEST(HeldUnitDeathTest, ReportComesAfterTheUnitIsGivenUp) {
  GTEST_FLAG_SET(death_test_style, testing_support::kDeathTestStyle);
  TempDir directory;
  const std::string table = directory.file("table.xyz");
  EXPECT_EXIT(
      {
        ::alarm(20);
        recio::setUnitCloser(recio::closeAllUnits);  // as start-up installs it
        testing_support::clearIoEnvironment();
        if (openForWriting(1, table) != 0) std::_Exit(3);
        recio::HeldUnit hold;
        hold.keepBetweenStatements();
        if (hold.take(1) == nullptr) std::_Exit(4);
        hold.endStatement();
        hold.releaseAndReport(recio::kMsgWriteError);
      },
      testing::ExitedWithCode(recio::kMsgWriteError), "error during write, unit 1, file .*table.xyz");
}

}  // namespace

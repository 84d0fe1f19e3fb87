// Connecting units to files, where the run must end, a report is made or a second process
// takes part, through the script probe: an open's failures reported, blank names, the
// status and action texts, the share rule between two processes, a setting's report, the
// cut at the stop, the closing of every unit at the end of a run, and the write calls the
// system sees. The in-process cases are in unit/unit_files_test.cpp.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "recio/stop/messages.h"
#include "recio/units/unit_table.h"
#include "support/run_program.h"
#include "support/temp_dir.h"
#include "support/test_overrides.h"
#include "support/unit_access.h"
#include "support/units_fixture.h"

namespace {

using testing_support::openForReading;
using testing_support::openForWriting;
using testing_support::openWithTexts;
using testing_support::readFile;
using testing_support::readRecord;
using testing_support::RunResult;
using testing_support::runScript;
using testing_support::TempDir;

using Units = testing_support::UnitsFixture;

// --- Open outcomes ------------------------------------------------------------------------

TEST_F(Units, PermissionDenied) {
  // Root may read and write anything: the probe gives up its privileges first.
  const bool root = ::geteuid() == 0;
  ::chmod(directory.path().c_str(), 0755);
  const std::string secret = directory.write("secret.msh", "1 1 1\n");
  ::chmod(secret.c_str(), 0);
  const std::string readOnly = directory.write("read-only.xyz", "old\r\n");
  ::chmod(readOnly.c_str(), 0444);
  const std::string protectedDirectory = directory.file("protected");
  ::mkdir(protectedDirectory.c_str(), 0555);

  std::vector<std::string> words;
  if (root) words.push_back("drop-privileges");
  for (const std::string& open : {"open 1 " + secret + " old read 1", "open 2 " + readOnly + " #4 write 1",
                                  "open 3 " + protectedDirectory + "/new.xyz #4 write 1"}) {
    std::istringstream split(open);
    for (std::string word; split >> word;) words.push_back(word);
  }
  const RunResult run = runScript(words);
  if (run.out.find("cannot-drop") != std::string::npos) GTEST_SKIP() << "cannot run as another user here";
  EXPECT_EQ(run.out, "open=9\nopen=9\nopen=9\n");
  EXPECT_EQ(run.status, 0);
  EXPECT_FALSE(std::filesystem::exists(protectedDirectory + "/new.xyz"));
  EXPECT_EQ(readFile(readOnly), "old\r\n");
}

TEST_F(Units, UnhandledOpenFailureIsASevereReport) {
  const std::string table = directory.file("no/such/dir/table.xyz");
  const RunResult run =
      runScript({"open", "1", table, "#4", "write", "0", "mark", "never"}, {"XIO_DISABLE_STACK_TRACE=1"});
  EXPECT_EQ(run.status, 29);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err,
            "xiorun: severe (29): file not found, unit 1, file " + testing_support::reportedPath(table) + "\n");
}

// --- File names ------------------------------------------------------------------------------

TEST_F(Units, EmptyAndBlankNamesAreNotFound) {
  EXPECT_EQ(openForReading(1, ""), recio::kMsgFileNotFound);
  EXPECT_EQ(openForReading(1, std::string(120, ' ')), recio::kMsgFileNotFound);
  EXPECT_EQ(openForWriting(1, ""), recio::kMsgFileNotFound);
  EXPECT_EQ(openForWriting(1, std::string(120, ' ')), recio::kMsgFileNotFound);
  const RunResult run =
      runScript({"open", "1", std::string(120, ' '), "#4", "write", "0"}, {"XIO_DISABLE_STACK_TRACE=1"});
  EXPECT_EQ(run.status, 29);
  EXPECT_EQ(run.err, "xiorun: severe (29): file not found, unit 1, file \n");
}

// --- Status and action texts ---------------------------------------------------------------

TEST_F(Units, StatusAndActionTexts) {
  const std::string path = directory.write("in.msh", "1\n");
  struct Case {
    const char* status;
    const char* action;
    std::int32_t result;
  };
  const Case cases[] = {
      {"old", "read", 0},    {"OLD", "READ", 0},      {"Old", "rEaD", 0},        {"old   ", "read  ", 0},
      {" old", "read", 45},  {"old", " read", 45},    {"", "read", 45},          {"   ", "read", 45},
      {"old", "", 45},       {"olds", "read", 45},    {"ol", "read", 45},        {"old", "reader", 45},
      {"old\t", "read", 45}, {"unknown", "write", 0}, {"UNKNOWN ", "Write ", 0}, {"unknown", "wrote", 45},
  };
  // A run never writes the file it read: the writes go to a file of their own.
  const std::string output = directory.file("out.xyz");
  for (const Case& test : cases) {
    const bool writes = test.action[0] == 'w' || test.action[0] == 'W';
    EXPECT_EQ(openWithTexts(1, writes ? output : path, test.status, test.action), test.result)
        << "[" << test.status << "] [" << test.action << "]";
    recio::closeUnit(1, true);
  }
  // Without a handler, the keyword error is a severe report naming the file as the open
  // would have taken it: blanks around the name are not part of it.
  for (const std::string& name : {path, "  " + path + "   "}) {
    const RunResult run = runScript({"open", "1", name, "olden", "read", "0"}, {"XIO_DISABLE_STACK_TRACE=1"});
    EXPECT_EQ(run.status, 45);
    EXPECT_EQ(run.err, "xiorun: severe (45): keyword value error in OPEN statement, unit 1, file " +
                           testing_support::reportedPath(path) + "\n");
  }
}

// --- The share rule between two processes ----------------------------------------------------

TEST_F(Units, AFileHeldForWritingCanBeReadButNotWritten) {
  SKIP_UNDER_WINE("one side is the Linux test itself, whose flock locks a Windows program does not see "
                  "(windows_test shares a file between two Windows programs)");
  const std::string path = directory.file("table.xyz");
  testing_support::StartedProgram writer =
      testing_support::startScript({"open", "1", path, "#4", "write", "0", "write", "1", "1", "hello", "wait"});
  ASSERT_TRUE(testing_support::waitForOutput(writer, "ready\n"));
  EXPECT_EQ(openForReading(1, path), 0);
  EXPECT_EQ(readRecord(1).text, "hello");
  EXPECT_EQ(openForWriting(2, path), recio::kMsgOpenFailure);
  ::kill(writer.pid, SIGKILL);
  testing_support::finishProgram(writer);
  // Once the other process has let go, the file can be written again (by a run that
  // has not read it).
  recio::closeUnit(1, true);
  recio::forgetFilesReadForTests();
  EXPECT_EQ(openForWriting(2, path), 0);
}

TEST_F(Units, AFileBeingReadCannotBeWrittenByAnotherProcess) {
  SKIP_UNDER_WINE("one side is the Linux test itself, whose flock locks a Windows program does not see "
                  "(windows_test shares a file between two Windows programs)");
  const std::string path = directory.write("model.mod", "1\n");
  ASSERT_EQ(openForReading(1, path), 0);
  RunResult run = runScript({"open", "1", path, "#4", "write", "1", "open", "2", path, "old", "read", "1"});
  EXPECT_EQ(run.out, "open=30\nopen=0\n") << "readers share the file, writers do not";
  ASSERT_EQ(recio::closeUnit(1, true), 0);
  run = runScript({"open", "1", path, "#4", "write", "1"});
  EXPECT_EQ(run.out, "open=0\n");
  // The refused writer left the file alone; the later one, writing nothing, cut it.
  EXPECT_EQ(readFile(path), "");
}

TEST_F(Units, UnhandledShareConflictIsReport30) {
  SKIP_UNDER_WINE("one side is the Linux test itself, whose flock locks a Windows program does not see "
                  "(windows_test shares a file between two Windows programs)");
  const std::string path = directory.file("table.xyz");
  ASSERT_EQ(openForWriting(1, path), 0);
  const RunResult run = runScript({"open", "1", path, "#4", "write", "0"}, {"XIO_DISABLE_STACK_TRACE=1"});
  EXPECT_EQ(run.status, 30);
  EXPECT_EQ(run.err, "xiorun: severe (30): open failure, unit 1, file " + path + "\n");
}

// --- Start-up settings -------------------------------------------------------------------------

TEST_F(Units, InvalidSettingUnhandledIsASevereReport) {
  const std::string path = directory.file("table.xyz");
  const RunResult run =
      runScript({"open", "1", path, "#4", "write", "0"}, {"XIOT_BUFFERCOUNT=many", "XIO_DISABLE_STACK_TRACE=1"});
  EXPECT_EQ(run.status, 107);
  EXPECT_EQ(run.err, "xiorun: severe (107): XIOT_BUFFERCOUNT environment variable has erroneous syntax\n");
}

// --- Writing records -------------------------------------------------------------------------

TEST_F(Units, TheCutAtCloseAlsoHappensAtTheStop) {
  const std::string existing = directory.write("old.xyz", "previous run\r\n");
  const RunResult run = runScript({"open", "1", existing, "#4", "write", "0"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(readFile(existing), "");
}

// --- Closing everything at the end of a run ---------------------------------------------------

TEST_F(Units, StopWritesOutEveryUnit) {
  const std::string first = directory.file("first.xyz");
  const std::string second = directory.file("second.xyz");
  // A script, laid out a command and its words at a time.
  // clang-format off
  const RunResult run = runScript({"print", "1", "console", "open", "1", first, "#4", "write", "0", "open", "2", second,
                                   "#4", "write", "0", "write", "1", "300", "one", "write", "2", "300", "two"},
                                  {"XIOT_BUFFERED=1", "XIOT_BUFFER_STDOUT=1"});
  // clang-format on
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, " console\r\n");
  std::string one, two;
  for (int index = 0; index < 300; ++index) {
    one += "one\r\n";
    two += "two\r\n";
  }
  EXPECT_EQ(readFile(first), one);
  EXPECT_EQ(readFile(second), two);
}

TEST_F(Units, CloseAllUnitsRunsOnce) {
  const std::string path = directory.file("t.xyz");
  const RunResult run = runScript(
      {"open", "1", path, "#4", "write", "0", "write", "1", "3", "abc", "close-all", "close-all", "stop", "4"},
      {"XIOT_BUFFERED=1"});
  EXPECT_EQ(run.status, 4);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(readFile(path), "abc\r\nabc\r\nabc\r\n");
}

TEST_F(Units, FailingUnitAtTheStopIsReportedAndTheOthersAreStillWritten) {
  const std::string path = directory.file("table.xyz");
  const std::vector<std::string> openFull = {"open", "2", "/dev/full", "#4", "write", "0", "write", "2", "1", "lost"};
  const std::vector<std::string> openFile = {"open", "3", path, "#4", "write", "0", "write", "3", "5", "kept"};
  for (bool failingFirst : {true, false}) {
    std::vector<std::string> words = failingFirst ? openFull : openFile;
    const std::vector<std::string>& then = failingFirst ? openFile : openFull;
    words.insert(words.end(), then.begin(), then.end());
    words.insert(words.end(), {"print", "1", "console", "stop", "0"});
    const RunResult run = runScript(words, {"XIOT_BUFFERED=1", "XIOT_BUFFER_STDOUT=1", "XIO_DISABLE_STACK_TRACE=1"});
    EXPECT_EQ(run.status, 38);
    EXPECT_EQ(run.err, "xiorun: severe (38): error during write, unit 2, file " +
                           testing_support::reportedPath("/dev/full") + "\n");
    EXPECT_EQ(readFile(path), "kept\r\nkept\r\nkept\r\nkept\r\nkept\r\n") << "failing unit first: " << failingFirst;
    EXPECT_EQ(run.out, " console\r\n");
  }
}

// A user's shell or pipeline may start the run with SIGPIPE ignored, so that a write to a
// pipe whose reader has gone fails with EPIPE instead of ending the process. A normal stop
// that meets such a pipe while it writes out the table's last block has lost records that
// were meant to be read: the run ends with that write's report and 38, not with success.
// (Only a run that is being aborted anyway lets the closed pipe pass.) The probe's last
// open is of a second FIFO, which waits for a reader: the test opens that one only once
// the table's reader has gone, so that the stop comes after it.
TEST_F(Units, ClosedPipeAtTheNormalStopIsAFailedWrite) {
  SKIP_UNDER_WINE("a FIFO is not a file that wine's programs open");
  const std::string path = directory.file("table.fifo");
  const std::string gate = directory.file("gate.fifo");
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  ASSERT_EQ(::mkfifo(gate.c_str(), 0600), 0);
  // Close-on-exec: a reader inherited by the child would keep the FIFO open.
  const int reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(reader, 0);
  std::vector<std::string> arguments = {"-c", "trap '' PIPE; " + testing_support::execProgram() + "\"$0\" \"$@\"",
                                        testing_support::probePath("script")};
  // A script, laid out a command and its words at a time.
  // clang-format off
  arguments.insert(arguments.end(), {"open", "1", path, "#4", "write", "0", "write", "1", "3", "held",
                                     "mark", "opened", "open", "2", gate, "#4", "write", "0"});
  // clang-format on
  testing_support::StartedProgram program =
      testing_support::startProgram("/bin/sh", arguments, {{"XIOT_BUFFERED=1", "XIO_DISABLE_STACK_TRACE=1"}, "", ""});
  ASSERT_TRUE(testing_support::waitForOutput(program, "opened\n"));
  ::close(reader);
  const int gateReader = ::open(gate.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(gateReader, 0);
  const RunResult run = testing_support::finishProgram(program);
  ::close(gateReader);
  EXPECT_EQ(run.status, 38);
  EXPECT_EQ(run.err, "xiorun: severe (38): error during write, unit 1, file " + path + "\n");
}

TEST_F(Units, FailedWriteWithoutHandlerEndsTheRunWith38) {
  const std::string path = directory.file("table.xyz");
  // A script, laid out a command and its words at a time.
  // clang-format off
  const RunResult run = runScript({"open", "3", path, "#4", "write", "0", "write", "3", "2", "kept", "open", "2",
                                   "/dev/full", "#4", "write", "0", "write", "2", "1", "lost", "mark", "never"},
                                  {"XIO_DISABLE_STACK_TRACE=1"});
  // clang-format on
  EXPECT_EQ(run.status, 38);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "xiorun: severe (38): error during write, unit 2, file " +
                         testing_support::reportedPath("/dev/full") + "\n");
  EXPECT_EQ(readFile(path), "kept\r\nkept\r\n");
}

// --- Write calls as the system sees them --------------------------------------------------------

// The sizes of the write calls that reached `path`, as strace saw them; empty when strace
// is missing or cannot trace here.
std::vector<long> writeCallSizes(const std::vector<std::string>& words, const std::vector<std::string>& environment,
                                 const std::string& path, const TempDir& directory, bool& traced) {
  const std::string log = directory.file("strace.log");
  std::vector<std::string> arguments = {
      "-f", "-qq", "-y", "-e", "trace=write,writev,pwrite64", "-o", log, testing_support::probePath("script")};
  arguments.insert(arguments.end(), words.begin(), words.end());
  const RunResult run = testing_support::runProgram("/usr/bin/strace", arguments, environment);
  traced = run.status == 0 && std::filesystem::exists(log);
  std::vector<long> sizes;
  std::istringstream lines(readFile(log));
  const std::string marker = "<" + path + ">";
  for (std::string line; std::getline(lines, line);) {
    if (line.find(marker) == std::string::npos) continue;
    const std::size_t equals = line.rfind(" = ");
    if (equals != std::string::npos) sizes.push_back(std::atol(line.c_str() + equals + 3));
  }
  return sizes;
}

TEST_F(Units, WriteCallsPerRecordAndPerBlock) {
  SKIP_UNDER_WINE("strace would see wine's system calls, not the program's WriteFile calls");
  if (!std::filesystem::exists("/usr/bin/strace")) GTEST_SKIP() << "strace is not installed";
  const std::string path = directory.file("table.xyz");
  const std::string record(64, 'x');  // 66 bytes with the terminator
  const std::vector<std::string> words = {"open", "1", path, "#4", "write", "0", "write", "1", "5000", record};
  bool traced = false;
  std::vector<long> sizes = writeCallSizes(words, {}, path, directory, traced);
  if (!traced) GTEST_SKIP() << "strace cannot trace here";
  EXPECT_EQ(sizes, std::vector<long>(5000, 66)) << "one call per record";

  sizes = writeCallSizes(words, {"XIOT_BUFFERED=true"}, path, directory, traced);
  EXPECT_EQ(sizes, (std::vector<long>{131072, 131072, 5000 * 66 - 2 * 131072})) << "one call per block";

  sizes = writeCallSizes(words, {"XIOT_BUFFERED=true", "XIOT_BLOCKSIZE=4096", "XIOT_BUFFERCOUNT=4"}, path, directory,
                         traced);
  ASSERT_EQ(sizes.size(), 5000u * 66 / 16384 + 1);
  for (std::size_t index = 0; index + 1 < sizes.size(); ++index) EXPECT_EQ(sizes[index], 16384);
  EXPECT_EQ(sizes.back(), 5000 * 66 % 16384);
  EXPECT_EQ(readFile(path).size(), 5000u * 66);
}

}  // namespace

// What only the Windows build does, run under wine (preset "wine"): share modes between
// two Windows programs, the NUL and CON devices, names with drive letters and backslashes
// or with characters Windows forbids, and control-C through the console control handler.
#include <gtest/gtest.h>
#include <signal.h>

#include <string>
#include <vector>

#include "support/run_program.h"
#include "support/temp_dir.h"

namespace {

using testing_support::firstLine;
using testing_support::readFile;
using testing_support::reportedPath;
using testing_support::runProgram;
using testing_support::RunResult;
using testing_support::StartedProgram;
using testing_support::TempDir;

const std::string kProgram = CELLCENTRIFY_BINARY;
const std::string kExamples = std::string(CELLCENTRIFY_SOURCE_DIR) + "/examples";

// A second Windows program that opens `path` (for writing without writing, for writing
// one record, or for reading) and keeps it open until the test ends.
enum class Hold { Write, WriteRecord, Read };
StartedProgram holdOpen(const std::string& path, Hold hold) {
  std::vector<std::string> words = {"open", "1", path};
  if (hold == Hold::Read) {
    words.insert(words.end(), {"old", "read", "1"});
  } else {
    words.insert(words.end(), {"#4", "write", "1"});
  }
  if (hold == Hold::WriteRecord) words.insert(words.end(), {"write", "1", "1", "held"});
  words.push_back("wait");
  StartedProgram holder = testing_support::startScript(words);
  EXPECT_TRUE(testing_support::waitForOutput(holder, "ready\n")) << holder.result.out << holder.result.err;
  EXPECT_EQ(holder.result.out, "open=0\nready\n");
  return holder;
}

class WindowsBuild : public testing::Test {
 protected:
  void SetUp() override {
    if (!testing_support::kUnderWine) GTEST_SKIP() << "for the Windows build under wine only";
    dir.write("mesh", readFile(kExamples + "/mesh.txt"));
    dir.write("model", readFile(kExamples + "/model.txt"));
  }
  RunResult convert(const std::vector<std::string>& arguments) {
    return runProgram(kProgram, arguments, {}, dir.path());
  }

  TempDir dir;
  const std::string table = readFile(kExamples + "/table.xyz");
};

// FILE_SHARE_READ: while one program writes the table, another may read it but not
// write it; the sharing violation is message 30.
TEST_F(WindowsBuild, ATableBeingWrittenCannotBeWrittenByAnotherProgram) {
  const std::string path = dir.file("table");
  StartedProgram holder = holdOpen(path, Hold::WriteRecord);
  const RunResult run = convert({"mesh", "model", "table"});
  EXPECT_EQ(run.status, 30);
  EXPECT_EQ(firstLine(run.err), "xiorun: severe (30): open failure, unit 1, file " + reportedPath(path) + "\n");
  EXPECT_EQ(readFile(path), "held\r\n") << "the refused writer left the file alone";
}

TEST_F(WindowsBuild, AFileBeingReadCannotBeWrittenByAnotherProgram) {
  StartedProgram holder = holdOpen(dir.file("model"), Hold::Read);
  const RunResult run = convert({"mesh", "model", "model"});
  EXPECT_EQ(run.status, 30);
  EXPECT_EQ(firstLine(run.err),
            "xiorun: severe (30): open failure, unit 1, file " + reportedPath(dir.file("model")) + "\n");
}

// The reader's open is tried again with write sharing when a writer holds the file.
TEST_F(WindowsBuild, AModelBeingWrittenByAnotherProgramCanBeRead) {
  StartedProgram holder = holdOpen(dir.file("model"), Hold::Write);
  const RunResult run = convert({"mesh", "model", "table"});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(readFile(dir.file("table")), table);
}

TEST_F(WindowsBuild, NulTakesTheTable) {
  for (const char* name : {"NUL", "nul"}) {
    SCOPED_TRACE(name);
    const RunResult run = convert({"mesh", "model", name});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
  }
}

// CON is the console; a program without one (as here, with pipes) writes the table to
// its standard output, as the Linux build does with /dev/stdout.
TEST_F(WindowsBuild, ConWritesTheTableToTheConsole) {
  for (const char* name : {"CON", "con"}) {
    SCOPED_TRACE(name);
    const RunResult run = convert({"mesh", "model", name});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, table);
    EXPECT_EQ(run.err, "");
  }
}

TEST_F(WindowsBuild, DriveLettersAndBackslashesInNames) {
  const std::string windowsDir = reportedPath(dir.path());
  // A full name with its drive letter, and a relative one with backslashes and "..".
  RunResult run = convert({windowsDir + "\\mesh", "sub\\..\\model", windowsDir + "\\table"});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(readFile(dir.file("table")), table);

  // The messages show the resolved full name: drive, backslashes, no "..".
  run = convert({"mesh", "model", "missing\\sub\\..\\table"});
  EXPECT_EQ(run.status, 29);
  EXPECT_EQ(firstLine(run.err),
            "xiorun: severe (29): file not found, unit 1, file " + windowsDir + "\\missing\\table\n");
  run = convert({"mesh", "model", "missing/table"});
  EXPECT_EQ(firstLine(run.err),
            "xiorun: severe (29): file not found, unit 1, file " + windowsDir + "\\missing\\table\n");
}

TEST_F(WindowsBuild, CharactersWindowsForbidsAreANameError) {
  for (const char* name : {"a<b", "a>b", "a|b", "a?b", "a*b"}) {
    SCOPED_TRACE(name);
    const RunResult run = convert({"mesh", "model", name});
    EXPECT_EQ(run.status, 43);
    EXPECT_EQ(firstLine(run.err), "xiorun: severe (43): file name specification error, unit 1, file " +
                                      reportedPath(dir.path()) + "\\" + name + "\n");
  }
}

// wine turns SIGINT into a control-C console event, which reaches the handler that
// SetConsoleCtrlHandler registered, on a thread of the console's own.
TEST_F(WindowsBuild, ControlCReachesTheConsoleControlHandler) {
  StartedProgram program = testing_support::startScript({"wait"});
  ASSERT_TRUE(testing_support::waitForOutput(program, "ready\n"));
  ::kill(program.pid, SIGINT);
  const RunResult run = testing_support::finishProgram(program);
  EXPECT_EQ(run.status, 130);
  EXPECT_EQ(firstLine(run.err), "xiorun: error (200): program aborting due to control-C event\n");
  EXPECT_NE(run.err.find("  onConsoleControl  "), std::string::npos) << run.err;
}

}  // namespace

// The file named is the file opened, read or written: a name is resolved by the system
// through the links on its way, a table never replaces an input of its own run, and a
// table named as the standard output is written where the shell's output stands.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/run_program.h"
#include "support/temp_dir.h"

namespace {

using testing_support::readFile;
using testing_support::RunResult;
using testing_support::TempDir;

const char kMesh[] = "2 1 2\n0 0 0\n2*1\n1\n2*1\n";
const char kModel[] = "1\n2\n3\n4\n";
// The table of kMesh and kModel.
const std::string kTable = "  5.000000000E-01  5.000000000E-01 -1.500000000E+00  2.00000E+00\r\n"
                           "  1.500000000E+00  5.000000000E-01 -1.500000000E+00  4.00000E+00\r\n"
                           "  5.000000000E-01  5.000000000E-01 -5.000000000E-01  1.00000E+00\r\n"
                           "  1.500000000E+00  5.000000000E-01 -5.000000000E-01  3.00000E+00\r\n";

RunResult convert(const TempDir& directory, const std::vector<std::string>& arguments,
                  const std::vector<std::string>& environment = {"XIO_DISABLE_STACK_TRACE=1"}) {
  return testing_support::runProgram(CELLCENTRIFY_BINARY, arguments, environment, directory.path());
}

// Runs `script` in the directory through the shell, with the program's arguments as
// "$@" and PROGRAM where the program is started (through the emulator when there is one).
RunResult runInShell(const TempDir& directory, std::string script, const std::vector<std::string>& arguments,
                     const std::vector<std::string>& environment = {}) {
  const std::string program = testing_support::launchProgram() + "\"$0\"";
  script.replace(script.find("PROGRAM"), std::string("PROGRAM").size(), program);
  std::vector<std::string> words = {"-c", script, CELLCENTRIFY_BINARY};
  words.insert(words.end(), arguments.begin(), arguments.end());
  return testing_support::runProgram("/bin/sh", words, environment, directory.path());
}

// --- Names through links ----------------------------------------------------------------

// lnk/.. is lnk's real parent, real/, not the folder that holds lnk: the table lands in
// real/ and the mesh comes from there, as cat and every other program would take them.
TEST(NamedFiles, ALinkedFolderIsFollowed) {
  SKIP_UNDER_WINE("Windows tidies a name before it follows any link");
  TempDir directory;
  std::filesystem::create_directories(directory.file("real/sub"));
  std::filesystem::create_directory_symlink("real/sub", directory.file("lnk"));
  directory.write("real/mesh", kMesh);
  directory.write("mesh", "1 1 1\n0 0 0\n1\n1\n1\n");  // what the tidied name would give
  directory.write("model", kModel);
  RunResult run = convert(directory, {"lnk/../mesh", "model", "lnk/../t.xyz"});
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(readFile(directory.file("real/t.xyz")), kTable);
  EXPECT_FALSE(std::filesystem::exists(directory.file("t.xyz")));
}

// Names that the system refuses stay refused, though their tidied text would name a
// file that could be written.
TEST(NamedFiles, NamesTheSystemRefusesAreRefused) {
  SKIP_UNDER_WINE("Windows tidies a name before it opens it");
  TempDir directory;
  directory.write("mesh", kMesh);
  directory.write("model", kModel);
  directory.write("plainfile", "");
  std::filesystem::create_directory(directory.file("out9"));
  const struct {
    const char* table;
    int status;
  } cases[] = {{"nodir/../t9.xyz", 29}, {"plainfile/../t10.xyz", 29}, {"out9/", 9}};
  for (const auto& test : cases) {
    SCOPED_TRACE(test.table);
    const RunResult run = convert(directory, {"mesh", "model", test.table});
    EXPECT_EQ(run.status, test.status) << run.err;
  }
  EXPECT_FALSE(std::filesystem::exists(directory.file("t9.xyz")));
  EXPECT_FALSE(std::filesystem::exists(directory.file("t10.xyz")));
  EXPECT_FALSE(std::filesystem::exists(directory.file("out9.xyz")));
}

// --- A table named as an input ------------------------------------------------------------

// A one-word slip would destroy the input of a long run: the table's open stops the run
// with a report, before anything is written, and the input is left as it was.
TEST(NamedFiles, ATableNeverReplacesAnInput) {
  TempDir directory;
  directory.write("mesh", kMesh);
  directory.write("model", kModel);
  std::vector<std::string> tables = {"model", "mesh", "./model"};
  if (!testing_support::kUnderWine) {
    std::filesystem::create_symlink("model", directory.file("link.xyz"));
    std::filesystem::create_hard_link(directory.file("mesh"), directory.file("hard.xyz"));
    tables.push_back("link.xyz");
    tables.push_back("hard.xyz");
  }
  for (const std::string& table : tables) {
    SCOPED_TRACE(table);
    const RunResult run = convert(directory, {"mesh", "model", table});
    EXPECT_EQ(run.status, 46);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "xiorun: severe (46): cannot write over an input file of this run, unit 1, file " +
                           testing_support::reportedPath(directory.file(table == "./model" ? "model" : table)) + "\n");
    EXPECT_EQ(readFile(directory.file("mesh")), kMesh);
    EXPECT_EQ(readFile(directory.file("model")), kModel);
  }
}

// --- The standard output by name ---------------------------------------------------------

// Written through the shell's own descriptor: after what the shell wrote before, before
// what it writes after, and appended to a log that standard output appends to.
TEST(NamedFiles, StandardOutputIsWrittenWhereTheShellLeftIt) {
  SKIP_UNDER_WINE("/dev/stdout is a POSIX name");
  for (const char* buffered : {"XIOT_BUFFERED=0", "XIOT_BUFFERED=1"}) {
    for (const char* name : {"/dev/stdout", "/dev/fd/1", "/proc/self/fd/1"}) {
      SCOPED_TRACE(std::string(buffered) + " " + name);
      TempDir directory;
      directory.write("mesh", kMesh);
      directory.write("model", kModel);
      directory.write("log.txt", "earlier run\n");
      RunResult run = runInShell(directory, "{ echo header; PROGRAM \"$@\"; echo footer; } > out.txt",
                                 {"mesh", "model", name}, {buffered});
      EXPECT_EQ(run.status, 0) << run.err;
      EXPECT_EQ(readFile(directory.file("out.txt")), "header\n" + kTable + "footer\n");
      run = runInShell(directory, "PROGRAM \"$@\" >> log.txt", {"mesh", "model", name}, {buffered});
      EXPECT_EQ(run.status, 0) << run.err;
      EXPECT_EQ(readFile(directory.file("log.txt")), "earlier run\n" + kTable);
    }
  }
}

// The console's messages sent to standard output by name land where the shell left it,
// just as they do without the setting: not over what came before.
TEST(NamedFiles, ConsoleFileNamedAsStandardOutputKeepsWhatCameBefore) {
  SKIP_UNDER_WINE("/dev/stdout is a POSIX name");
  TempDir directory;
  directory.write("model", kModel);
  const std::string script = "{ echo header; PROGRAM \"$@\"; echo footer; } > out.txt";
  const std::vector<std::string> arguments = {"no-mesh", "model", "t.xyz"};
  runInShell(directory, script, arguments);
  const std::string expected = readFile(directory.file("out.txt"));
  ASSERT_NE(expected.find("Mesh file not found"), std::string::npos) << expected;
  for (const char* name : {"/dev/stdout", "/dev/fd/1", "/proc/self/fd/1"}) {
    SCOPED_TRACE(name);
    runInShell(directory, script, arguments, {std::string("XIO_PRINT=") + name});
    EXPECT_EQ(readFile(directory.file("out.txt")), expected);
  }
}

// A write that fails (here at a file-size limit) still cuts the file back to its last
// whole record, counted from where the run's records began: the log before them stays.
TEST(NamedFiles, AFailedWriteToStandardOutputKeepsWhatCameBefore) {
  SKIP_UNDER_WINE("/dev/stdout is a POSIX name");
  TempDir directory;
  directory.write("mesh", "100 10 10\n0 0 0\n100*1\n10*1\n10*1\n");
  std::string model;
  for (int cell = 0; cell < 100 * 10 * 10; ++cell) model += "1.5\n";
  directory.write("model", model);
  const std::string log(1001, 'L');
  for (const char* buffered : {"XIOT_BUFFERED=0", "XIOT_BUFFERED=1"}) {
    SCOPED_TRACE(buffered);
    directory.write("log.txt", log);
    const RunResult run =
        runInShell(directory, testing_support::fileSizeLimit(64) + " PROGRAM \"$@\" >> log.txt",
                   {"mesh", "model", "/dev/stdout"}, {buffered, "XIOT_BLOCKSIZE=4096", "XIO_DISABLE_STACK_TRACE=1"});
    EXPECT_EQ(run.status, 38);
    const std::string contents = readFile(directory.file("log.txt"));
    ASSERT_GT(contents.size(), log.size());
    EXPECT_EQ(contents.compare(0, log.size(), log), 0);
    EXPECT_EQ((contents.size() - log.size()) % 66, 0u) << "a torn record at the end";
    EXPECT_LE(contents.size(), 64u * 1024);
  }
}

}  // namespace

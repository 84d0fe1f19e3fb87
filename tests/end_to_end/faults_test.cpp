// The program under faults and at its limits, run as a child process: a full disk, a
// file-size limit, too little memory, permissions, locks, interrupts, closed or full
// standard output, and extreme input. Each must end with its message and status, and
// never leave a table with a torn or silently missing record.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/run_program.h"
#include "support/sanitizer.h"
#include "support/temp_dir.h"

namespace {

using testing_support::finishProgram;
using testing_support::firstLine;
using testing_support::readFile;
using testing_support::RunOptions;
using testing_support::runProgram;
using testing_support::RunResult;
using testing_support::startProgram;
using testing_support::TempDir;

using testing_support::kSanitized;
using testing_support::kUnderWine;
using testing_support::reportedPath;

const std::string kProgram = CELLCENTRIFY_BINARY;

// Runs the program through bash, so that limits, ignored signals and redirections can be
// set up first: `prefix` is shell text placed before `exec cellcentrify ARGS`.
RunResult runThroughShell(const TempDir& dir, const std::string& prefix, const std::vector<std::string>& arguments,
                          const std::vector<std::string>& environment = {}, const std::string& program = kProgram) {
  std::string script = prefix + " " + testing_support::execProgram() + "\"$0\"";
  for (std::size_t index = 0; index < arguments.size(); ++index) script += " \"$" + std::to_string(index + 1) + "\"";
  std::vector<std::string> shellArguments = {"-c", script, program};
  shellArguments.insert(shellArguments.end(), arguments.begin(), arguments.end());
  return runProgram("/bin/bash", shellArguments, environment, dir.path());
}

// A mesh of nx x ny x nz unit cells and a model of `cells` lines.
void writeGrid(const TempDir& dir, int nx, int ny, int nz) {
  dir.write("mesh", std::to_string(nx) + " " + std::to_string(ny) + " " + std::to_string(nz) + "\n0 0 0\n" +
                        std::to_string(nx) + "*1\n" + std::to_string(ny) + "*1\n" + std::to_string(nz) + "*1\n");
  std::string model;
  const long cells = static_cast<long>(nx) * ny * nz;
  model.reserve(static_cast<std::size_t>(cells) * 8);
  for (long cell = 0; cell < cells; ++cell) model += cell % 2 == 0 ? "1.5E-03\n" : "-2.5\n";
  dir.write("model", model);
}

TEST(Faults, FullDeviceAsTheTable) {
  TempDir dir;
  writeGrid(dir, 3, 2, 2);
  for (const char* buffered : {"XIOT_BUFFERED=0", "XIOT_BUFFERED=1"}) {
    RunResult result = runProgram(kProgram, {"mesh", "model", "/dev/full"}, {buffered}, dir.path());
    EXPECT_EQ(result.status, 38) << buffered;
    EXPECT_EQ(firstLine(result.err),
              "xiorun: severe (38): error during write, unit 1, file " + reportedPath("/dev/full") + "\n")
        << buffered;
  }
}

// A file-size limit stands for a full disk: the run ends with 38 and the file holds
// exactly the records that reached it whole.
TEST(Faults, FileSizeLimitKeepsOnlyWholeRecords) {
  // A table written a statement at a time, and one long enough to be edited ahead.
  for (const std::int32_t layers : {2, 5}) {
    SCOPED_TRACE(std::to_string(layers) + " layers");
    TempDir dir;
    writeGrid(dir, 40, 30, layers);  // 1200 records, 79200 bytes, per layer
    ASSERT_EQ(runProgram(kProgram, {"mesh", "model", "full-table"}, {}, dir.path()).status, 0);
    const std::string fullTable = readFile(dir.file("full-table"));
    ASSERT_EQ(fullTable.size(), 1200u * 66 * static_cast<std::size_t>(layers));

    // SIGXFSZ stays at its default, as every shell leaves it: the program itself makes a
    // write past the limit a failed write. bash counts the limit in KiB. Unbuffered, 64
    // KiB hold 992 whole records and part of the 993rd, which is cut away again. Buffered, the file gets whole blocks
    // as long as they fit; a record that straddles the last of them is cut away, and one that ends exactly with it
    // stays.
    struct Setting {
      std::vector<std::string> environment;
      std::size_t bytesWritten;
    };
    const Setting settings[] = {
        {{}, 65536},
        {{"XIOT_BUFFERED=yes", "XIOT_BLOCKSIZE=4096"}, 65536},
        {{"XIOT_BUFFERED=yes", "XIOT_BLOCKSIZE=5000"}, 65536 / 5120 * 5120},  // blocks of 5120 bytes
        {{"XIOT_BUFFERED=true", "XIOT_BLOCKSIZE=16896"}, 3 * 16896},          // blocks of 256 whole records
    };
    for (const auto& [environment, bytesWritten] : settings) {
      SCOPED_TRACE(environment.empty() ? "unbuffered" : environment[1]);
      const std::size_t wholeRecords = bytesWritten / 66;
      RunResult result =
          runThroughShell(dir, testing_support::fileSizeLimit(64), {"mesh", "model", "table"}, environment);
      EXPECT_EQ(result.status, 38);
      EXPECT_EQ(firstLine(result.err),
                "xiorun: severe (38): error during write, unit 1, file " + reportedPath(dir.file("table")) + "\n");
      const std::string table = readFile(dir.file("table"));
      EXPECT_EQ(table.size(), wholeRecords * 66);
      EXPECT_TRUE(table == fullTable.substr(0, table.size())) << "the table differs from the unlimited run's";
    }
  }
}

// A failed write whose cut back to the last whole record fails too (the device fails
// every cut past the table's first record): the run still ends with the write's report
// and 38, and a warning says that the file may end in a torn record. The close tries the
// cut once more: a device whose fault has passed by then takes it, and the file ends
// with its last whole record, with no warning.
TEST(Faults, FailedCutBackIsTold) {
  SKIP_UNDER_WINE("the fault is injected by a Linux system-call filter");
  SKIP_UNDER_EMULATION("the filter would see the emulator's system calls");
  TempDir dir;
  writeGrid(dir, 40, 30, 2);
  const struct {
    const char* failingCuts;  // the probe's MINIMUM[/FAILURES]
    bool torn;
  } cases[] = {
      {"1024", true},     // every cut fails
      {"1024/2", true},   // the cut and the close's retry fail
      {"1024/1", false},  // the cut fails, the close's retry goes through
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.failingCuts);
    std::filesystem::remove(dir.file("table"));
    const RunResult result =
        runProgram("/bin/bash",
                   {"-c", testing_support::fileSizeLimit(64) + " exec \"$0\" \"$1\" \"$2\" mesh model table",
                    testing_support::probePath("failing_truncate"), c.failingCuts, kProgram},
                   {}, dir.path());
    if (result.status == 77) GTEST_SKIP() << "system calls cannot be filtered here";
    EXPECT_EQ(result.status, 38);
    const std::string table = dir.file("table");
    EXPECT_EQ(firstLine(result.err), "xiorun: severe (38): error during write, unit 1, file " + table + "\n");
    const std::string warning = "xiorun: warning (97): file could not be cut back to its last whole record after a "
                                "failed write, unit 1, file " +
                                table + "\n";
    if (c.torn) {
      EXPECT_TRUE(result.err.ends_with(warning)) << result.err;
    } else {
      EXPECT_EQ(result.err.find("warning (97)"), std::string::npos) << result.err;
    }
    // What the limit let through, torn, or the 992 whole records in it.
    EXPECT_EQ(readFile(table).size(), c.torn ? 65536u : 65536u / 66 * 66);
  }
}

// A closed standard stream's stand-in fails every write, also through a name that opens
// it anew: a table sent there ends with 38 and its report, never in silence with 0.
// With standard error closed the report itself meets the stand-in too: it is seen in the
// diagnostic log, which every case keeps.
TEST(Faults, TableToAClosedStandardStream) {
  SKIP_UNDER_WINE("/dev/stdout and /proc/self/fd are Linux's names");
  TempDir dir;
  writeGrid(dir, 3, 2, 2);
  const std::string log = dir.file("diagnostics.log");
  const struct {
    const char* redirect;
    const char* table;
  } cases[] = {
      {"exec >&-;", "/dev/stdout"},      {"exec >&-;", "/proc/self/fd/1"}, {"exec <&-;", "/dev/stdin"},
      {"exec 2>&1 >&-;", "/dev/stdout"}, {"exec 2>&-;", "/dev/stderr"},    {"exec 2>&-;", "/proc/self/fd/2"},
  };
  for (const auto& c : cases) {
    for (const char* buffered : {"XIOT_BUFFERED=0", "XIOT_BUFFERED=1"}) {
      SCOPED_TRACE(std::string(c.redirect) + " " + c.table + " " + buffered);
      std::filesystem::remove(log);
      const RunResult result =
          runThroughShell(dir, c.redirect, {"mesh", "model", c.table}, {buffered, "XIO_DIAGNOSTIC_LOG_FILE=" + log});
      EXPECT_EQ(result.status, 38);
      const std::string report = "xiorun: severe (38): error during write, unit 1, file " + std::string(c.table) + "\n";
      EXPECT_EQ(firstLine(readFile(log)), report);
      if (std::string(c.redirect) != "exec 2>&-;") {
        EXPECT_EQ(firstLine(result.err.empty() ? result.out : result.err), report);
      }
    }
  }
}

// A name whose directory's /proc is not this process's (a sandbox or a container with a
// /proc of its own): the model's second reader must not read whatever file lies at
// /proc/self/fd/N there. Here that /proc holds, for every descriptor, a model of the same
// line layout and other values: on a file system of its own, and on the model's own
// (a folder beside the model mounted over /proc), where only the file itself tells the
// two apart.
TEST(Faults, SecondReaderIsTheModelItself) {
  SKIP_UNDER_WINE("mount namespaces are Linux's");
  SKIP_UNDER_EMULATION("the emulator answers for /proc/self itself");
  if (kSanitized) GTEST_SKIP() << "the sanitizers' runtime reads /proc itself";
  if (runProgram("/usr/bin/unshare", {"-m", "/bin/true"}).status != 0 &&
      runProgram("/usr/bin/unshare", {"-rm", "/bin/true"}).status != 0) {
    GTEST_SKIP() << "no mount namespace can be had here";
  }
  TempDir dir;
  writeGrid(dir, 100, 100, 20);  // 1.3 MB of model: its second half is read ahead
  std::string other = readFile(dir.file("model"));
  for (char& c : other) {
    if (c == '5') c = '7';
  }
  dir.write("other-model", other);
  ASSERT_EQ(runProgram(kProgram, {"mesh", "model", "expected"}, {}, dir.path()).status, 0);
  auto copiesIn = [](const std::string& proc) {
    return "mkdir -p " + proc + "/self/fd && for n in 3 4 5 6 7 8 9 10 11 12; do cp other-model " + proc +
           "/self/fd/$n; done";
  };
  const std::string prefixes[] = {
      "mount -t tmpfs none /proc && " + copiesIn("/proc"),
      copiesIn("fake-proc") + " && mount --bind fake-proc /proc",
  };
  const std::string namespaceFlag = runProgram("/usr/bin/unshare", {"-m", "/bin/true"}).status == 0 ? "-m" : "-rm";
  for (const std::string& prefix : prefixes) {
    SCOPED_TRACE(prefix);
    std::filesystem::remove(dir.file("table"));
    const std::string script = prefix + " && exec \"$0\" mesh model table";
    const RunResult result =
        runProgram("/usr/bin/unshare", {namespaceFlag, "/bin/bash", "-c", script, kProgram}, {}, dir.path());
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(readFile(dir.file("table")) == readFile(dir.file("expected")));
  }
}

// Names of any length are used whole, in the files opened and in the messages: a table
// named past 120 characters lands in the file named, and a name whose first 120
// characters are the model's never replaces the model.
TEST(Faults, LongNamesAreUsedWhole) {
  TempDir dir;
  writeGrid(dir, 3, 2, 2);
  ASSERT_EQ(runProgram(kProgram, {"mesh", "model", "expected"}, {}, dir.path()).status, 0);
  for (const std::size_t length : {130u, 300u}) {
    SCOPED_TRACE(std::to_string(length) + " characters");
    // Windows takes paths of at most 260 characters from a program that has not asked for more.
    if (kUnderWine && dir.path().size() + 1 + length > 259) continue;
    // Relative names of `length` characters, in folders of 99 characters each.
    auto longName = [&](const std::string& last) {
      std::string name;
      while (name.size() + 100 + last.size() <= length) {
        name += std::string(99, 'f') + "/";
        std::filesystem::create_directories(dir.file(name));
      }
      name += std::string(length - name.size() - last.size(), 'n') + last;
      return name;
    };
    const std::string mesh = longName(".msh");
    const std::string model = longName(".mod");
    const std::string table = model + "_table.xyz";
    std::filesystem::copy_file(dir.file("mesh"), dir.file(mesh));
    std::filesystem::copy_file(dir.file("model"), dir.file(model));
    RunResult result = runProgram(kProgram, {mesh, model, table}, {}, dir.path());
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(readFile(dir.file(table)) == readFile(dir.file("expected")));
    EXPECT_TRUE(readFile(dir.file(model)) == readFile(dir.file("model"))) << "the model was replaced";

    // The messages name the files whole, wrapped at 80 columns as every message is.
    auto unwrapped = [](std::string text) {
      for (std::size_t at; (at = text.find("\r\n ")) != std::string::npos;) text.erase(at, 3);
      return text;
    };
    result = runProgram(kProgram, {mesh + "-missing", model, table}, {}, dir.path());
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(unwrapped(result.out), "  Error: Mesh file not found: " + mesh + "-missing\r\n");
    result = runProgram(kProgram, {mesh, model + "-missing", table}, {}, dir.path());
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(unwrapped(result.out), "  Error: Model file not found: " + model + "-missing\r\n");
    // A report names the full path, or past 256 characters the name as written.
    const std::string missingFolder = table + "-missing/table";
    const std::string reported = dir.file(missingFolder).size() <= 256 ? dir.file(missingFolder) : missingFolder;
    result = runProgram(kProgram, {mesh, model, missingFolder}, {}, dir.path());
    EXPECT_EQ(result.status, 29);
    EXPECT_EQ(firstLine(result.err),
              "xiorun: severe (29): file not found, unit 1, file " + reportedPath(reported) + "\n");
  }
}

// A name longer than a report's whole buffer (16384 bytes), of short folders that do not
// exist: the open fails (the path is also past the system's limit, so the name is refused
// as a name), and the report still names it whole, with the traceback after it.
TEST(Faults, NameLongerThanTheReportIsNamedWhole) {
  SKIP_UNDER_WINE("Windows takes paths of at most 260 characters from a program that has not asked for more");
  TempDir dir;
  writeGrid(dir, 3, 2, 2);
  std::string table = "missing/";
  while (table.size() < 20000) table += "folder" + std::to_string(table.size()) + "/";
  table += "table";
  const RunResult result = runProgram(kProgram, {"mesh", "model", table}, {}, dir.path());
  EXPECT_EQ(result.status, 43);
  EXPECT_TRUE(firstLine(result.err) ==
              "xiorun: severe (43): file name specification error, unit 1, file " + table + "\n")
      << firstLine(result.err).size() << " bytes: " << result.err.substr(0, 200);
  EXPECT_NE(result.err.find("\nImage              PC"), std::string::npos) << "no traceback after the message line";
  EXPECT_FALSE(std::filesystem::exists(dir.file("missing")));
}

TEST(Faults, GridThatCannotBeHad) {
  SKIP_UNDER_WINE("wine itself cannot start under the address-space limit");
  SKIP_UNDER_EMULATION("the emulator reserves the guest's address space itself");
  if (kSanitized) GTEST_SKIP() << "a sanitizer reserves more address space than the limit allows";
  TempDir dir;
  dir.write("mesh", "1000 1000 100\n0 0 0\n1000*1\n1000*1\n100*1\n");  // 800 MB of grid
  dir.write("model", "");
  RunResult result = runThroughShell(dir, "ulimit -v 300000;", {"mesh", "model", "table"});
  EXPECT_EQ(result.status, 41);
  EXPECT_EQ(firstLine(result.err), "xiorun: severe (41): insufficient virtual memory\n");
  EXPECT_FALSE(std::filesystem::exists(dir.file("table")));
}

TEST(Faults, SizesBeyondThirtyTwoBits) {
  const char* meshes[] = {
      "1000 1000 1000\n0 0 0\n1000*1\n1000*1\n1000*1\n",  // the grid: 8e9 bytes
      "2147483647 1 1\n0 0 0\n1\n1\n1\n",                 // a width array: 16 GiB
      "65536 65536 1\n0 0 0\n65536*1\n65536*1\n1\n",      // a product that wraps to 0 in 32 bits
  };
  for (const char* mesh : meshes) {
    SCOPED_TRACE(mesh);
    TempDir dir;
    dir.write("mesh", mesh);
    dir.write("model", "");
    RunResult result = runProgram(kProgram, {"mesh", "model", "table"}, {}, dir.path());
    EXPECT_EQ(result.status, 179);
    EXPECT_EQ(firstLine(result.err),
              "xiorun: severe (179): Cannot allocate array - overflow on array size calculation.\n");
  }
}

TEST(Faults, TableInReadOnlyDirectoryAsUnprivilegedUser) {
  TempDir dir;
  writeGrid(dir, 2, 2, 2);
  std::filesystem::create_directory(dir.file("locked"));
  std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
  std::filesystem::permissions(dir.file("locked"),
                               std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec |
                                   std::filesystem::perms::others_read | std::filesystem::perms::others_exec);
  std::string prefix;
  std::string program = kProgram;
  if (::geteuid() == 0) {
    // Root writes anywhere: the program runs as nobody instead.
    SKIP_UNDER_WINE("the other user has no wine prefix of its own");
    SKIP_UNDER_EMULATION("the copy of the program would run without the emulator");
    if (::access("/usr/bin/setpriv", X_OK) != 0) GTEST_SKIP() << "setpriv is needed to drop privileges";
    // The build may lie where nobody cannot enter (a clone in a private folder): nobody
    // runs a copy of the program in the test's own folder, which every user can enter.
    program = dir.file("cellcentrify");
    std::filesystem::copy_file(kProgram, program);
    if (runProgram("/usr/bin/setpriv",
                   {"--reuid=65534", "--regid=65534", "--clear-groups", "/usr/bin/test", "-x", program})
            .status != 0) {
      GTEST_SKIP() << "an unprivileged user cannot reach the temporary folder " << dir.path();
    }
    prefix = "exec /usr/bin/setpriv --reuid=65534 --regid=65534 --clear-groups /bin/bash -c 'exec \"$0\" \"$@\"' "
             "\"$0\" \"$@\";";
  }
  RunResult result = runThroughShell(dir, prefix, {"mesh", "model", "locked/table"}, {}, program);
  EXPECT_EQ(result.status, 9);
  EXPECT_EQ(firstLine(result.err),
            "xiorun: severe (9): permission to access file denied, unit 1, file " + dir.file("locked/table") + "\n");
}

TEST(Faults, TableHeldForWritingByAnotherProcess) {
  SKIP_UNDER_WINE("the holder is the Linux test, whose flock lock a Windows program does not see "
                  "(windows_test holds the file from a second Windows program)");
  TempDir dir;
  writeGrid(dir, 2, 2, 2);
  const std::string table = dir.write("table", "held\n");
  int held = ::open(table.c_str(), O_WRONLY);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  RunResult result = runProgram(kProgram, {"mesh", "model", "table"}, {}, dir.path());
  EXPECT_EQ(result.status, 30);
  EXPECT_EQ(firstLine(result.err), "xiorun: severe (30): open failure, unit 1, file " + table + "\n");
  EXPECT_EQ(readFile(table), "held\n");

  // A model that another process is still writing can be read.
  int model = ::open(dir.file("model").c_str(), O_WRONLY);
  ASSERT_EQ(::flock(model, LOCK_EX), 0);
  result = runProgram(kProgram, {"mesh", "model", "other-table"}, {}, dir.path());
  EXPECT_EQ(result.status, 0);
  ::close(model);
  ::close(held);
}

struct InterruptCase {
  int signal;
  const char* event;
  int status;
  const char* buffered;
};

// An interrupt while a large table is written: the 200 report, the event's status, and a
// table that ends with a whole record and is the beginning of the uninterrupted table.
TEST(Faults, InterruptWhileWritingTheTable) {
  TempDir dir;
  writeGrid(dir, 200, 100, 50);  // a million records, 66 MB
  ASSERT_EQ(runProgram(kProgram, {"mesh", "model", "whole-table"}, {}, dir.path()).status, 0);
  const std::string wholeTable = readFile(dir.file("whole-table"));
  const InterruptCase cases[] = {
      {SIGINT, "control-C", 130, "XIOT_BUFFERED=0"},
      {SIGINT, "control-C", 130, "XIOT_BUFFERED=1"},
      {SIGQUIT, "control-BREAK", 1, "XIOT_BUFFERED=0"},
      {SIGHUP, "window-CLOSE", 2, "XIOT_BUFFERED=1"},
      // A scheduler's or kill's request to end: no report, and the process still ends
      // by the signal, after the units are closed.
      {SIGTERM, nullptr, 128 + SIGTERM, "XIOT_BUFFERED=1"},
      {SIGTERM, nullptr, 128 + SIGTERM, "XIOT_BUFFERED=0"},
  };
  for (const InterruptCase& c : cases) {
    SCOPED_TRACE(std::string(c.event != nullptr ? c.event : "terminate") + " " + c.buffered);
    // wine turns SIGINT into control-C; break and close have no signal that reaches it,
    // and Windows no request to end.
    if (kUnderWine && c.signal != SIGINT) continue;
    // A run that finished its table before the signal reached it tested nothing: on a
    // busy machine the table's 66 MB can be written between two looks at its size, so
    // such a run is made again, a few times at most.
    RunResult result;
    for (int attempt = 0; attempt < 5; ++attempt) {
      std::filesystem::remove(dir.file("table"));
      RunOptions options;
      options.environment = {c.buffered};
      options.workingDirectory = dir.path();
      auto program = startProgram(kProgram, {"mesh", "model", "table"}, options);
      // Wait until the table has begun (or the program has ended, which fails below).
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
      std::error_code error;
      for (;;) {
        const auto size = std::filesystem::file_size(dir.file("table"), error);
        if ((!error && size >= 1000000) || std::chrono::steady_clock::now() > deadline) break;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      }
      ::kill(program.pid, c.signal);
      result = finishProgram(program);
      if (result.status != 0) break;
    }
    EXPECT_EQ(result.status, c.status);
    if (c.event == nullptr) {
      EXPECT_EQ(result.err, "");
    } else {
      EXPECT_EQ(firstLine(result.err),
                std::string("xiorun: error (200): program aborting due to ") + c.event + " event\n");
      EXPECT_NE(result.err.find("Image              PC"), std::string::npos);
    }
    const std::string table = readFile(dir.file("table"));
    EXPECT_GT(table.size(), 0u);
    EXPECT_LT(table.size(), 1000000u * 66) << "the interrupt came too late to test anything";
    EXPECT_EQ(table.size() % 66, 0u);
    if (table.size() >= 66) {
      EXPECT_EQ(table.substr(table.size() - 2), "\r\n");
    }
    EXPECT_TRUE(wholeTable.starts_with(table));
  }
}

// An interrupt while the model is read: the statements take the model's unit once for
// many values, so the stop must still find it given up after the statement in progress,
// not after the rest of the model. The model is a FIFO, fed a line at a time after the
// interrupt: a stop that waited for the whole model would keep taking them.
TEST(Faults, InterruptWhileReadingTheModel) {
  SKIP_UNDER_WINE("a FIFO is not a file that wine's programs open");
  TempDir dir;
  constexpr int kCells = 100 * 100 * 10;
  dir.write("mesh", "100 100 10\n0 0 0\n100*1\n100*1\n10*1\n");
  ASSERT_EQ(::mkfifo(dir.file("model").c_str(), 0600), 0);
  RunOptions options;
  options.workingDirectory = dir.path();
  auto program = startProgram(kProgram, {"mesh", "model", "table"}, options);
  // The program opens the FIFO for reading after the mesh; until then there is no reader.
  int model = -1;
  for (int attempt = 0; attempt < 60000 && model < 0; ++attempt) {
    model = ::open(dir.file("model").c_str(), O_WRONLY | O_NONBLOCK);
    if (model < 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_GE(model, 0) << "the program never opened the model";
  ::fcntl(model, F_SETFL, 0);
  const std::string line = "2.5\n";
  std::string first;
  for (int cell = 0; cell < 1000; ++cell) first += line;
  ASSERT_EQ(testing_support::writeToChild(model, first.data(), first.size()), static_cast<ssize_t>(first.size()));
  // Until the program has taken the first lines out of the FIFO, it may not be reading.
  for (int unread = 1; unread > 0;) {
    ASSERT_EQ(::ioctl(model, FIONREAD, &unread), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ::kill(program.pid, SIGINT);
  int fed = 1000;
  while (fed < kCells / 10 && testing_support::writeToChild(model, line.data(), line.size()) > 0) {
    ++fed;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ::close(model);
  RunResult result = finishProgram(program);
  EXPECT_EQ(result.status, 130);
  EXPECT_EQ(firstLine(result.err), "xiorun: error (200): program aborting due to control-C event\n");
  EXPECT_LT(fed, kCells / 10) << "the stop waited for more than the statement in progress";
  EXPECT_FALSE(std::filesystem::exists(dir.file("table")));
}

TEST(Faults, ConsoleMessagesToFullOrClosedOutput) {
  TempDir dir;
  for (const char* redirect : {"exec > /dev/full;", "exec >&-;"}) {
    SCOPED_TRACE(redirect);
    RunResult result = runThroughShell(dir, redirect, {"no-mesh", "model", "table"});
    EXPECT_EQ(result.status, 38);
    EXPECT_EQ(result.err.substr(0, 58), "xiorun: severe (38): error during write, unit -1, file std");
    EXPECT_FALSE(std::filesystem::exists(dir.file("table")));
  }
}

struct InputCase {
  const char* name;
  std::string model;
  int status;
  const char* out;
};

TEST(Faults, ExtremeInput) {
  const InputCase cases[] = {
      {"HundredMegabyteLine", "2.5" + std::string(100'000'000, ' ') + "9\n", 0, ""},
      {"TenMillionBlankLinesFirst", std::string(10'000'000, '\n') + "2.5\n", 0, ""},
      {"NulByteAfterTheValue", std::string("2.5\0\n", 5), 1, "\r\n Error reading model file model\r\n"},
      {"InvalidUtf8", "\xff\xfe\n", 1, "\r\n Error reading model file model\r\n"},
      {"NulLine", std::string("\0\n", 2), 1, "\r\n Error reading model file model\r\n"},
  };
  for (const InputCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    dir.write("mesh", "1 1 1\n0 0 0\n1\n1\n1\n");
    dir.write("model", c.model);
    RunResult result = runProgram(kProgram, {"mesh", "model", "table"}, {}, dir.path());
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.out, c.out);
    if (c.status == 0) {
      EXPECT_EQ(readFile(dir.file("table")), "  5.000000000E-01  5.000000000E-01 -5.000000000E-01  2.50000E+00\r\n");
    }
  }
}

TEST(Faults, MeshWithHugeCountsAndNoValues) {
  TempDir dir;
  dir.write("mesh", "2147483647 2147483647 2147483647\n");
  dir.write("model", "");
  RunResult result = runProgram(kProgram, {"mesh", "model", "table"}, {}, dir.path());
  EXPECT_EQ(result.status, 179);
}

}  // namespace

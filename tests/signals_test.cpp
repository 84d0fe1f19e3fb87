// Console events: SIGINT (control-C), SIGQUIT (control-BREAK) and SIGHUP (window-CLOSE)
// sent to a running probe end it with the error-200 report and the event's status, after
// every unit has been written out; a stop already in progress keeps its own status.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "support/run_program.h"
#include "support/temp_dir.h"

namespace {

using testing_support::readFile;
using testing_support::RunResult;
using testing_support::StartedProgram;
using testing_support::TempDir;

const std::string kHeader =
    "Image              PC        Routine            Line        Source             \n";

StartedProgram startScript(const std::vector<std::string>& words, const std::vector<std::string>& environment = {}) {
  return testing_support::startProgram(testing_support::probePath("script"), words, {environment, "", ""});
}

struct EventCase {
  int signal;
  const char* name;
  int status;
};

const EventCase kEvents[] = {
    {SIGINT, "control-C", 130}, {SIGQUIT, "control-BREAK", 1}, {SIGHUP, "window-CLOSE", 2}};

// wine turns SIGINT into a control-C event; break and close have no signal that reaches
// a program under wine.
bool deliverable(const EventCase& event) { return !testing_support::kUnderWine || event.signal == SIGINT; }

TEST(ConsoleEvent, ReportAndStatus) {
  for (const EventCase& event : kEvents) {
    SCOPED_TRACE(event.name);
    if (!deliverable(event)) continue;
    StartedProgram program = startScript({"wait"});
    ASSERT_TRUE(testing_support::waitForOutput(program, "ready\n"));
    ::kill(program.pid, event.signal);
    const RunResult run = testing_support::finishProgram(program);
    EXPECT_EQ(run.status, event.status);
    EXPECT_EQ(run.out, "ready\n");
    const std::string line = std::string("xiorun: error (200): program aborting due to ") + event.name + " event\n";
    EXPECT_EQ(run.err.rfind(line + kHeader, 0), 0u) << run.err;
  }
}

TEST(ConsoleEvent, PendingConsoleOutputIsWrittenOut) {
  for (const EventCase& event : kEvents) {
    SCOPED_TRACE(event.name);
    if (!deliverable(event)) continue;
    StartedProgram program = startScript({"print", "1", "held back", "wait"}, {"XIOT_BUFFER_STDOUT=1"});
    ASSERT_TRUE(testing_support::waitForOutput(program, "ready\n"));
    ::kill(program.pid, event.signal);
    const RunResult run = testing_support::finishProgram(program);
    EXPECT_EQ(run.status, event.status);
    EXPECT_EQ(run.out, "ready\n held back\r\n");
  }
}

TEST(ConsoleEvent, OtherSignalsKeepTheirDefaultAction) {
  SKIP_UNDER_WINE("POSIX signals other than SIGINT are wine's own, not the program's");
  for (int signal : {SIGTERM, SIGUSR1}) {
    StartedProgram program = startScript({"wait"});
    ASSERT_TRUE(testing_support::waitForOutput(program, "ready\n"));
    ::kill(program.pid, signal);
    const RunResult run = testing_support::finishProgram(program);
    EXPECT_EQ(run.status, 128 + signal);
    EXPECT_EQ(run.err, "");
  }
}

// Records handed over before the interrupt are whole in the file: the stop waits for the
// statement in progress, and no record is torn.
void expectWholeRecords(const std::vector<std::string>& environment) {
  TempDir directory;
  const std::string path = directory.file("table.xyz");
  const std::string record = "   1.000000000E+00   2.000000000E+00  -3.000000000E+00   4.00000E+00";
  StartedProgram program = startScript({"open", "1", path, "#4", "write", "0", "write-until-event", "1", record},
                                       environment);
  ASSERT_TRUE(testing_support::waitForOutput(program, "ready\n"));
  ::kill(program.pid, SIGINT);
  const RunResult run = testing_support::finishProgram(program);
  EXPECT_EQ(run.status, 130);
  const std::string contents = readFile(path);
  const std::string line = record + "\r\n";
  ASSERT_EQ(contents.size() % line.size(), 0u) << "a torn record at the end: " << contents.size() << " bytes";
  EXPECT_GE(contents.size() / line.size(), 100u);
  for (std::size_t at = 0; at < contents.size(); at += line.size()) {
    ASSERT_EQ(contents.compare(at, line.size(), line), 0) << "record at byte " << at;
  }
}

TEST(InterruptDuringWrites, UnbufferedRecordsAreWhole) { expectWholeRecords({}); }

TEST(InterruptDuringWrites, BufferedRecordsAreWrittenOutWhole) {
  expectWholeRecords({"XIOT_BUFFERED=1"});
  // Small blocks, so that records straddle block boundaries all the time.
  expectWholeRecords({"XIOT_BUFFERED=yes", "XIOT_BLOCKSIZE=512", "XIOT_BUFFERCOUNT=1"});
}

// --- A console event while another stop is in progress -----------------------------------

// What /proc tells about one thread of a child: its scheduling state and the system call
// it is blocked in (-1 when running or not in a call).
struct ThreadState {
  long id = 0;
  char state = '?';
  long syscall = -1;
  long firstArgument = -1;
};

std::vector<ThreadState> threadsOf(pid_t pid) {
  std::vector<ThreadState> threads;
  const std::string taskDirectory = "/proc/" + std::to_string(pid) + "/task";
  DIR* directory = ::opendir(taskDirectory.c_str());
  if (directory == nullptr) return threads;
  while (dirent* entry = ::readdir(directory)) {
    if (entry->d_name[0] == '.') continue;
    ThreadState thread;
    thread.id = std::atol(entry->d_name);
    const std::string base = taskDirectory + "/" + entry->d_name;
    const std::string stat = readFile(base + "/stat");
    const std::size_t close = stat.rfind(')');
    if (close != std::string::npos && close + 2 < stat.size()) thread.state = stat[close + 2];
    std::istringstream syscall(readFile(base + "/syscall"));
    std::string number;
    std::string argument;
    syscall >> number >> argument;
    if (!number.empty() && number != "running") {
      thread.syscall = std::strtol(number.c_str(), nullptr, 0);
      thread.firstArgument = std::strtol(argument.c_str(), nullptr, 0);
    }
    threads.push_back(thread);
  }
  ::closedir(directory);
  return threads;
}

bool waitFor(const std::function<bool()>& condition, int seconds = 30) {
  for (int round = 0; round < seconds * 500; ++round) {
    if (condition()) return true;
    timespec pause{0, 2000000};
    ::nanosleep(&pause, nullptr);
  }
  return false;
}

constexpr long kSyscallWrite = 1;
constexpr long kSyscallWritev = 20;
constexpr long kSyscallSigwait = 128;  // rt_sigtimedwait

// The main thread sleeps in a write to `fd`: the pipe behind it is full.
bool mainThreadBlockedWriting(pid_t pid, long fd) {
  for (const ThreadState& thread : threadsOf(pid)) {
    if (thread.id == pid) {
      return thread.state == 'S' && (thread.syscall == kSyscallWrite || thread.syscall == kSyscallWritev) &&
             thread.firstArgument == fd;
    }
  }
  return false;
}

// The console-event thread has taken the event: it no longer waits for one (or the
// process has already ended).
bool eventTaken(pid_t pid) {
  const std::vector<ThreadState> threads = threadsOf(pid);
  if (threads.empty()) return true;
  for (const ThreadState& thread : threads) {
    if (thread.state == 'Z' || thread.state == 'X') return true;
    if (thread.id != pid && thread.state == 'S' && thread.syscall >= 0 && thread.syscall != kSyscallSigwait) return true;
  }
  return false;
}

bool procSyscallReadable() { return !readFile("/proc/self/syscall").empty(); }

// Interrupts a probe while its stop is blocked writing to the full pipe on `fd`.
RunResult interruptBlockedStop(const std::vector<std::string>& words, long fd, const std::vector<std::string>& environment) {
  StartedProgram program = startScript(words, environment);
  EXPECT_TRUE(waitFor([&] { return mainThreadBlockedWriting(program.pid, fd); })) << "the stop never blocked";
  ::kill(program.pid, SIGINT);
  EXPECT_TRUE(waitFor([&] { return eventTaken(program.pid); })) << "the event was never taken";
  return testing_support::finishProgram(program);
}

TEST(StopInProgress, InterruptDuringASevereReportKeepsItsStatus) {
  SKIP_UNDER_WINE("the blocked write is watched through /proc/<pid>/syscall of a Linux thread");
  if (!procSyscallReadable()) GTEST_SKIP() << "/proc/<pid>/syscall cannot be read here";
  const RunResult run = interruptBlockedStop({"fill-pipe", "2", "fatal", "29", "1", "/x"}, 2, {});
  EXPECT_EQ(run.status, 29);
  EXPECT_NE(run.err.find("xiorun: severe (29): file not found, unit 1, file /x\n"), std::string::npos);
  EXPECT_EQ(run.err.find("control-C"), std::string::npos);
}

TEST(StopInProgress, InterruptDuringANormalStopKeepsItsStatus) {
  SKIP_UNDER_WINE("the blocked write is watched through /proc/<pid>/syscall of a Linux thread");
  if (!procSyscallReadable()) GTEST_SKIP() << "/proc/<pid>/syscall cannot be read here";
  // The normal stop writes out the buffered console record into a full pipe.
  const RunResult run =
      interruptBlockedStop({"print", "1", "last words", "fill-pipe", "1", "stop", "1"}, 1, {"XIOT_BUFFER_STDOUT=1"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "");
  const std::string tail = " last words\r\n";
  ASSERT_GE(run.out.size(), tail.size());
  EXPECT_EQ(run.out.substr(run.out.size() - tail.size()), tail);
}

}  // namespace

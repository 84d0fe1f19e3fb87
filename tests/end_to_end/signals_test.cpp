// Console events: SIGINT (control-C), SIGQUIT (control-BREAK) and SIGHUP (window-CLOSE)
// sent to a running probe end it with the error-200 report and the event's status, after
// every unit has been written out, a unit being closed included; a stop already in
// progress keeps its own status. A process that can start no thread still ends on an
// interrupt, and its conversion gives the plain result.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "support/run_program.h"
#include "support/sanitizer.h"
#include "support/temp_dir.h"

namespace {

using testing_support::readFile;
using testing_support::RunResult;
using testing_support::StartedProgram;
using testing_support::startScript;
using testing_support::TempDir;

const std::string kHeader = "Image              PC        Routine            Line        Source             \n";

bool waitFor(const std::function<bool()>& condition, int seconds = 30) {
  for (int round = 0; round < seconds * 500; ++round) {
    if (condition()) return true;
    timespec pause{0, 2000000};
    ::nanosleep(&pause, nullptr);
  }
  return false;
}

struct EventCase {
  int signal;
  const char* name;
  int status;
};

const EventCase kEvents[] = {{SIGINT, "control-C", 130}, {SIGQUIT, "control-BREAK", 1}, {SIGHUP, "window-CLOSE", 2}};

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

// A request to end (SIGTERM from a batch system's time limit, kill or timeout; SIGXCPU
// from a CPU-time limit; SIGUSR1, SIGALRM and the like from schedulers) writes out every
// unit, the console's held-back record too, writes no report, and ends the process by
// the same signal all the same, as a shell and a scheduler expect to see it.
TEST(ConsoleEvent, RequestsToEndCloseEveryUnitWithoutAReport) {
  SKIP_UNDER_WINE("POSIX signals other than SIGINT are wine's own, not the program's");
  for (int signal : {SIGTERM, SIGUSR1, SIGUSR2, SIGALRM, SIGXCPU, SIGVTALRM, SIGPROF, SIGRTMIN + 1}) {
    SCOPED_TRACE(signal);
    StartedProgram program = startScript({"print", "1", "held back", "wait"}, {"XIOT_BUFFER_STDOUT=1"});
    ASSERT_TRUE(testing_support::waitForOutput(program, "ready\n"));
    ::kill(program.pid, signal);
    const RunResult run = testing_support::finishProgram(program);
    EXPECT_EQ(run.signal, signal) << "status " << run.status;
    EXPECT_EQ(run.out, "ready\n held back\r\n");
    EXPECT_EQ(run.err, "");
  }
}

// A signal ignored when the run starts (nohup, trap '' TERM, the SIGINT that a
// non-interactive shell ignores for its background jobs) stays ignored: sent while the
// program waits for its model, it changes nothing, and the run completes.
TEST(ConsoleEvent, SignalsIgnoredAtStartStayIgnored) {
  SKIP_UNDER_WINE("POSIX signals other than SIGINT are wine's own, not the program's");
  const struct {
    const char* name;  // as trap takes it
    int number;
  } signals[] = {{"TERM", SIGTERM}, {"HUP", SIGHUP}, {"INT", SIGINT}, {"QUIT", SIGQUIT}, {"USR1", SIGUSR1}};
  for (const auto& [name, number] : signals) {
    SCOPED_TRACE(name);
    TempDir directory;
    directory.write("mesh", "2 1 2\n0 0 0\n2*1\n1\n2*1\n");
    const std::string model = directory.file("model");
    ASSERT_EQ(::mkfifo(model.c_str(), 0600), 0);
    const std::string script = std::string("trap '' ") + name + "; " + testing_support::execProgram() + "\"$0\" \"$@\"";
    StartedProgram program = testing_support::startProgram(
        "/bin/sh", {"-c", script, CELLCENTRIFY_BINARY, directory.file("mesh"), model, directory.file("table")});
    // The FIFO opens for writing once the program has opened it for reading.
    int writer = -1;
    ASSERT_TRUE(waitFor([&] { return (writer = ::open(model.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC)) >= 0; }));
    ::kill(program.pid, number);
    // Time for a signal that was taken to end the run.
    timespec pause{0, 200000000};
    ::nanosleep(&pause, nullptr);
    const std::string values = "1\n2\n3\n4\n";
    EXPECT_EQ(testing_support::writeToChild(writer, values.data(), values.size()), static_cast<ssize_t>(values.size()));
    ::close(writer);
    const RunResult run = testing_support::finishProgram(program);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(readFile(directory.file("table")).size(), 4u * 66);
  }
}

// Records handed over before the interrupt (or the request to end) are whole in the
// file: the stop waits for the statement in progress, and no record is torn.
void expectWholeRecords(const std::vector<std::string>& environment, int signal = SIGINT) {
  TempDir directory;
  const std::string path = directory.file("table.xyz");
  const std::string record = "   1.000000000E+00   2.000000000E+00  -3.000000000E+00   4.00000E+00";
  StartedProgram program =
      startScript({"open", "1", path, "#4", "write", "0", "write-until-event", "1", record}, environment);
  ASSERT_TRUE(testing_support::waitForOutput(program, "ready\n"));
  ::kill(program.pid, signal);
  const RunResult run = testing_support::finishProgram(program);
  EXPECT_EQ(run.status, signal == SIGINT ? 130 : 128 + signal);
  if (signal != SIGINT) {
    EXPECT_EQ(run.signal, signal) << "ended as an exit, not by the signal";
  }
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

TEST(InterruptDuringWrites, RequestsToEndLeaveWholeRecords) {
  SKIP_UNDER_WINE("POSIX signals other than SIGINT are wine's own, not the program's");
  expectWholeRecords({}, SIGTERM);
  expectWholeRecords({"XIOT_BUFFERED=1"}, SIGTERM);
  for (int signal : {SIGTERM, SIGUSR1, SIGALRM}) {
    SCOPED_TRACE(signal);
    expectWholeRecords({"XIOT_BUFFERED=yes", "XIOT_BLOCKSIZE=512", "XIOT_BUFFERCOUNT=1"}, signal);
  }
}

// A soft CPU-time limit (ulimit -t, or a scheduler's limit below its hard one) sends
// SIGXCPU, whose default action would end the run mid-record: the run ends by it, with
// every record whole.
TEST(InterruptDuringWrites, CpuTimeLimitLeavesWholeRecords) {
  SKIP_UNDER_WINE("the limit falls on wine, a Linux process");
  TempDir directory;
  const std::string path = directory.file("table.xyz");
  const std::string record = "   1.000000000E+00   2.000000000E+00  -3.000000000E+00   4.00000E+00";
  const std::string script = "ulimit -c 0; ulimit -S -t 1; " + testing_support::execProgram() + "\"$0\" \"$@\"";
  StartedProgram program = testing_support::startProgram("/bin/sh",
                                                         {"-c", script, testing_support::probePath("script"), "open",
                                                          "1", path, "#4", "write", "0", "write-busily", "1", record},
                                                         {{"XIOT_BUFFERED=yes", "XIOT_BLOCKSIZE=512"}, "", ""});
  // A probe the limit missed waits for ever once it has written its records: ended well
  // inside the case's time limit, so that the failure is this test's own.
  const RunResult run = testing_support::finishProgram(program, 30);
  EXPECT_EQ(run.signal, SIGXCPU) << "status " << run.status;
  EXPECT_EQ(run.err, "");
  const std::string contents = readFile(path);
  const std::string line = record + "\r\n";
  ASSERT_EQ(contents.size() % line.size(), 0u) << "a torn record at the end: " << contents.size() << " bytes";
  EXPECT_GE(contents.size() / line.size(), 100u);
  EXPECT_LT(contents.size() / line.size(), 1000000u) << "the limit never ended the run";
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
    if (thread.id != pid && thread.state == 'S' && thread.syscall >= 0 && thread.syscall != kSyscallSigwait)
      return true;
  }
  return false;
}

// Whether `pid` ignores `signal`, as /proc tells it (SigIgn: a mask in hexadecimal, bit
// n - 1 for signal n).
bool ignoresSignal(pid_t pid, int signal) {
  std::istringstream status(readFile("/proc/" + std::to_string(pid) + "/status"));
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("SigIgn:", 0) == 0) {
      const unsigned long long mask = std::strtoull(line.c_str() + 7, nullptr, 16);
      return (mask >> (signal - 1)) & 1u;
    }
  }
  return false;
}

// Under an emulator the child's threads include the emulator's own, and its system
// calls are the emulator's: what they show says nothing about the program's.
bool procSyscallReadable() { return !testing_support::kEmulated && !readFile("/proc/self/syscall").empty(); }

// Interrupts a probe while its stop is blocked writing to the full pipe on `fd`.
RunResult interruptBlockedStop(const std::vector<std::string>& words, long fd,
                               const std::vector<std::string>& environment) {
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

// --- An interrupt while a unit is being closed ---------------------------------------------

// The file descriptor through which `pid` has `path` open, or -1.
long descriptorOf(pid_t pid, const std::string& path) {
  const std::string fdDirectory = "/proc/" + std::to_string(pid) + "/fd";
  DIR* directory = ::opendir(fdDirectory.c_str());
  if (directory == nullptr) return -1;
  long found = -1;
  while (dirent* entry = ::readdir(directory)) {
    char target[4096];
    const ssize_t length = ::readlink((fdDirectory + "/" + entry->d_name).c_str(), target, sizeof target);
    if (length > 0 && std::string(target, static_cast<std::size_t>(length)) == path) found = std::atol(entry->d_name);
  }
  ::closedir(directory);
  return found;
}

// The close writes out the unit's last block into a FIFO that nobody reads yet, and
// control-C comes meanwhile: the stop waits for the close, as it waits for a statement,
// so the reader gets every record whole and the run still ends with the interrupt's
// report and status.
TEST(InterruptDuringClose, TheLastBlockIsWrittenOutWhole) {
  SKIP_UNDER_WINE("the blocked write is watched through /proc/<pid>/syscall of a Linux thread");
  if (!procSyscallReadable()) GTEST_SKIP() << "/proc/<pid>/syscall cannot be read here";
  TempDir directory;
  const std::string path = directory.file("table.fifo");
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  const int reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  // 2000 records, 132000 bytes: one block, more than the FIFO holds.
  const std::string record = "   1.000000000E+00   2.000000000E+00  -3.000000000E+00   4.00000E+00";
  constexpr int kRecords = 2000;
  StartedProgram program = startScript({"open", "1", path, "#4", "write", "0", "write", "1", std::to_string(kRecords),
                                        record, "mark", "closing", "close", "1", "0", "mark", "closed"},
                                       {"XIOT_BUFFERED=1", "XIOT_BLOCKSIZE=262144"});
  ASSERT_TRUE(testing_support::waitForOutput(program, "closing\n"));
  long fd = -1;
  ASSERT_TRUE(waitFor([&] {
    return (fd = descriptorOf(program.pid, path)) >= 0 && mainThreadBlockedWriting(program.pid, fd);
  })) << "the close never blocked";
  ::kill(program.pid, SIGINT);
  ASSERT_TRUE(waitFor([&] { return eventTaken(program.pid); })) << "the event was never taken";
  // Time enough for a stop that did not wait to end the process before the reader drains.
  timespec pause{0, 300000000};
  ::nanosleep(&pause, nullptr);
  std::string contents;
  ASSERT_TRUE(waitFor([&] {
    char buffer[65536];
    ssize_t got;
    while ((got = ::read(reader, buffer, sizeof buffer)) > 0) contents.append(buffer, static_cast<std::size_t>(got));
    return got == 0;  // every writer has closed the FIFO
  }));
  ::close(reader);
  const RunResult run = testing_support::finishProgram(program);
  EXPECT_EQ(run.status, 130);
  EXPECT_EQ(run.err.rfind("xiorun: error (200): program aborting due to control-C event\n", 0), 0u) << run.err;
  const std::string line = record + "\r\n";
  ASSERT_EQ(contents.size(), kRecords * line.size()) << "a torn or lost record";
  for (std::size_t at = 0; at < contents.size(); at += line.size()) {
    ASSERT_EQ(contents.compare(at, line.size(), line), 0) << "record at byte " << at;
  }
}

// --- An interrupt, then the pipe's reader goes -------------------------------------------

// The table goes to a FIFO whose reader has stopped reading; control-C (or a request to
// end) comes, and then the reader goes (as a pipeline's reader does on the same
// control-C). The writes that fail from then on belong to the stop: the run ends with
// the interrupt's report and status, or by the request's signal, not killed by SIGPIPE,
// and no report of a failed write is added.
TEST(InterruptDuringWrites, ReaderGoneAfterTheInterruptKeepsItsStatus) {
  SKIP_UNDER_WINE("the blocked write is watched through /proc/<pid>/syscall of a Linux thread");
  if (!procSyscallReadable()) GTEST_SKIP() << "/proc/<pid>/syscall cannot be read here";
  const std::string record = "   1.000000000E+00   2.000000000E+00  -3.000000000E+00   4.00000E+00";
  // Buffered, unit 2 also holds records that the stop still has to write out.
  for (const int signal : {SIGINT, SIGTERM}) {
    for (const char* buffered : {"XIOT_BUFFERED=0", "XIOT_BUFFERED=1"}) {
      SCOPED_TRACE(std::string(buffered) + " signal " + std::to_string(signal));
      TempDir directory;
      const std::string path = directory.file("table.fifo");
      const std::string otherPath = directory.file("other.fifo");
      ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
      ASSERT_EQ(::mkfifo(otherPath.c_str(), 0600), 0);
      // Close-on-exec: a reader inherited by the child would keep the FIFO open.
      const int reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
      const int otherReader = ::open(otherPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
      ASSERT_GE(reader, 0);
      ASSERT_GE(otherReader, 0);
      StartedProgram program = startScript({"open", "1", path, "#4", "write", "0", "open", "2", otherPath, "#4",
                                            "write", "0", "write", "2", "3", record, "write-until-event", "1", record},
                                           {buffered, "XIOT_BLOCKSIZE=4096"});
      long fd = -1;
      ASSERT_TRUE(waitFor([&] {
        return (fd = descriptorOf(program.pid, path)) >= 0 && mainThreadBlockedWriting(program.pid, fd);
      })) << "the writes never blocked";
      ::kill(program.pid, signal);
      // An interrupt's report is written once the stop has begun, before it closes the
      // units; a request to end writes none, and its stop has begun once the process
      // ignores SIGPIPE, which the stop of an aborted run does first.
      if (signal == SIGINT) {
        ASSERT_TRUE(testing_support::waitForErrorOutput(program, "control-C event\n")) << "the event was never taken";
      } else {
        ASSERT_TRUE(waitFor([&] { return ignoresSignal(program.pid, SIGPIPE); })) << "the event was never taken";
      }
      ::close(reader);
      ::close(otherReader);
      const RunResult run = testing_support::finishProgram(program);
      if (signal == SIGINT) {
        EXPECT_EQ(run.status, 130);
        EXPECT_EQ(run.err.rfind("xiorun: error (200): program aborting due to control-C event\n", 0), 0u) << run.err;
      } else {
        EXPECT_EQ(run.signal, SIGTERM) << "status " << run.status;
        EXPECT_EQ(run.err, "");
      }
      EXPECT_EQ(run.err.find("severe"), std::string::npos) << run.err;
    }
  }
}

// --- A process that can start no thread ---------------------------------------------------

// bash's limit is in KiB: 2^37 KiB is 128 TiB, more than the address space, and the C
// library makes a new thread's stack as large as this limit, so that every thread
// creation fails as on a system out of threads.
const std::string kNoThreads = "ulimit -s 137438953472;";

StartedProgram startWithoutThreads(const std::string& program, const std::vector<std::string>& words,
                                   const std::vector<std::string>& environment = {}) {
  std::string script = kNoThreads + " exec \"$0\"";
  for (std::size_t index = 0; index < words.size(); ++index) script += " \"$" + std::to_string(index + 1) + "\"";
  std::vector<std::string> arguments = {"-c", script, program};
  arguments.insert(arguments.end(), words.begin(), words.end());
  return testing_support::startProgram("/bin/bash", arguments, {environment, "", ""});
}

// Without the console-event thread, an interrupt still ends the run, by the signal's own
// default action, never as a success.
TEST(WithoutThreads, InterruptStillEndsTheRun) {
  SKIP_UNDER_WINE("the thread limit is set through the C library of Linux");
  SKIP_UNDER_EMULATION("the emulator needs threads of its own");
  if (testing_support::kSanitized) GTEST_SKIP() << "the sanitizer's runtime needs threads of its own";
  StartedProgram program = startWithoutThreads(testing_support::probePath("script"), {"wait"});
  ASSERT_TRUE(testing_support::waitForOutput(program, "ready\n"));
  ::kill(program.pid, SIGINT);
  const RunResult run = testing_support::finishProgram(program, 20);
  EXPECT_EQ(run.status, 128 + SIGINT) << "the interrupt was ignored";
}

// Every fast path that wants a thread falls back to the plain path: the same table, no
// console output and status 0, for a table edited ahead and a model read in two halves.
TEST(WithoutThreads, ConversionGivesThePlainResult) {
  SKIP_UNDER_WINE("the thread limit is set through the C library of Linux");
  SKIP_UNDER_EMULATION("the emulator needs threads of its own");
  if (testing_support::kSanitized) GTEST_SKIP() << "the sanitizer's runtime needs threads of its own";
  TempDir directory;
  directory.write("mesh", "100 80 30\n0 0 0\n100*1\n80*1\n30*2\n");
  std::string model;
  for (int cell = 0; cell < 100 * 80 * 30; ++cell) model += std::to_string(cell % 977) + ".25E-02\n";  // 2.5 MB
  directory.write("model", model);
  const std::string program = CELLCENTRIFY_BINARY;
  const std::vector<std::string> arguments = {directory.file("mesh"), directory.file("model")};
  auto withTable = [&](const std::string& table) {
    std::vector<std::string> words = arguments;
    words.push_back(directory.file(table));
    return words;
  };
  const RunResult normal = testing_support::runProgram(program, withTable("normal"), {"XIOT_BUFFERED=1"});
  ASSERT_EQ(normal.status, 0);
  StartedProgram threadless = startWithoutThreads(program, withTable("threadless"), {"XIOT_BUFFERED=1"});
  const RunResult run = testing_support::finishProgram(threadless);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");
  const std::string expected = readFile(directory.file("normal"));
  EXPECT_EQ(expected.size(), 100u * 80 * 30 * 66);
  EXPECT_TRUE(readFile(directory.file("threadless")) == expected);
}

}  // namespace

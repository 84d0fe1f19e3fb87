// Running a program as a child process with its output captured: the program itself
// for end-to-end tests, and the probes that reach a stop or a report directly.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

struct RunResult {
  std::string out;
  std::string err;
  int status = -1;  // the exit status, or 128 + the signal that ended the process
  int signal = 0;   // the signal that ended the process; 0 when it exited
};

struct RunOptions {
  // "NAME=value" sets a variable, "NAME" alone removes it. The child starts from a copy
  // of the test's environment without any XIO*/XIOT* variable, so that a setting of the
  // caller's shell never changes a test.
  std::vector<std::string> environment;
  std::string workingDirectory;  // empty: the test's own
  std::string standardInput;     // empty: standard input is /dev/null
};

// A child that is still running: its pid (for signals) and what it wrote so far. A
// program that goes out of scope unfinished (a failed assertion) is killed and reaped.
struct StartedProgram {
  StartedProgram() = default;
  StartedProgram(StartedProgram&& other) noexcept;
  StartedProgram& operator=(StartedProgram&&) = delete;
  ~StartedProgram();

  pid_t pid = -1;
  int outPipe = -1;
  int errPipe = -1;
  int inPipe = -1;
  std::string pendingInput;
  RunResult result;  // out and err as collected so far
};

// Writes to a pipe or FIFO that a child reads, as one write call: the bytes written, or
// -1 with errno set, EPIPE when the reader has gone. The test is not ended by SIGPIPE,
// and no signal's disposition is changed: the children start with the defaults.
ssize_t writeToChild(int fd, const void* bytes, std::size_t count);

// Starts `path` with `arguments` (argument 0, the program name, is added).
StartedProgram startProgram(const std::string& path, const std::vector<std::string>& arguments,
                            const RunOptions& options = {});

// Reads the child's output until `text` has appeared on its standard output (true), or
// until it closed its output or `timeoutSeconds` passed (false).
bool waitForOutput(StartedProgram& program, std::string_view text, int timeoutSeconds = 60);
// The same for its standard error.
bool waitForErrorOutput(StartedProgram& program, std::string_view text, int timeoutSeconds = 60);

// Collects the rest of the output and waits for the child to end. A child that has not
// ended after `timeoutSeconds` is killed (its status is then 128 + SIGKILL).
RunResult finishProgram(StartedProgram& program, int timeoutSeconds = 120);

// Starts, then finishes: runs `path` to its end. `environment`, `workingDirectory` and
// `standardInput` as in RunOptions.
RunResult runProgram(const std::string& path, const std::vector<std::string>& arguments,
                     const std::vector<std::string>& environment = {}, const std::string& workingDirectory = "",
                     const std::string& standardInput = "");

// The path of probe `name` (tests/probes/<name>.cpp).
std::string probePath(const std::string& name);

// The script probe (tests/probes/script.cpp) with `words` for its actions, run to its end
// or started; `environment` as in RunOptions.
RunResult runScript(const std::vector<std::string>& words, const std::vector<std::string>& environment = {});
StartedProgram startScript(const std::vector<std::string>& words, const std::vector<std::string>& environment = {});

// The first line of a program's output with its line feed; "" while no line is whole.
std::string firstLine(const std::string& text);

// The end-to-end tests can run the Windows build under wine (preset "wine"): every
// program is then started through the launcher.
#if defined(CELLCENTRIFY_LAUNCHER)
inline constexpr bool kUnderWine = true;
#else
inline constexpr bool kUnderWine = false;
#endif

// A build for another processor runs its programs under a user-mode emulator (qemu):
// every program of the tested build is then started through it, the test programs
// themselves included.
#if defined(CELLCENTRIFY_EMULATOR)
inline constexpr bool kEmulated = true;
#else
inline constexpr bool kEmulated = false;
#endif

// How death tests start their child: anew from the test program ("threadsafe"), except
// under an emulator, where the system cannot start the test program by itself (its
// processor is not this machine's) and the child is a fork of the test ("fast").
inline constexpr const char* kDeathTestStyle = kEmulated ? "fast" : "threadsafe";

// Shell text that starts a program of the tested build as a command of a script: the
// launcher or the emulator and a space when there is one, else nothing, so that a
// script can run `launchProgram() + "\"$0\""` and go on after it.
std::string launchProgram();

// The same in place of the shell: "exec ", then launchProgram(), so that a script can
// end with `execProgram() + "\"$0\""`.
std::string execProgram();

// Shell text that limits the size of files the program writes to `kibibytes` KiB, as a
// user's `ulimit -f` does, with SIGXFSZ left at its default: the program makes a write
// past the limit a failed write itself. Under wine the limit falls on wine, a Linux
// process that a Windows program cannot tell how to take the signal: there it is
// ignored for wine, as the Windows program meets no such signal on Windows.
std::string fileSizeLimit(int kibibytes);

// A path as the tested program shows it in its messages: under wine the Unix root is
// drive Z: and the separator a backslash.
std::string reportedPath(std::string_view path);

}  // namespace testing_support

// For a test whose subject does not exist under wine (POSIX signals, users, /dev/full).
#define SKIP_UNDER_WINE(reason) \
  if (testing_support::kUnderWine) GTEST_SKIP() << "not under wine: " << reason

// For a test whose subject the emulator changes: its threads, its system calls, its /proc.
#define SKIP_UNDER_EMULATION(reason) \
  if (testing_support::kEmulated) GTEST_SKIP() << "not under an emulator: " << reason

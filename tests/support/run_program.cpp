#include "support/run_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace testing_support {
namespace {

bool isIoSetting(std::string_view entry) { return entry.rfind("XIO", 0) == 0; }

std::string_view nameOf(std::string_view entry) { return entry.substr(0, entry.find('=')); }

std::vector<std::string> childEnvironment(const std::vector<std::string>& changes) {
  std::vector<std::string> entries;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (!isIoSetting(*entry)) entries.emplace_back(*entry);
  }
#if defined(CELLCENTRIFY_EMULATOR)
  // The emulator finds the target's libraries there, also when a script starts it.
  entries.emplace_back("QEMU_LD_PREFIX=" CELLCENTRIFY_EMULATOR_ROOT);
#endif
  for (const std::string& change : changes) {
    std::string_view name = nameOf(change);
    std::erase_if(entries, [&](const std::string& entry) { return nameOf(entry) == name; });
    if (change.find('=') != std::string::npos) entries.push_back(change);
  }
  return entries;
}

std::vector<char*> pointersTo(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& text : strings) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

long long nowMilliseconds() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

void closeFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

// Only async-signal-safe calls between fork and exec: the test process may have threads.
[[noreturn]] void execChild(int outWrite, int errWrite, int inRead, const std::string& directory, char** argv,
                            char** envp) {
  for (int number = 1; number < NSIG; ++number) {
    if (number == SIGKILL || number == SIGSTOP) continue;
    struct sigaction fresh {};
    fresh.sa_handler = SIG_DFL;
    ::sigaction(number, &fresh, nullptr);
  }
  sigset_t none;
  ::sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  // A probe that ends on a signal must not leave a core dump behind.
  rlimit noCore{0, 0};
  ::setrlimit(RLIMIT_CORE, &noCore);

  if (inRead < 0) inRead = ::open("/dev/null", O_RDONLY);
  if (inRead < 0 || ::dup2(inRead, 0) < 0 || ::dup2(outWrite, 1) < 0 || ::dup2(errWrite, 2) < 0) ::_exit(127);
  if (!directory.empty() && ::chdir(directory.c_str()) != 0) ::_exit(127);
  ::execve(argv[0], argv, envp);
  ::_exit(127);
}

// Moves what the child has written (and what it is still to read) through the pipes.
// Returns false when nothing is left to move.
bool pump(StartedProgram& program, int timeoutMilliseconds) {
  pollfd fds[3];
  int count = 0;
  if (program.outPipe >= 0) fds[count++] = {program.outPipe, POLLIN, 0};
  if (program.errPipe >= 0) fds[count++] = {program.errPipe, POLLIN, 0};
  if (program.inPipe >= 0) fds[count++] = {program.inPipe, POLLOUT, 0};
  if (count == 0) return false;
  int ready = ::poll(fds, static_cast<nfds_t>(count), timeoutMilliseconds);
  if (ready < 0 && errno != EINTR) return false;
  for (int index = 0; index < count && ready > 0; ++index) {
    if (fds[index].revents == 0) continue;
    int fd = fds[index].fd;
    if (fd == program.inPipe) {
      ssize_t written = writeToChild(fd, program.pendingInput.data(), program.pendingInput.size());
      if (written > 0) program.pendingInput.erase(0, static_cast<std::size_t>(written));
      if (written < 0 || program.pendingInput.empty()) closeFd(program.inPipe);
      continue;
    }
    char buffer[65536];
    ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    std::string& target = fd == program.outPipe ? program.result.out : program.result.err;
    if (got > 0) {
      target.append(buffer, static_cast<std::size_t>(got));
    } else {
      closeFd(fd == program.outPipe ? program.outPipe : program.errPipe);
    }
  }
  return true;
}

// Pumps the child's output until `text` is in `collected` (its output or its errors).
bool waitForText(StartedProgram& program, const std::string& collected, std::string_view text, int timeoutSeconds) {
  const long long deadline = nowMilliseconds() + timeoutSeconds * 1000LL;
  for (;;) {
    if (collected.find(text) != std::string::npos) return true;
    long long left = deadline - nowMilliseconds();
    if (left <= 0 || (program.outPipe < 0 && program.errPipe < 0)) return false;
    if (!pump(program, static_cast<int>(left))) return false;
  }
}

}  // namespace

StartedProgram::StartedProgram(StartedProgram&& other) noexcept
    : pid(other.pid),
      outPipe(other.outPipe),
      errPipe(other.errPipe),
      inPipe(other.inPipe),
      pendingInput(std::move(other.pendingInput)),
      result(std::move(other.result)) {
  other.pid = -1;
  other.outPipe = other.errPipe = other.inPipe = -1;
}

StartedProgram::~StartedProgram() {
  if (pid > 0) {
    ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  closeFd(outPipe);
  closeFd(errPipe);
  closeFd(inPipe);
}

ssize_t writeToChild(int fd, const void* bytes, std::size_t count) {
  // SIGPIPE is blocked on this thread for the call; one that the call raised is taken
  // back before the mask is restored, so that it is never delivered.
  sigset_t brokenPipe;
  sigset_t previous;
  ::sigemptyset(&brokenPipe);
  ::sigaddset(&brokenPipe, SIGPIPE);
  ::pthread_sigmask(SIG_BLOCK, &brokenPipe, &previous);
  const ssize_t written = ::write(fd, bytes, count);
  const int error = errno;
  if (written < 0 && error == EPIPE) {
    const timespec noWait{0, 0};
    while (::sigtimedwait(&brokenPipe, nullptr, &noWait) < 0 && errno == EINTR) {
    }
  }
  ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  errno = error;
  return written;
}

StartedProgram startProgram(const std::string& path, const std::vector<std::string>& arguments,
                            const RunOptions& options) {
  std::vector<std::string> argumentStrings{path};
#if defined(CELLCENTRIFY_LAUNCHER)
  // The tested build's programs go through the launcher; the test's own tools do not.
  if (path.ends_with(CELLCENTRIFY_PROGRAM_SUFFIX))
    argumentStrings.insert(argumentStrings.begin(), CELLCENTRIFY_LAUNCHER);
#elif defined(CELLCENTRIFY_EMULATOR)
  // So do they through the emulator; the system's own tools run as they are.
  if (path == CELLCENTRIFY_BINARY || path.starts_with(CELLCENTRIFY_PROBE_DIR)) {
    argumentStrings.insert(argumentStrings.begin(), CELLCENTRIFY_EMULATOR);
  }
#endif
  argumentStrings.insert(argumentStrings.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv = pointersTo(argumentStrings);
  std::vector<std::string> environmentStrings = childEnvironment(options.environment);
  std::vector<char*> envp = pointersTo(environmentStrings);

  StartedProgram program;
  int out[2];
  int err[2];
  int in[2] = {-1, -1};
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return program;
  if (!options.standardInput.empty() && ::pipe2(in, O_CLOEXEC) != 0) return program;

  pid_t pid = ::fork();
  if (pid == 0) execChild(out[1], err[1], in[0], options.workingDirectory, argv.data(), envp.data());
  ::close(out[1]);
  ::close(err[1]);
  if (in[0] >= 0) ::close(in[0]);
  program.pid = pid;
  program.outPipe = out[0];
  program.errPipe = err[0];
  program.inPipe = in[1];
  if (program.inPipe >= 0) {
    ::fcntl(program.inPipe, F_SETFL, O_NONBLOCK);
    program.pendingInput = options.standardInput;
  }
  return program;
}

bool waitForOutput(StartedProgram& program, std::string_view text, int timeoutSeconds) {
  return waitForText(program, program.result.out, text, timeoutSeconds);
}

bool waitForErrorOutput(StartedProgram& program, std::string_view text, int timeoutSeconds) {
  return waitForText(program, program.result.err, text, timeoutSeconds);
}

RunResult finishProgram(StartedProgram& program, int timeoutSeconds) {
  if (program.pid <= 0) return program.result;
  const long long deadline = nowMilliseconds() + timeoutSeconds * 1000LL;
  bool killed = false;
  for (;;) {
    long long left = deadline - nowMilliseconds();
    if (left <= 0 && !killed) {
      ::kill(program.pid, SIGKILL);
      killed = true;
    }
    if (!pump(program, left > 0 ? static_cast<int>(left) : 1000)) break;
  }
  closeFd(program.inPipe);
  int status = 0;
  while (::waitpid(program.pid, &status, 0) < 0 && errno == EINTR) {
  }
  program.pid = -1;
  program.result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  program.result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
#if defined(CELLCENTRIFY_EMULATOR)
  // The emulator tells of a program that a signal ended ("qemu: uncaught target signal
  // 15 (Terminated) - core dumped"): its own line, not the program's.
  std::string& err = program.result.err;
  for (std::size_t at = 0; (at = err.find("qemu: ", at)) != std::string::npos;) {
    if (at != 0 && err[at - 1] != '\n') {
      ++at;
      continue;
    }
    const std::size_t end = err.find('\n', at);
    err.erase(at, end == std::string::npos ? std::string::npos : end + 1 - at);
  }
#endif
  return program.result;
}

RunResult runProgram(const std::string& path, const std::vector<std::string>& arguments,
                     const std::vector<std::string>& environment, const std::string& workingDirectory,
                     const std::string& standardInput) {
  StartedProgram program = startProgram(path, arguments, RunOptions{environment, workingDirectory, standardInput});
  return finishProgram(program);
}

std::string probePath(const std::string& name) {
  return std::string(CELLCENTRIFY_PROBE_DIR) + "/probe_" + name + CELLCENTRIFY_PROGRAM_SUFFIX;
}

RunResult runScript(const std::vector<std::string>& words, const std::vector<std::string>& environment) {
  return runProgram(probePath("script"), words, environment);
}

StartedProgram startScript(const std::vector<std::string>& words, const std::vector<std::string>& environment) {
  return startProgram(probePath("script"), words, RunOptions{environment, "", ""});
}

std::string firstLine(const std::string& text) { return text.substr(0, text.find('\n') + 1); }

std::string launchProgram() {
#if defined(CELLCENTRIFY_LAUNCHER)
  return CELLCENTRIFY_LAUNCHER " ";
#elif defined(CELLCENTRIFY_EMULATOR)
  return CELLCENTRIFY_EMULATOR " ";
#else
  return "";
#endif
}

std::string execProgram() { return "exec " + launchProgram(); }

std::string fileSizeLimit(int kibibytes) {
  return "ulimit -f " + std::to_string(kibibytes) + ";" + (kUnderWine ? " trap '' XFSZ;" : "");
}

std::string reportedPath(std::string_view path) {
  if (!kUnderWine || path.empty() || path.front() != '/') return std::string(path);
  std::string windows = "Z:";
  for (char c : path) windows += c == '/' ? '\\' : c;
  return windows;
}

}  // namespace testing_support

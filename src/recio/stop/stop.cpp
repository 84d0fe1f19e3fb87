// Stopping the run: the normal stop, the fatal report, the stop of a console event.
#include "recio/stop/stop.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "recio/platform/platform.h"
#include "recio/settings.h"
#include "recio/stop/messages.h"
#include "recio/stop/traceback.h"

namespace recio {

namespace detail {
// A stop's inProgress, readable without its mutex. Constant-initialized and trivially
// destroyed, so a thread still reading it while the process exits finds it intact.
constinit std::atomic<bool> stopBegun{false};
}  // namespace detail

namespace {

// Process-wide stop state. Allocated once and never destroyed, so that a thread still
// blocked on it while the process exits finds it intact.
struct StopState {
  std::mutex mutex;
  bool inProgress = false;
  bool aborting = false;  // the stop is not the normal one
  std::thread::id owner;
  int exitStatus = 0;
  bool standardErrorRedirected = false;
  bool reportIssued = false;
  std::atomic<UnitCloser> unitCloser{nullptr};
};

StopState& stopState() {
  static StopState* state = new StopState;
  return *state;
}

// The exit status of a stop that ends the process as killed by the termination request.
constexpr int kEndAsTerminated = -1;

enum class StopClaim { Claimed, AlreadyMine, OtherThread };
enum class StopKind { Normal, Abort };

StopClaim claimStop(int exitStatus, StopKind kind) {
  StopState& state = stopState();
  {
    std::lock_guard<std::mutex> guard(state.mutex);
    if (state.inProgress) {
      return state.owner == std::this_thread::get_id() ? StopClaim::AlreadyMine : StopClaim::OtherThread;
    }
    state.inProgress = true;
    state.aborting = kind == StopKind::Abort;
    detail::stopBegun.store(true, std::memory_order_release);
    state.owner = std::this_thread::get_id();
    state.exitStatus = exitStatus;
  }
  // An aborted run ends with its own status. A pipe whose reader goes away meanwhile
  // (control-C reaches the whole pipeline) must not end it by SIGPIPE instead: its
  // writes fail from here on like any other.
  if (kind == StopKind::Abort) platform::failWritesToClosedPipes();
  return StopClaim::Claimed;
}

int stopExitStatus() {
  StopState& state = stopState();
  std::lock_guard<std::mutex> guard(state.mutex);
  return state.exitStatus;
}

void setStopExitStatus(int exitStatus) {
  StopState& state = stopState();
  std::lock_guard<std::mutex> guard(state.mutex);
  state.exitStatus = exitStatus;
}

[[noreturn]] void exitProcess(int status) {
  std::fflush(nullptr);
  if (status == kEndAsTerminated) platform::endAsTerminated();
  std::exit(status);
}

[[noreturn]] void finishStop() {
  if (const UnitCloser closer = stopState().unitCloser.load(std::memory_order_acquire)) closer();
  exitProcess(stopExitStatus());
}

std::size_t appendText(char* buffer, std::size_t capacity, std::size_t length, const char* text, std::size_t count) {
  if (length + count > capacity) count = capacity - length;
  std::memcpy(buffer + length, text, count);
  return length + count;
}

// The message text with %d replaced by the unit number and %s by the name.
std::size_t composeMessage(char* buffer, std::size_t capacity, std::size_t length, const Message& message,
                           std::int32_t unitNumber, std::string_view name) {
  for (const char* c = message.text; *c != '\0'; ++c) {
    if (c[0] == '%' && c[1] == 'd') {
      char digits[16];
      int count = std::snprintf(digits, sizeof digits, "%d", unitNumber);
      length = appendText(buffer, capacity, length, digits, static_cast<std::size_t>(count));
      ++c;
    } else if (c[0] == '%' && c[1] == 's') {
      length = appendText(buffer, capacity, length, name.data(), name.size());
      ++c;
    } else {
      length = appendText(buffer, capacity, length, c, 1);
    }
  }
  return length;
}

std::size_t composePrefix(char* buffer, std::size_t capacity, Severity severity, std::int32_t number) {
  static constexpr const char* kPrefixes[] = {
      "xiorun: ", "xiorun: info (%i): ", "xiorun: warning (%i): ", "xiorun: error (%i): ", "xiorun: severe (%i): "};
  int count = std::snprintf(buffer, capacity, kPrefixes[static_cast<int>(severity)], number);
  return static_cast<std::size_t>(count) < capacity ? static_cast<std::size_t>(count) : capacity - 1;
}

// The log is opened for each report and closed after it: nothing holds it open between
// reports, and other runs may append to it too.
void appendToFile(const char* path, const char* bytes, std::size_t count) {
  const platform::FileHandle file = platform::openForAppending(path);
  if (file == platform::kNoFile) return;
  int error = 0;
  platform::writeFile(file, bytes, count, nullptr, 0, error);
  platform::closeFile(file, error);
}

// Standard error goes on appending to the file, so that the reports of earlier runs stay.
bool redirectStandardError(const char* path) {
  const platform::FileHandle file = platform::openForAppending(path);
  return file != platform::kNoFile && platform::replaceStandardError(file);
}

void writeReport(const ReportSettings& settings, const char* report, std::size_t length) {
  if (settings.logFile != nullptr) appendToFile(settings.logFile, report, length);
  if (!settings.displayDisabled) {
    int error = 0;
    platform::writeFile(platform::standardError(), report, length, nullptr, 0, error);
  }
}

}  // namespace

void setUnitCloser(UnitCloser closer) { stopState().unitCloser.store(closer, std::memory_order_release); }

bool stopBegunElsewhere() {
  StopState& state = stopState();
  if (!detail::stopBegun.load(std::memory_order_acquire)) return false;
  std::lock_guard<std::mutex> guard(state.mutex);
  return state.owner != std::this_thread::get_id();
}

// Another thread is already ending the run and will end the process with the status
// of that stop. Waiting here, rather than exiting at once, lets it finish its report
// and write out every unit; this thread never holds a unit lock when it gets here.
void awaitOtherStop() { platform::suspendThread(); }

bool stopIsAbort() {
  StopState& state = stopState();
  std::lock_guard<std::mutex> guard(state.mutex);
  return state.inProgress && state.aborting;
}

void stopOnConsoleEvent(platform::ConsoleEvent event) {
  if (event == platform::ConsoleEvent::Terminate) {
    // A request to end from outside is no console event of the run's: no report is
    // written. The units are still closed as by any stop, so that the table ends at its
    // last whole record; then the process ends by the request's own default action. A
    // unit that fails to be written out is reported, and the run ends with 38 instead.
    if (claimStop(kEndAsTerminated, StopKind::Abort) != StopClaim::Claimed) awaitOtherStop();
    finishStop();
  }
  // An interrupted command ends with 130, as shells report it; break and close keep
  // their own codes.
  const char* name = "control-C";
  int exitStatus = 130;
  if (event == platform::ConsoleEvent::Break) {
    name = "control-BREAK";
    exitStatus = 1;
  } else if (event == platform::ConsoleEvent::Close) {
    name = "window-CLOSE";
    exitStatus = 2;
  }
  if (claimStop(exitStatus, StopKind::Abort) != StopClaim::Claimed) awaitOtherStop();
  fatalReport(kMsgAborting, 0, name);
  finishStop();
}

void runStop(int exitStatus) {
  switch (claimStop(exitStatus, StopKind::Normal)) {
    case StopClaim::Claimed:
      break;
    case StopClaim::AlreadyMine:
      exitProcess(stopExitStatus());
    case StopClaim::OtherThread:
      awaitOtherStop();
  }
  finishStop();
}

void fatalReport(std::int32_t messageNumber, std::int32_t unitNumber, std::string_view name) {
  const Message* message = findMessage(messageNumber);
  static constexpr Message kUnknown = {0, Severity::Severe, "unknown run-time error"};
  if (message == nullptr) message = &kUnknown;
  const Severity severity = message->severity;

  bool nested = false;
  if (severity == Severity::Severe) {
    switch (claimStop(messageNumber, StopKind::Abort)) {
      case StopClaim::Claimed:
        break;
      case StopClaim::AlreadyMine:
        // A unit failed while this thread was already closing everything: the report
        // is written and the run ends with this message's number instead.
        nested = true;
        setStopExitStatus(messageNumber);
        break;
      case StopClaim::OtherThread:
        awaitOtherStop();
    }
  }

  const ReportSettings settings = reportSettings();
  const bool debuggerPresent = settings.debuggerPresent || platform::isDebuggerPresent();
  const bool disableTrace = settings.disableTrace;
  const bool forceTrace = settings.forceTrace;

  {
    StopState& state = stopState();
    std::lock_guard<std::mutex> guard(state.mutex);
    if (!state.reportIssued) {
      state.reportIssued = true;
      if (const char* target = settings.standardErrorTarget) {
        state.standardErrorRedirected = redirectStandardError(target);
      }
    }
  }

  // The name is a path of any length: it gets room of its own, so that a long one is
  // written whole and leaves the traceback its room. Without that memory, the message
  // line alone, in memory of its own size or else on the stack.
  std::size_t capacity = kReportCapacity + name.size();
  char* report = static_cast<char*>(std::malloc(capacity));
  const bool bufferObtained = report != nullptr;
  char lineBuffer[512];
  char* lineMemory = nullptr;
  if (!bufferObtained) {
    capacity = sizeof lineBuffer + name.size();
    lineMemory = static_cast<char*>(std::malloc(capacity));
    report = lineMemory;
    if (report == nullptr) {
      report = lineBuffer;
      capacity = sizeof lineBuffer;
    }
  }
  std::size_t length = composePrefix(report, capacity, severity, messageNumber);
  length = composeMessage(report, capacity - 1, length, *message, unitNumber, name);
  report[length++] = '\n';

  bool traceback = forceTrace || (!disableTrace && tracebackAvailable() && bufferObtained);
  if (severity != Severity::Severe && !forceTrace) traceback = traceback && severity == Severity::Error;
  if (traceback) length = appendTraceback(report, capacity, length);

  writeReport(settings, report, length);
  if (bufferObtained) std::free(report);
  std::free(lineMemory);

  if (severity != Severity::Severe || nested) return;
  if (debuggerPresent) platform::breakpointTrap();
  finishStop();
}

}  // namespace recio

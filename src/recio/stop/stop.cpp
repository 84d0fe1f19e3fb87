// Stopping the run: the normal stop, the fatal report, the stop of a console event.
#include "recio/stop/stop.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "recio/platform/platform.h"
#include "recio/settings/settings.h"
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
// When the file cannot be opened or made standard error, the reports go where standard
// error already went: nothing later depends on which it was.
void redirectStandardError(const char* path) {
  const platform::FileHandle file = platform::openForAppending(path);
  if (file != platform::kNoFile) platform::replaceStandardError(file);
}

// The run's first report, and only that one, takes the settings' standard error target:
// a later report of the same run writes where the first one did.
void redirectStandardErrorAtFirstReport(const ReportSettings& settings) {
  StopState& state = stopState();
  std::lock_guard<std::mutex> guard(state.mutex);
  if (state.reportIssued) return;
  state.reportIssued = true;
  if (const char* target = settings.standardErrorTarget) redirectStandardError(target);
}

// The catalogue's message, or a severe "unknown run-time error" for a number it lacks.
const Message& catalogueMessage(std::int32_t messageNumber) {
  static constexpr Message kUnknown = {0, Severity::Severe, "unknown run-time error"};
  const Message* message = findMessage(messageNumber);
  return message != nullptr ? *message : kUnknown;
}

// A severe report claims the stop before it writes anything, so that no other thread's
// stop or report overtakes it; a thread already stopping elsewhere leaves the run to that
// stop and waits. Returns whether the report is nested: this thread was already stopping
// (a unit failed while it closed everything), and the run now ends with this message's
// number instead, once the caller has gone on closing.
bool claimStopForSevereReport(std::int32_t messageNumber) {
  switch (claimStop(messageNumber, StopKind::Abort)) {
    case StopClaim::Claimed:
      return false;
    case StopClaim::AlreadyMine:
      setStopExitStatus(messageNumber);
      return true;
    case StopClaim::OtherThread:
      awaitOtherStop();
  }
  return false;
}

// The memory a report is composed in, so that it is written in one piece. The name is a
// path of any length: it gets room of its own, so that a long one is written whole and
// leaves the traceback its room. Without that memory, the message line alone, in memory
// of its own size or else on the stack, and no traceback.
class ReportBuffer {
 public:
  explicit ReportBuffer(std::size_t nameLength) {
    capacity_ = kReportCapacity + nameLength;
    memory_ = static_cast<char*>(std::malloc(capacity_));
    if (memory_ != nullptr) {
      text_ = memory_;
      tracebackRoom_ = true;
      return;
    }
    capacity_ = sizeof lineOnStack_ + nameLength;
    memory_ = static_cast<char*>(std::malloc(capacity_));
    if (memory_ != nullptr) {
      text_ = memory_;
      return;
    }
    text_ = lineOnStack_;
    capacity_ = sizeof lineOnStack_;
  }
  ReportBuffer(const ReportBuffer&) = delete;
  ReportBuffer& operator=(const ReportBuffer&) = delete;
  ~ReportBuffer() { std::free(memory_); }

  char* text() { return text_; }
  std::size_t capacity() const { return capacity_; }
  // Whether the whole report's memory was obtained, with room for a traceback.
  bool tracebackRoom() const { return tracebackRoom_; }

 private:
  char* memory_ = nullptr;
  char* text_ = nullptr;
  std::size_t capacity_ = 0;
  bool tracebackRoom_ = false;
  char lineOnStack_[512];
};

// The report's first line: the prefix with the severity and number, the message's text,
// and its terminator, which always has its byte.
std::size_t composeMessageLine(ReportBuffer& report, const Message& message, std::int32_t messageNumber,
                               std::int32_t unitNumber, std::string_view name) {
  std::size_t length = composePrefix(report.text(), report.capacity(), message.severity, messageNumber);
  length = composeMessage(report.text(), report.capacity() - 1, length, message, unitNumber, name);
  report.text()[length++] = '\n';
  return length;
}

// A forced traceback is added to every report, as far as the report's memory has room.
// Otherwise errors and severe reports show one unless the settings turn it off, the
// symbols could not be prepared, or the report's memory left no room; information and
// warnings stand alone.
bool tracebackWanted(const ReportSettings& settings, Severity severity, bool tracebackRoom) {
  if (settings.forceTrace) return true;
  if (settings.disableTrace || !tracebackAvailable() || !tracebackRoom) return false;
  return severity == Severity::Severe || severity == Severity::Error;
}

void writeReport(const ReportSettings& settings, const char* report, std::size_t length) {
  if (settings.logFile != nullptr) appendToFile(settings.logFile, report, length);
  if (!settings.displayDisabled) {
    int error = 0;
    platform::writeFile(platform::standardError(), report, length, nullptr, 0, error);
  }
}

// The report is written: under a debugger the run stops in it first, then every unit is
// closed and the process ends with the stop's status.
[[noreturn]] void endRunAfterSevereReport(bool debuggerPresent) {
  if (debuggerPresent) platform::breakpointTrap();
  finishStop();
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
  const Message& message = catalogueMessage(messageNumber);
  const bool severe = message.severity == Severity::Severe;
  const bool nested = severe && claimStopForSevereReport(messageNumber);
  const ReportSettings settings = reportSettings();
  const bool debuggerPresent = settings.debuggerPresent || platform::isDebuggerPresent();
  redirectStandardErrorAtFirstReport(settings);
  {
    // The report's memory is given back once it is written, before the run ends.
    ReportBuffer report(name.size());
    std::size_t length = composeMessageLine(report, message, messageNumber, unitNumber, name);
    if (tracebackWanted(settings, message.severity, report.tracebackRoom())) {
      length = appendTraceback(report.text(), report.capacity(), length);
    }
    writeReport(settings, report.text(), length);
  }
  // Information, warnings and errors go on with the run, and so does a severe report
  // made while this thread is already closing everything.
  if (!severe || nested) return;
  endRunAfterSevereReport(debuggerPresent);
}

}  // namespace recio

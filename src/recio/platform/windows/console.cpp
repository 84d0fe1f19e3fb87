// The platform layer on Windows, the console: the standard handles, and the interrupt,
// break and close events through a console control handler.
#include "recio/platform/platform.h"

#include <csignal>

#include "recio/platform/windows/win32.h"

namespace recio::platform {

void reserveStandardStreams() {
  static constexpr DWORD kStreams[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
  for (DWORD stream : kStreams) {
    HANDLE current = GetStdHandle(stream);
    if (current != nullptr && current != INVALID_HANDLE_VALUE) continue;
    // Read-only: every write fails, as on a closed stream, and nothing is ever read.
    HANDLE none = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (none != INVALID_HANDLE_VALUE) SetStdHandle(stream, none);
  }
}

FileHandle standardOutput() { return fromHandle(GetStdHandle(STD_OUTPUT_HANDLE)); }
FileHandle standardError() { return fromHandle(GetStdHandle(STD_ERROR_HANDLE)); }

// The handle itself becomes standard error: nothing is left to close.
// The console's own names (CON, CONOUT$) are the open's (files.cpp).
FileHandle standardOutputNamed(std::string_view) { return kNoFile; }

bool replaceStandardError(FileHandle file) {
  if (SetStdHandle(STD_ERROR_HANDLE, toHandle(file))) return true;
  CloseHandle(toHandle(file));
  return false;
}

// --- Console events ------------------------------------------------------------

namespace {

// The C signal that stands for the event, 0 when none does (window close).
int signalNumberOf(ConsoleEvent event) {
  switch (event) {
    case ConsoleEvent::Interrupt:
      return SIGINT;
    case ConsoleEvent::Break:
      return SIGBREAK;
    case ConsoleEvent::Close:
    case ConsoleEvent::Terminate:
      return 0;
  }
  return SIGINT;
}

// A handler function of the program's own installed for the event's signal, or nullptr.
using SignalFunction = void (*)(int);
SignalFunction installedSignalHandler(ConsoleEvent event) {
  int number = signalNumberOf(event);
  if (number == 0) return nullptr;
  // The C runtime can only tell its disposition by replacing it: put it straight back.
  SignalFunction current = std::signal(number, SIG_DFL);
  if (current == SIG_ERR) return nullptr;
  if (current == SIG_DFL) return nullptr;
  std::signal(number, current);
  if (current == SIG_IGN) return nullptr;
  return current;
}

ConsoleEventHandler consoleHandler = nullptr;

// Runs on a thread that the console creates for the event.
BOOL WINAPI onConsoleControl(DWORD type) {
  ConsoleEvent event;
  switch (type) {
    case CTRL_C_EVENT:
      event = ConsoleEvent::Interrupt;
      break;
    case CTRL_BREAK_EVENT:
      event = ConsoleEvent::Break;
      break;
    case CTRL_CLOSE_EVENT:
      event = ConsoleEvent::Close;
      break;
    default:
      return FALSE;  // log-off and shut-down go on to the next handler
  }
  // A handler function of the program's own takes the event instead: the C runtime's
  // console handler, next in line, calls it.
  if (event != ConsoleEvent::Close && installedSignalHandler(event) != nullptr) return FALSE;
  consoleHandler(event);
  return TRUE;
}

}  // namespace

void startConsoleEvents(ConsoleEventHandler handler) {
  consoleHandler = handler;
  SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

// No Terminate event comes on Windows; the status is a terminated command's in a shell.
void endAsTerminated() { ExitProcess(143); }

// Windows has no signal for either: a write past a limit or into a closed pipe fails.
void failWritesPastFileSizeLimit() {}
void failWritesToClosedPipes() {}

}  // namespace recio::platform

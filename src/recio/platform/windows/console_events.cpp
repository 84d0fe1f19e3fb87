// The platform layer on Windows, the console events: the interrupt, break and close events
// through a console control handler, and the end of a run by a request to end.
#include "recio/platform/platform.h"

#include <csignal>

#include "recio/platform/windows/win32.h"

namespace recio::platform {

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

}  // namespace recio::platform

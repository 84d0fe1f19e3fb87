// The platform layer on POSIX, the console: the standard streams, and the interrupt,
// break and close events (SIGINT, SIGQUIT, SIGHUP) taken on a thread of their own.
#include "recio/platform/platform.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

namespace recio::platform {

FileHandle standardOutput() { return STDOUT_FILENO; }
FileHandle standardError() { return STDERR_FILENO; }

void reserveStandardStreams() {
  for (int stream = STDIN_FILENO; stream <= STDERR_FILENO; ++stream) {
    if (::fcntl(stream, F_GETFD) != -1 || errno != EBADF) continue;
    // open() returns the lowest free descriptor: this one.
    int fd = ::open("/dev/null", O_RDONLY);
    if (fd >= 0 && fd != stream) ::close(fd);
  }
}

bool replaceStandardError(FileHandle file) {
  bool moved = ::dup2(static_cast<int>(file), STDERR_FILENO) >= 0;
  ::close(static_cast<int>(file));
  return moved;
}

// --- Console events ------------------------------------------------------------

namespace {

int signalNumberOf(ConsoleEvent event) {
  switch (event) {
    case ConsoleEvent::Interrupt: return SIGINT;
    case ConsoleEvent::Break: return SIGQUIT;
    case ConsoleEvent::Close: return SIGHUP;
  }
  return SIGINT;
}

// A handler function of the program's own installed for the event's signal, or nullptr.
using SignalFunction = void (*)(int);
SignalFunction installedSignalHandler(ConsoleEvent event) {
  struct sigaction current;
  if (::sigaction(signalNumberOf(event), nullptr, &current) != 0) return nullptr;
  if (current.sa_flags & SA_SIGINFO) return nullptr;
  if (current.sa_handler == SIG_DFL || current.sa_handler == SIG_IGN) return nullptr;
  return current.sa_handler;
}

ConsoleEventHandler consoleHandler = nullptr;

void consoleEventSet(sigset_t& set) {
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGQUIT);
  sigaddset(&set, SIGHUP);
}

// The events are taken here, as ordinary code on a thread of their own, never inside
// an asynchronous signal handler: the report and the closing of the units need locks.
void* consoleEventThread(void*) {
  sigset_t set;
  consoleEventSet(set);
  for (;;) {
    int number = 0;
    if (::sigwait(&set, &number) != 0) continue;
    ConsoleEvent event = number == SIGINT    ? ConsoleEvent::Interrupt
                         : number == SIGQUIT ? ConsoleEvent::Break
                                             : ConsoleEvent::Close;
    if ((event == ConsoleEvent::Interrupt || event == ConsoleEvent::Break)) {
      // A handler function of the program's own takes the event instead.
      if (SignalFunction own = installedSignalHandler(event)) {
        own(number);
        continue;
      }
    }
    consoleHandler(event);
  }
  return nullptr;
}

}  // namespace

void startConsoleEvents(ConsoleEventHandler handler) {
  consoleHandler = handler;
  sigset_t set;
  consoleEventSet(set);
  // Blocked here, before any other thread exists, so that every later thread inherits
  // the mask and only the event thread ever receives these signals.
  sigset_t previous;
  ::pthread_sigmask(SIG_BLOCK, &set, &previous);
  pthread_attr_t attributes;
  bool started = ::pthread_attr_init(&attributes) == 0;
  if (started) {
    ::pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    started = ::pthread_create(&thread, &attributes, consoleEventThread, nullptr) == 0;
    ::pthread_attr_destroy(&attributes);
  }
  // Without the thread nobody would ever take the blocked signals, and an interrupted
  // run would go on to end in success. The mask is given back, so that the signals take
  // their own course: a handler of the program's, or the default action, which ends the
  // process by the signal (a shell reports 130 for control-C, as the run's own stop
  // does). The report and the closing of the units cannot be made safe inside an
  // asynchronous handler, since they take locks.
  if (!started) ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

}  // namespace recio::platform

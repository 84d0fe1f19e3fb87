// The platform layer on POSIX, the console: the standard streams, the interrupt, break,
// close and terminate events (SIGINT, SIGQUIT, SIGHUP, SIGTERM) taken on a thread of
// their own, and the signals of failed writes (SIGXFSZ, SIGPIPE).
#include "recio/platform/platform.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

namespace recio::platform {

FileHandle standardOutput() { return STDOUT_FILENO; }
FileHandle standardError() { return STDERR_FILENO; }

namespace {

// An empty file sealed against every change: a read finds its end at once, and a write
// fails (EPERM) through this descriptor and through any opened anew on the same file,
// as /dev/stdout or /proc/self/fd/N opens it. /dev/null would take such a write and
// lose it. -1 where the system has no sealed memory files.
int sealedEmptyFile() {
#if defined(__linux__) && defined(MFD_ALLOW_SEALING)
  const int fd = ::memfd_create("closed-stream", MFD_ALLOW_SEALING);
  if (fd < 0) return -1;
  if (::fcntl(fd, F_ADD_SEALS, F_SEAL_WRITE | F_SEAL_GROW | F_SEAL_SHRINK | F_SEAL_SEAL) == 0) return fd;
  ::close(fd);
#endif
  return -1;
}

}  // namespace

void reserveStandardStreams() {
  for (int stream = STDIN_FILENO; stream <= STDERR_FILENO; ++stream) {
    if (::fcntl(stream, F_GETFD) != -1 || errno != EBADF) continue;
    // Each call returns the lowest free descriptor: this one. Without sealed files, the
    // devices come closest: /dev/null reads nothing, and /dev/full, opened anew for
    // writing, fails every write (ENOSPC); both are opened read-only, so that a write
    // through this descriptor fails too.
    int fd = sealedEmptyFile();
    if (fd < 0) fd = ::open(stream == STDIN_FILENO ? "/dev/null" : "/dev/full", O_RDONLY);
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
    case ConsoleEvent::Interrupt:
      return SIGINT;
    case ConsoleEvent::Break:
      return SIGQUIT;
    case ConsoleEvent::Close:
      return SIGHUP;
    case ConsoleEvent::Terminate:
      return SIGTERM;
  }
  return SIGINT;
}

ConsoleEvent eventOf(int signalNumber) {
  switch (signalNumber) {
    case SIGQUIT:
      return ConsoleEvent::Break;
    case SIGHUP:
      return ConsoleEvent::Close;
    case SIGTERM:
      return ConsoleEvent::Terminate;
    default:
      return ConsoleEvent::Interrupt;
  }
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
  sigaddset(&set, SIGTERM);
}

// The events are taken here, as ordinary code on a thread of their own, never inside
// an asynchronous signal handler: the report and the closing of the units need locks.
void* consoleEventThread(void*) {
  sigset_t set;
  consoleEventSet(set);
  for (;;) {
    int number = 0;
    if (::sigwait(&set, &number) != 0) continue;
    const ConsoleEvent event = eventOf(number);
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

void endAsTerminated() {
  // The signal is blocked on every thread of the process: it is let through on this
  // one only once its default action is back, and then ends the process at once.
  struct sigaction fresh {};
  fresh.sa_handler = SIG_DFL;
  ::sigaction(SIGTERM, &fresh, nullptr);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGTERM);
  ::raise(SIGTERM);
  ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  // Only a signal caught elsewhere could leave the process running here.
  ::_exit(128 + SIGTERM);
}

// --- Signals of failed writes ----------------------------------------------------------

namespace {

void ignoreSignal(int number) {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(number, &ignore, nullptr);
}

}  // namespace

void failWritesPastFileSizeLimit() { ignoreSignal(SIGXFSZ); }

void failWritesToClosedPipes() { ignoreSignal(SIGPIPE); }

}  // namespace recio::platform

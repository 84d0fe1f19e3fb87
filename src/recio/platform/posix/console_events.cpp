// The platform layer on POSIX, the console events: the interrupt, break and close events
// (SIGINT, SIGQUIT, SIGHUP) and the requests to end (SIGTERM and the other signals whose
// default ends the process), taken on a thread of their own, and the end of a run by the
// request it was acting on.
#include "recio/platform/platform.h"

#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>

namespace recio::platform {

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
    case SIGINT:
      return ConsoleEvent::Interrupt;
    case SIGQUIT:
      return ConsoleEvent::Break;
    case SIGHUP:
      return ConsoleEvent::Close;
    default:
      return ConsoleEvent::Terminate;
  }
}

using SignalFunction = void (*)(int);

// The plain handler set for a signal: SIG_DFL, SIG_IGN or a function of the program's
// own. SIG_DFL too when the disposition cannot be read, or is a handler that takes the
// signal's information, which is none of those three.
SignalFunction plainDisposition(int number) {
  struct sigaction current;
  if (::sigaction(number, nullptr, &current) != 0 || (current.sa_flags & SA_SIGINFO)) return SIG_DFL;
  return current.sa_handler;
}

// A handler function of the program's own installed for the event's signal, or nullptr.
SignalFunction installedSignalHandler(ConsoleEvent event) {
  const SignalFunction handler = plainDisposition(signalNumberOf(event));
  return handler == SIG_DFL || handler == SIG_IGN ? nullptr : handler;
}

// Adds to `set` the signals whose default action would end the run at an arbitrary
// instruction, and so in the middle of a record: the console's three, and every request
// to end that can be caught. SIGTERM comes from kill, timeout and a container's stop;
// SIGXCPU from a CPU-time limit (ulimit -t, a scheduler's limit below its hard one); the
// others from schedulers and timers, which send them before a job's end. SIGPIPE has a
// rule of its own (failWritesToClosedPipes), SIGXFSZ is ignored
// (failWritesPastFileSizeLimit), and the faults (SIGSEGV, SIGBUS, SIGFPE, SIGILL,
// SIGABRT) cannot be taken on another thread.
//
// A signal ignored when the program starts is left out, and so stays ignored (nohup,
// trap '' TERM, the SIGINT of a non-interactive shell's background job): were it
// blocked and waited for, it would still arrive, since the system keeps a blocked
// signal pending whatever its disposition.
void addEndingSignalsNotIgnored(sigset_t& set) {
  const auto add = [&set](int number) {
    if (plainDisposition(number) != SIG_IGN) sigaddset(&set, number);
  };
  for (int number : {SIGINT, SIGQUIT, SIGHUP, SIGTERM, SIGXCPU, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF}) {
    add(number);
  }
#if defined(SIGIO)
  add(SIGIO);
#endif
#if defined(SIGPWR)
  add(SIGPWR);
#endif
#if defined(SIGSTKFLT)
  add(SIGSTKFLT);
#endif
#if defined(SIGRTMIN) && defined(SIGRTMAX)
  // The real-time signals the C library leaves to programs; their default ends the process.
  for (int number = SIGRTMIN; number <= SIGRTMAX; ++number) add(number);
#endif
}

ConsoleEventHandler consoleHandler = nullptr;
// The signals the event thread takes: set once, before the thread starts.
sigset_t takenSignals;
// The request to end that is being acted on: the one endAsTerminated raises again.
std::atomic<int> terminatingSignal{SIGTERM};

// The events are taken here, as ordinary code on a thread of their own, never inside
// an asynchronous signal handler: the report and the closing of the units need locks.
void* consoleEventThread(void*) {
  for (;;) {
    int number = 0;
    if (::sigwait(&takenSignals, &number) != 0) continue;
    const ConsoleEvent event = eventOf(number);
    if ((event == ConsoleEvent::Interrupt || event == ConsoleEvent::Break)) {
      // A handler function of the program's own takes the event instead.
      if (SignalFunction own = installedSignalHandler(event)) {
        own(number);
        continue;
      }
    }
    // The handler never returns from the first request to end: a later one finds the
    // stop begun and waits for it, so the first request's signal is the one raised again.
    if (event == ConsoleEvent::Terminate) terminatingSignal.store(number, std::memory_order_relaxed);
    consoleHandler(event);
  }
  return nullptr;
}

}  // namespace

void startConsoleEvents(ConsoleEventHandler handler) {
  consoleHandler = handler;
  sigemptyset(&takenSignals);
  addEndingSignalsNotIgnored(takenSignals);
  // Blocked here, before any other thread exists, so that every later thread inherits
  // the mask and only the event thread ever receives these signals.
  sigset_t previous;
  ::pthread_sigmask(SIG_BLOCK, &takenSignals, &previous);
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
  const int number = terminatingSignal.load(std::memory_order_relaxed);
  struct sigaction fresh {};
  fresh.sa_handler = SIG_DFL;
  ::sigaction(number, &fresh, nullptr);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, number);
  ::raise(number);
  ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  // Only a signal caught elsewhere could leave the process running here.
  ::_exit(128 + number);
}

}  // namespace recio::platform

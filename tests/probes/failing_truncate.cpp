// Runs a program with a fault injected below the platform layer: every ftruncate to a
// length of at least MINIMUM bytes fails with EIO, as on a failing device; shorter cuts
// (the one after a table's first record) go through. So a test can make a failed
// write's cut back to the last whole record fail, with nothing of the program changed.
// With MINIMUM/FAILURES only the first FAILURES such cuts fail and the later ones go
// through, as on a device whose fault passes: a process of the probe's own answers for
// them, and ends with the program.
//
//   failing_truncate MINIMUM[/FAILURES] PROGRAM ARGUMENT...
//
// Status 77 where the system cannot filter system calls so (not Linux, or no seccomp).
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#if defined(__linux__)
#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <signal.h>
#include <stddef.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace {

constexpr int kCannotFilter = 77;

#if defined(__linux__) && (defined(__x86_64__) || defined(__aarch64__) || defined(__s390x__))

#if defined(__x86_64__)
constexpr std::uint32_t kArchitecture = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
constexpr std::uint32_t kArchitecture = AUDIT_ARCH_AARCH64;
#else
constexpr std::uint32_t kArchitecture = AUDIT_ARCH_S390X;
#endif

// The 32-bit halves of ftruncate's length, as the filter program loads them.
constexpr std::uint32_t lengthHalfOffset(bool high) {
  const bool littleEndian = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;
  return static_cast<std::uint32_t>(offsetof(seccomp_data, args[1])) + (high == littleEndian ? 4 : 0);
}

// Installs the filter: the cuts it catches fail at once, or, with `notify`, wait for the
// answer of whoever reads the returned listener. -1 when it cannot be installed; 0 when
// installed without a listener.
int installFilter(std::uint32_t minimum, bool notify) {
  const std::uint32_t caught = notify ? SECCOMP_RET_USER_NOTIF : SECCOMP_RET_ERRNO | (EIO & SECCOMP_RET_DATA);
  sock_filter program[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kArchitecture, 0, 7),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_ftruncate, 0, 5),
      // A length of 4 GiB or more fails; below, only from the minimum up.
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, lengthHalfOffset(true)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, 0, 0, 2),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, lengthHalfOffset(false)),
      BPF_JUMP(BPF_JMP | BPF_JGE | BPF_K, minimum, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, caught),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  sock_fprog filter = {static_cast<unsigned short>(sizeof program / sizeof program[0]), program};
  if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) return -1;
  const unsigned long flags = notify ? SECCOMP_FILTER_FLAG_NEW_LISTENER : 0;
  return static_cast<int>(::syscall(__NR_seccomp, SECCOMP_SET_MODE_FILTER, flags, &filter));
}

// The listener goes from the probe, which becomes the program, to the process that answers.
bool sendDescriptor(int socket, int fd) {
  char byte = 0;
  iovec part = {&byte, 1};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof fd)] = {};
  msghdr message = {};
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  cmsghdr* header = CMSG_FIRSTHDR(&message);
  header->cmsg_level = SOL_SOCKET;
  header->cmsg_type = SCM_RIGHTS;
  header->cmsg_len = CMSG_LEN(sizeof fd);
  std::memcpy(CMSG_DATA(header), &fd, sizeof fd);
  return ::sendmsg(socket, &message, 0) == 1;
}

int receiveDescriptor(int socket) {
  char byte = 0;
  iovec part = {&byte, 1};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
  msghdr message = {};
  message.msg_iov = &part;
  message.msg_iovlen = 1;
  message.msg_control = control;
  message.msg_controllen = sizeof control;
  if (::recvmsg(socket, &message, 0) != 1) return -1;
  cmsghdr* header = CMSG_FIRSTHDR(&message);
  if (header == nullptr || header->cmsg_type != SCM_RIGHTS) return -1;
  int fd = -1;
  std::memcpy(&fd, CMSG_DATA(header), sizeof fd);
  return fd;
}

// Answers the caught cuts: the first `failures` fail with EIO, the later ones go through.
// Ends when the program has ended (its filter has no process left, or the probe's
// process, which became the program, is gone).
[[noreturn]] void answerCuts(int listener, unsigned long failures) {
  for (;;) {
    pollfd ready = {listener, POLLIN, 0};
    if (::poll(&ready, 1, -1) < 0) {
      if (errno == EINTR) continue;
      ::_exit(0);
    }
    if ((ready.revents & POLLIN) == 0) ::_exit(0);
    seccomp_notif notice;
    std::memset(&notice, 0, sizeof notice);
    if (::ioctl(listener, SECCOMP_IOCTL_NOTIF_RECV, &notice) != 0) {
      if (errno == EINTR || errno == ENOENT) continue;
      ::_exit(0);
    }
    seccomp_notif_resp answer;
    std::memset(&answer, 0, sizeof answer);
    answer.id = notice.id;
    if (failures > 0) {
      --failures;
      answer.error = -EIO;
    } else {
      answer.flags = SECCOMP_USER_NOTIF_FLAG_CONTINUE;
    }
    if (::ioctl(listener, SECCOMP_IOCTL_NOTIF_SEND, &answer) != 0 && errno == EINVAL) {
      // A system that cannot let the call go through: it fails, rather than waiting for ever.
      answer.flags = 0;
      answer.error = -EIO;
      ::ioctl(listener, SECCOMP_IOCTL_NOTIF_SEND, &answer);
    }
  }
}

// Starts the process that answers the cuts and installs the filter whose listener it
// reads; false when either cannot be had.
bool failFirstCuts(std::uint32_t minimum, unsigned long failures) {
  int sockets[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0) return false;
  const pid_t probe = ::getpid();
  const pid_t answerer = ::fork();
  if (answerer < 0) return false;
  if (answerer == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != probe) ::_exit(0);
    ::close(sockets[0]);
    const int listener = receiveDescriptor(sockets[1]);
    if (listener < 0) ::_exit(0);
    ::close(sockets[1]);
    // The test reads the program's output until every writer has closed it.
    const int nothing = ::open("/dev/null", O_RDWR);
    for (int stream = 0; stream <= 2; ++stream) ::dup2(nothing, stream);
    answerCuts(listener, failures);
  }
  ::close(sockets[1]);
  const int listener = installFilter(minimum, true);
  const bool sent = listener >= 0 && sendDescriptor(sockets[0], listener);
  if (listener >= 0) ::close(listener);
  ::close(sockets[0]);
  return sent;
}

#else

int installFilter(std::uint32_t, bool) { return -1; }

bool failFirstCuts(std::uint32_t, unsigned long) { return false; }

#endif

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  char* rest = nullptr;
  const auto minimum = static_cast<std::uint32_t>(std::strtoul(argv[1], &rest, 10));
  if (*rest == '/') {
    if (!failFirstCuts(minimum, std::strtoul(rest + 1, nullptr, 10))) return kCannotFilter;
  } else if (installFilter(minimum, false) < 0) {
    return kCannotFilter;
  }
#if defined(__linux__)
  ::execv(argv[2], argv + 2);
#endif
  return 127;
}

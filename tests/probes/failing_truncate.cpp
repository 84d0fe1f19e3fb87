// Runs a program with a fault injected below the platform layer: every ftruncate to a
// length of at least MINIMUM bytes fails with EIO, as on a failing device; shorter cuts
// (the one after a table's first record) go through. So a test can make a failed
// write's cut back to the last whole record fail, with nothing of the program changed.
//
//   failing_truncate MINIMUM PROGRAM ARGUMENT...
//
// Status 77 where the system cannot filter system calls so (not Linux, or no seccomp).
#include <cerrno>
#include <cstdint>
#include <cstdlib>

#if defined(__linux__)
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <stddef.h>
#include <sys/prctl.h>
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

bool installFilter(std::uint32_t minimum) {
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
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (EIO & SECCOMP_RET_DATA)),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  sock_fprog filter = {static_cast<unsigned short>(sizeof program / sizeof program[0]), program};
  return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) == 0;
}

#else

bool installFilter(std::uint32_t) { return false; }

#endif

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  if (!installFilter(static_cast<std::uint32_t>(std::strtoul(argv[1], nullptr, 10)))) return kCannotFilter;
#if defined(__linux__)
  ::execv(argv[2], argv + 2);
#endif
  return 127;
}

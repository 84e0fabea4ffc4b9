// io_uring made unavailable to one process, as a container's seccomp filter makes it: for tests
// of what a program does where the kernel refuses it a ring.
#pragma once

#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

// Installs a seccomp filter on the calling thread (and what it starts or executes from then on)
// that fails io_uring_setup with EPERM and lets every other call through. Irreversible: call it
// in a child process. False when the filter cannot be set, or on an architecture it does not
// know.
inline bool refuse_io_uring() {
#if defined(__x86_64__)
  constexpr unsigned arch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
  constexpr unsigned arch = AUDIT_ARCH_AARCH64;
#else
  return false;
#endif
  sock_filter code[] = {
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, arch, 1, 0),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
      BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
      BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_io_uring_setup, 0, 1),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (EPERM & SECCOMP_RET_DATA)),
      BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
  };
  sock_fprog program{static_cast<unsigned short>(sizeof code / sizeof code[0]), code};
  return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
         syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, 0, &program) == 0;
}
